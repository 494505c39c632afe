# The macOS backend's tests (backend_test.cpp) and the CommonCrypto glue of
# the state hash. On a Mac both run against the real frameworks, linked like
# the shipped binary. Elsewhere the backend's C++ files are built against the
# Apple API stand-in in tests/apple_standin (the Objective-C++ workspace file
# is left out), and the parts that need scripted answers run as well.
set(NUVRA_MACOS_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(NUVRA_STANDIN_DIR ${CMAKE_CURRENT_LIST_DIR}/../apple_standin)

if(APPLE)
  # nuvra_core holds sha256_commoncrypto.cpp here, so one binary tests both.
  add_executable(nuvra_macos_tests
    ${NUVRA_MACOS_TESTS_DIR}/backend_test.cpp
    ${NUVRA_MACOS_TESTS_DIR}/sha256_commoncrypto_test.cpp)
  target_link_libraries(nuvra_macos_tests PRIVATE
    nuvra_backend nuvra_core GTest::gtest GTest::gtest_main)
else()
  set(mac ${CMAKE_SOURCE_DIR}/src/platform/macos)
  add_executable(nuvra_macos_tests
    ${mac}/ax_values.cpp ${mac}/cf_text.cpp ${mac}/macos_accessibility.cpp ${mac}/macos_capture.cpp
    ${mac}/macos_events.cpp ${mac}/macos_platform.cpp ${mac}/workspace_record.cpp
    ${NUVRA_STANDIN_DIR}/standin.cpp
    ${NUVRA_MACOS_TESTS_DIR}/backend_test.cpp)
  target_include_directories(nuvra_macos_tests PRIVATE ${NUVRA_STANDIN_DIR}/include ${NUVRA_STANDIN_DIR})
  target_link_libraries(nuvra_macos_tests PRIVATE nuvra_core GTest::gtest GTest::gtest_main ${CMAKE_DL_LIBS})
  # The backend looks some Apple calls up by name, as on a Mac: the stand-in's
  # must be in the dynamic symbol table.
  set_target_properties(nuvra_macos_tests PROPERTIES ENABLE_EXPORTS ON)

  # The CommonCrypto glue on its own: the core here links the OpenSSL one
  # under the same name.
  add_executable(nuvra_commoncrypto_tests
    ${CMAKE_SOURCE_DIR}/src/observation/sha256_commoncrypto.cpp
    ${NUVRA_MACOS_TESTS_DIR}/sha256_commoncrypto_test.cpp)
  target_include_directories(nuvra_commoncrypto_tests PRIVATE
    ${CMAKE_SOURCE_DIR}/src ${NUVRA_STANDIN_DIR}/include)
  target_link_libraries(nuvra_commoncrypto_tests PRIVATE
    OpenSSL::Crypto GTest::gtest GTest::gtest_main)
  gtest_discover_tests(nuvra_commoncrypto_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()
gtest_discover_tests(nuvra_macos_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
