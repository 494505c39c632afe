# The Linux backend's own C++ tests, without a desktop: its reading of D-Bus
# replies held against GDBus, its vocabulary held against libatspi's role
# names, and its reading of desktop entries. Label: linux.
if(APPLE)
  return()
endif()

pkg_check_modules(NUVRA_LINUX_REFERENCES REQUIRED IMPORTED_TARGET gio-2.0 atspi-2)
add_executable(nuvra_linux_tests
  ${CMAKE_CURRENT_LIST_DIR}/dbus_reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_entry_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sent_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vocabulary_test.cpp)
target_include_directories(nuvra_linux_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
# GDBus (an independent writer of D-Bus messages) and libatspi (for its role
# names) only here: the backend links neither.
target_link_libraries(nuvra_linux_tests PRIVATE nuvra_backend PkgConfig::NUVRA_LINUX_REFERENCES
  GTest::gtest GTest::gtest_main)
add_test(NAME linux.backend COMMAND nuvra_linux_tests)
set_tests_properties(linux.backend PROPERTIES LABELS "linux" TIMEOUT 120)
