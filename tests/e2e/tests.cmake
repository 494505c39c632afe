# End-to-end tests of the Linux backend: the real nuvra-click binary against
# real GTK3 windows, each test group in its own headless session (Xvfb, a
# private session bus, the AT-SPI bus and registry). Label: e2e.
if(APPLE)
  return()
endif()

set(NUVRA_E2E_DIR ${CMAKE_CURRENT_LIST_DIR})
set(NUVRA_HEADLESS ${CMAKE_SOURCE_DIR}/scripts/headless-session)

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
