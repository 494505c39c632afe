// The only Objective-C++ in the program: the workspace's running
// applications, read once per call. Compiled with ARC; the pool drains the
// autoreleased records before returning, since a command-line process has no
// run loop to do it.
#import <AppKit/AppKit.h>

#include "platform/macos/macos_backend.h"

namespace nuvra::macos {

std::vector<RunningApplication> runningApplications() {
    std::vector<RunningApplication> apps;
    @autoreleasepool {
        for (NSRunningApplication* app in [[NSWorkspace sharedWorkspace] runningApplications]) {
            apps.push_back(runningApplicationRecord(
                static_cast<int64_t>(app.activationPolicy), static_cast<bool>(app.active),
                (__bridge CFStringRef)app.bundleIdentifier,
                (__bridge CFStringRef)app.localizedName, app.processIdentifier));
        }
    }
    return apps;
}

}  // namespace nuvra::macos
