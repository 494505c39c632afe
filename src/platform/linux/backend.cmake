# The Linux backend: AT-SPI2 over D-Bus (GDBus) and XTest pointer events.
# libatspi is used for its constants header only; the backend never links
# its client (see bus_link.h).
pkg_check_modules(NUVRA_LINUX REQUIRED IMPORTED_TARGET gio-2.0 glib-2.0 x11 xtst)
pkg_check_modules(NUVRA_ATSPI REQUIRED atspi-2)
file(GLOB NUVRA_LINUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/linux/*.cpp)
add_library(nuvra_backend STATIC ${NUVRA_LINUX_SOURCES})
target_include_directories(nuvra_backend PRIVATE ${NUVRA_ATSPI_INCLUDE_DIRS})
target_link_libraries(nuvra_backend PUBLIC nuvra_core PkgConfig::NUVRA_LINUX)
# The role table is one switch over the whole AT-SPI role enum: a role
# missing from it is a build error.
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/platform/linux/ax_vocabulary.cpp
  PROPERTIES COMPILE_OPTIONS "-Wswitch-enum")
