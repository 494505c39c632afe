# The Linux backend: AT-SPI2 over D-Bus (GDBus) and XTest pointer events.
pkg_check_modules(NUVRA_LINUX REQUIRED IMPORTED_TARGET gio-2.0 glib-2.0 x11 xtst)
file(GLOB NUVRA_LINUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/linux/*.cpp)
add_library(nuvra_backend STATIC ${NUVRA_LINUX_SOURCES})
target_link_libraries(nuvra_backend PUBLIC nuvra_core PkgConfig::NUVRA_LINUX)
