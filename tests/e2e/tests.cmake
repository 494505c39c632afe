# End-to-end tests of the Linux backend: the real nuvra-click binary against
# real GTK3 windows, each test group in its own headless session (Xvfb, a
# private session bus, the AT-SPI bus and registry). Label: e2e.
if(APPLE)
  return()
endif()

set(NUVRA_E2E_DIR ${CMAKE_CURRENT_LIST_DIR})
set(NUVRA_HEADLESS ${CMAKE_SOURCE_DIR}/scripts/headless-session)

# The backend's own tests: the vocabulary tables and the permission gate
# (no session needed), and the backend against a live fixture window.
pkg_check_modules(NUVRA_ATSPI_CLIENT REQUIRED IMPORTED_TARGET atspi-2)
add_executable(nuvra_linux_tests ${NUVRA_E2E_DIR}/linux_backend_test.cpp)
target_include_directories(nuvra_linux_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
# libatspi only for its role names, the reference the role table is held to.
target_link_libraries(nuvra_linux_tests PRIVATE nuvra_backend PkgConfig::NUVRA_ATSPI_CLIENT
  GTest::gtest GTest::gtest_main)
add_test(NAME linux.backend COMMAND nuvra_linux_tests)
set_tests_properties(linux.backend PROPERTIES LABELS "linux" TIMEOUT 120)

add_executable(nuvra_linux_session_tests ${NUVRA_E2E_DIR}/linux_session_test.cpp)
target_include_directories(nuvra_linux_session_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(nuvra_linux_session_tests PRIVATE nuvra_backend GTest::gtest
  GTest::gtest_main)
target_compile_definitions(nuvra_linux_session_tests PRIVATE
  NUVRA_FIXTURE_APP="${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_app.py")
add_test(NAME linux.session COMMAND ${NUVRA_HEADLESS} $<TARGET_FILE:nuvra_linux_session_tests>)
set_tests_properties(linux.session PROPERTIES LABELS "linux;e2e" TIMEOUT 180)

# The binary under test, in every session: one ctest test per group.
foreach(group observe actions pointer gate lifecycle stress)
  add_test(NAME e2e.${group}
    COMMAND ${NUVRA_HEADLESS} /usr/bin/python3 -B ${NUVRA_E2E_DIR}/test_${group}.py)
  set_tests_properties(e2e.${group} PROPERTIES
    LABELS "e2e"
    TIMEOUT 600
    ENVIRONMENT "NUVRA_CLICK=$<TARGET_FILE:nuvra-click>")
endforeach()
