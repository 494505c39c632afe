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

set(NUVRA_MACOS_SOURCES
  ${CMAKE_SOURCE_DIR}/src/platform/macos/ax_values.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/macos/cf_text.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/macos/macos_accessibility.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/macos/macos_capture.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/macos/macos_events.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/macos/macos_platform.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/macos/macos_screencapturekit.mm
  ${CMAKE_SOURCE_DIR}/src/platform/macos/macos_workspace.mm
  ${CMAKE_SOURCE_DIR}/src/platform/macos/workspace_record.cpp)
add_library(nuvra_backend STATIC ${NUVRA_MACOS_SOURCES})
target_link_libraries(nuvra_backend PUBLIC
  nuvra_core
  "-framework ApplicationServices"
  "-framework CoreFoundation"
  "-framework CoreGraphics"
  "-framework AppKit"
  "-framework Foundation"
  # Weakly: it came with macOS 12.3, and is asked for only from 15.2 on.
  "-weak_framework ScreenCaptureKit")

# NSWorkspace and ScreenCaptureKit hand out Objective-C objects; ARC manages them.
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/platform/macos/macos_workspace.mm
  ${CMAKE_SOURCE_DIR}/src/platform/macos/macos_screencapturekit.mm
  PROPERTIES COMPILE_OPTIONS "-fobjc-arc")
