# The Linux backend: AT-SPI2 over D-Bus through libdbus (dbus/) and the X
# server through XCB (x11/). libatspi is used for its constants header only;
# the backend never links its client (see atspi/link.h), nor GLib.
pkg_check_modules(NUVRA_LINUX REQUIRED IMPORTED_TARGET xcb xcb-xtest xcb-res xcb-shm xcb-xkb)
pkg_check_modules(NUVRA_ATSPI REQUIRED atspi-2)
pkg_check_modules(NUVRA_DBUS REQUIRED IMPORTED_TARGET dbus-1)
set(NUVRA_LINUX_DIR ${CMAKE_SOURCE_DIR}/src/platform/linux)
add_library(nuvra_backend STATIC
  # the D-Bus wire, connections and where the buses are
  ${NUVRA_LINUX_DIR}/dbus/bus_address.cpp
  ${NUVRA_LINUX_DIR}/dbus/connection.cpp
  ${NUVRA_LINUX_DIR}/dbus/message.cpp
  # AT-SPI: the link to the applications, its requests and their meaning
  ${NUVRA_LINUX_DIR}/atspi/link.cpp
  ${NUVRA_LINUX_DIR}/atspi/requests.cpp
  ${NUVRA_LINUX_DIR}/atspi/snapshot.cpp
  ${NUVRA_LINUX_DIR}/atspi/visible_children.cpp
  ${NUVRA_LINUX_DIR}/atspi/vocabulary.cpp
  ${NUVRA_LINUX_DIR}/atspi/workspace.cpp
  # installed applications: desktop entries, and starting them
  ${NUVRA_LINUX_DIR}/desktop/desktop_entry.cpp
  ${NUVRA_LINUX_DIR}/desktop/launch.cpp
  # X11: the display, windows, their owners, the focus and activation,
  # XTest, the keymap, pictures of the screen
  ${NUVRA_LINUX_DIR}/x11/activation.cpp
  ${NUVRA_LINUX_DIR}/x11/capture.cpp
  ${NUVRA_LINUX_DIR}/x11/client_pids.cpp
  ${NUVRA_LINUX_DIR}/x11/display.cpp
  ${NUVRA_LINUX_DIR}/x11/key_bindings.cpp
  ${NUVRA_LINUX_DIR}/x11/keymap.cpp
  ${NUVRA_LINUX_DIR}/x11/window_at.cpp
  ${NUVRA_LINUX_DIR}/x11/xtest_events.cpp
  ${NUVRA_LINUX_DIR}/x11/xtest_keys.cpp
  # opening what may never answer
  ${NUVRA_LINUX_DIR}/open_by.cpp
  # the Platform: elements' facts, their AX answers, the walk's prefetch
  ${NUVRA_LINUX_DIR}/ax_answers.cpp
  ${NUVRA_LINUX_DIR}/element_facts.cpp
  ${NUVRA_LINUX_DIR}/linux_platform.cpp
  ${NUVRA_LINUX_DIR}/fact_batch.cpp
  ${NUVRA_LINUX_DIR}/reply_cache.cpp
  ${NUVRA_LINUX_DIR}/screen_coordinates.cpp
  ${NUVRA_LINUX_DIR}/session_environment.cpp
  ${NUVRA_LINUX_DIR}/walk_prefetch.cpp)
target_include_directories(nuvra_backend PRIVATE ${NUVRA_ATSPI_INCLUDE_DIRS})
target_include_directories(nuvra_backend PUBLIC ${NUVRA_DBUS_INCLUDE_DIRS})
# libdbus from its archive too, where there is one (see socket_activation.c).
find_library(NUVRA_DBUS_ARCHIVE NAMES libdbus-1.a)
if(NUVRA_DBUS_ARCHIVE)
  find_package(Threads REQUIRED)
  target_link_libraries(nuvra_backend PUBLIC ${NUVRA_DBUS_ARCHIVE} Threads::Threads)
  # In every program that links the archive, ahead of it on the command line.
  target_sources(nuvra_backend INTERFACE
    ${NUVRA_LINUX_DIR}/dbus/socket_activation.c)
else()
  target_link_libraries(nuvra_backend PUBLIC PkgConfig::NUVRA_DBUS)
endif()
# Every shared library costs each run about half a millisecond of mapping
# and relocation, and the X client libraries are five of them: they are
# linked from their archives where those exist, and so is the C++ runtime
# (not under the sanitizers, whose runtime replaces its allocator).
set(NUVRA_X_ARCHIVES "")
foreach(lib xcb-xtest xcb-res xcb-shm xcb-xkb xcb Xau Xdmcp)
  find_library(NUVRA_${lib}_ARCHIVE NAMES lib${lib}.a)
  if(NUVRA_${lib}_ARCHIVE)
    list(APPEND NUVRA_X_ARCHIVES ${NUVRA_${lib}_ARCHIVE})
  else()
    set(NUVRA_X_ARCHIVES "")
    break()
  endif()
endforeach()
if(NUVRA_X_ARCHIVES)
  target_include_directories(nuvra_backend PUBLIC ${NUVRA_LINUX_INCLUDE_DIRS})
  target_link_libraries(nuvra_backend PUBLIC nuvra_core ${NUVRA_X_ARCHIVES})
else()
  target_link_libraries(nuvra_backend PUBLIC nuvra_core PkgConfig::NUVRA_LINUX)
endif()
if(NOT NUVRA_SANITIZE AND NOT NUVRA_FUZZ)
  target_link_options(nuvra_backend INTERFACE -static-libstdc++ -static-libgcc)
endif()
# The role table is one switch over the whole AT-SPI role enum: a role
# missing from it is a build error.
set_source_files_properties(${NUVRA_LINUX_DIR}/atspi/vocabulary.cpp
  PROPERTIES COMPILE_OPTIONS "-Wswitch-enum")
