# End-to-end tests of the Linux backend: the real nuvra-click binary against
# real GTK3, GTK4 and Qt5 windows, each entry in its own headless session
# (Xvfb, or weston with XWayland, a private session bus, the AT-SPI bus and
# registry). Label: e2e; the applications that take longest to start
# (LibreOffice, Chromium) also: slow.
if(APPLE)
  return()
endif()

set(NUVRA_E2E_DIR ${CMAKE_CURRENT_LIST_DIR})
set(NUVRA_HEADLESS ${CMAKE_SOURCE_DIR}/scripts/headless-session)

if(NUVRA_SANITIZE)
  # The sanitizers slow every run several times; fewer runs keep the
  # suite's time, and a hang is caught all the same.
  set(NUVRA_STORM_RUNS 300)
else()
  set(NUVRA_STORM_RUNS 1000)
endif()

# name | script and its arguments | extra label | session options. The rows
# of test_faults.py that kill the accessibility bus or its registry end the
# session, so each gets one of its own; the other rows share one.
set(NUVRA_E2E_TESTS
  "storm|test_endurance.py StormTest|reliability"
  "soak|test_endurance.py SoakTest|reliability"
  "agents|test_endurance.py AgentsTest|reliability"
  "desktop|test_desktop.py DesktopTest|"
  "keyboard|test_desktop.py KeyboardTest|"
  "toolkits|test_desktop.py ToolkitTest|"
  "screenshot|test_screenshot.py|"
  "web|test_desktop.py WebPageTest|"
  "workspace|test_workspace.py WorkspaceTest|"
  "launch_chromium|test_workspace.py ChromiumLaunchTest|slow"
  "apps|test_desktop.py AppsTest|slow"
  "wayland|test_desktop.py WaylandTest|wayland|--wayland"
  "faults|test_faults.py|reliability"
  "faults_bus_killed|test_faults.py bus_killed|reliability"
  "faults_bus_killed_press|test_faults.py bus_killed_press|reliability"
  "faults_registry_killed|test_faults.py registry_killed|reliability"
  "calc|test_apps.py CalcTest|slow"
  "writer_dialog|test_apps.py WriterDialogTest|slow"
  "chromium|test_apps.py ChromiumTest|slow")
foreach(entry ${NUVRA_E2E_TESTS})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 command)
  list(GET fields 2 label)
  set(session "")
  list(LENGTH fields count)
  if(count GREATER 3)
    list(GET fields 3 session)
  endif()
  separate_arguments(command UNIX_COMMAND "${command}")
  list(POP_FRONT command script)
  add_test(NAME e2e.${name}
    COMMAND ${NUVRA_HEADLESS} ${session} /usr/bin/python3 -B ${NUVRA_E2E_DIR}/${script} ${command})
  set_tests_properties(e2e.${name} PROPERTIES
    LABELS "e2e;${label}"
    TIMEOUT 600
    ENVIRONMENT "NUVRA_CLICK=$<TARGET_FILE:nuvra-click>;NUVRA_STORM_RUNS=${NUVRA_STORM_RUNS};NUVRA_SANITIZE=${NUVRA_SANITIZE}")
endforeach()

# Valgrind cannot run a sanitizer build; the normal build's binary is the
# one shipped. Alone, so that other tests do not slow it past the gate.
if(NOT NUVRA_SANITIZE)
  add_test(NAME e2e.valgrind
    COMMAND ${NUVRA_HEADLESS} /usr/bin/python3 -B ${NUVRA_E2E_DIR}/test_endurance.py MemcheckTest)
  set_tests_properties(e2e.valgrind PROPERTIES
    LABELS "e2e;reliability;valgrind"
    TIMEOUT 600
    RUN_SERIAL TRUE
    ENVIRONMENT "NUVRA_CLICK=$<TARGET_FILE:nuvra-click>")
endif()
