# The macOS backend: ApplicationServices (accessibility), Core Foundation,
# Core Graphics events and the AppKit workspace, plus CommonCrypto in the core.
#
# Minimum macOS: 10.13, for CGEventCreateScrollWheelEvent2. Left unset, the
# build targets the macOS it runs on.
set(NUVRA_MACOS_MINIMUM 10.13)
if(CMAKE_OSX_DEPLOYMENT_TARGET AND CMAKE_OSX_DEPLOYMENT_TARGET VERSION_LESS NUVRA_MACOS_MINIMUM)
  message(FATAL_ERROR
    "nuvra-click needs macOS ${NUVRA_MACOS_MINIMUM} or later; "
    "CMAKE_OSX_DEPLOYMENT_TARGET is ${CMAKE_OSX_DEPLOYMENT_TARGET}")
endif()

enable_language(OBJCXX)

file(GLOB NUVRA_MACOS_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/macos/*.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/macos/*.mm)
add_library(nuvra_backend STATIC ${NUVRA_MACOS_SOURCES})
target_link_libraries(nuvra_backend PUBLIC
  nuvra_core
  "-framework ApplicationServices"
  "-framework CoreFoundation"
  "-framework CoreGraphics"
  "-framework AppKit"
  "-framework Foundation")

# NSWorkspace hands out autoreleased Objective-C objects; ARC manages them.
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/platform/macos/macos_workspace.mm
  PROPERTIES COMPILE_OPTIONS "-fobjc-arc")
