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

# The backend's reading of D-Bus replies held against GDBus, an independent
# writer, which only this test links.
pkg_check_modules(NUVRA_GIO_REFERENCE REQUIRED IMPORTED_TARGET gio-2.0)
add_executable(nuvra_dbus_tests ${NUVRA_E2E_DIR}/dbus_reader_test.cpp)
target_include_directories(nuvra_dbus_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(nuvra_dbus_tests PRIVATE nuvra_backend PkgConfig::NUVRA_GIO_REFERENCE
  GTest::gtest GTest::gtest_main)
add_test(NAME linux.dbus COMMAND nuvra_dbus_tests)
set_tests_properties(linux.dbus PROPERTIES LABELS "linux" TIMEOUT 120)

# The tool with its Linux backend held to one way of reading: the test that
# every way prints the same runs it beside the real binary.
add_executable(nuvra_click_variant ${NUVRA_E2E_DIR}/read_variant_main.cpp)
target_include_directories(nuvra_click_variant PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(nuvra_click_variant PRIVATE nuvra_backend)
add_test(NAME e2e.read_paths
  COMMAND ${NUVRA_HEADLESS} /usr/bin/python3 -B ${NUVRA_E2E_DIR}/test_read_paths.py)
set_tests_properties(e2e.read_paths PROPERTIES
  LABELS "e2e"
  TIMEOUT 600
  ENVIRONMENT "NUVRA_CLICK=$<TARGET_FILE:nuvra-click>;NUVRA_CLICK_VARIANT=$<TARGET_FILE:nuvra_click_variant>")

# The binary under test, in every session: one ctest test per group.
foreach(group observe actions pointer gate lifecycle)
  add_test(NAME e2e.${group}
    COMMAND ${NUVRA_HEADLESS} /usr/bin/python3 -B ${NUVRA_E2E_DIR}/test_${group}.py)
  set_tests_properties(e2e.${group} PROPERTIES
    LABELS "e2e"
    TIMEOUT 600
    ENVIRONMENT "NUVRA_CLICK=$<TARGET_FILE:nuvra-click>")
endforeach()

# Reliability: hung and dying applications and buses, a window that never
# holds still, hostile texts, secrets, and memcheck of the real binary. Each
# entry is one headless session; the bus tests that kill part of the session
# get a session each, named by their test class.
if(NUVRA_SANITIZE)
  # The sanitizers slow every run several times; fewer runs keep the
  # suite's time, and a hang is caught all the same.
  set(NUVRA_RELIABILITY_RUNS 300)
else()
  set(NUVRA_RELIABILITY_RUNS 1000)
endif()
set(NUVRA_RELIABILITY_TESTS
  "storm|test_reliability_storm.py|"
  "hung|test_reliability_hung.py|"
  "secrets|test_reliability_secrets.py|"
  "lines|test_reliability_lines.py|"
  "bus_stopped|test_reliability_bus.py|BusStoppedTest"
  "bus_killed|test_reliability_bus.py|BusKilledTest"
  "bus_killed_press|test_reliability_bus.py|BusKilledDuringPressTest"
  "registry_killed|test_reliability_bus.py|RegistryKilledTest"
  "xserver_stopped|test_reliability_xserver.py|")
foreach(entry ${NUVRA_RELIABILITY_TESTS})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 script)
  list(GET fields 2 selection)
  add_test(NAME e2e.reliability_${name}
    COMMAND ${NUVRA_HEADLESS} /usr/bin/python3 -B ${NUVRA_E2E_DIR}/${script} ${selection})
  set_tests_properties(e2e.reliability_${name} PROPERTIES
    LABELS "e2e;reliability"
    TIMEOUT 900
    ENVIRONMENT "NUVRA_CLICK=$<TARGET_FILE:nuvra-click>;NUVRA_RELIABILITY_RUNS=${NUVRA_RELIABILITY_RUNS}")
endforeach()

# Valgrind cannot run a sanitizer build; the normal build's binary is the
# one shipped. Alone, so that other tests do not slow it past the gate.
if(NOT NUVRA_SANITIZE)
  add_test(NAME e2e.reliability_valgrind
    COMMAND ${NUVRA_HEADLESS} /usr/bin/python3 -B ${NUVRA_E2E_DIR}/test_reliability_valgrind.py)
  set_tests_properties(e2e.reliability_valgrind PROPERTIES
    LABELS "e2e;reliability;valgrind"
    TIMEOUT 900
    RUN_SERIAL TRUE
    ENVIRONMENT "NUVRA_CLICK=$<TARGET_FILE:nuvra-click>")
endif()
