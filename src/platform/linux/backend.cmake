# The Linux backend: AT-SPI2 over D-Bus through libdbus (see dbus_client.h)
# and XTest pointer events. libatspi is used for its constants header only;
# the backend never links its client (see bus_link.h), nor GLib.
pkg_check_modules(NUVRA_LINUX REQUIRED IMPORTED_TARGET x11 xtst)
pkg_check_modules(NUVRA_ATSPI REQUIRED atspi-2)
pkg_check_modules(NUVRA_DBUS REQUIRED IMPORTED_TARGET dbus-1)
file(GLOB NUVRA_LINUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/linux/*.cpp)
list(REMOVE_ITEM NUVRA_LINUX_SOURCES ${CMAKE_SOURCE_DIR}/src/platform/linux/socket_activation.c)
add_library(nuvra_backend STATIC ${NUVRA_LINUX_SOURCES})
target_include_directories(nuvra_backend PRIVATE ${NUVRA_ATSPI_INCLUDE_DIRS})
target_include_directories(nuvra_backend PUBLIC ${NUVRA_DBUS_INCLUDE_DIRS})
# libdbus from its archive too, where there is one (see socket_activation.c).
find_library(NUVRA_DBUS_ARCHIVE NAMES libdbus-1.a)
if(NUVRA_DBUS_ARCHIVE)
  find_package(Threads REQUIRED)
  target_link_libraries(nuvra_backend PUBLIC ${NUVRA_DBUS_ARCHIVE} Threads::Threads)
  # In every program that links the archive, ahead of it on the command line.
  target_sources(nuvra_backend INTERFACE
    ${CMAKE_SOURCE_DIR}/src/platform/linux/socket_activation.c)
else()
  target_link_libraries(nuvra_backend PUBLIC PkgConfig::NUVRA_DBUS)
endif()
# Every shared library costs each run about half a millisecond of mapping
# and relocation, and the X client libraries are six of them: they are
# linked from their archives where those exist, and so is the C++ runtime
# (not under the sanitizers, whose runtime replaces its allocator).
set(NUVRA_X_ARCHIVES "")
foreach(lib Xtst Xext X11 xcb Xau Xdmcp)
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
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/platform/linux/ax_vocabulary.cpp
  PROPERTIES COMPILE_OPTIONS "-Wswitch-enum")
