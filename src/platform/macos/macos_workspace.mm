// The only Objective-C++ in the program: the workspace's running
// applications, read once per call. Compiled with ARC; the pool drains the
// autoreleased records before returning, since a command-line process has no
// run loop to do it.
#import <AppKit/AppKit.h>

#include "platform/macos/macos_backend.h"

namespace nuvra::macos {

namespace {

// The workspace list and each record's time-varying properties (isActive
// among them) change only when the main run loop turns in a common mode, and
// a command-line process never runs it. Handling whatever is pending, without
// waiting, makes a later call see launches, quits and activation changes that
// happened since the first. The bound keeps a source that is always ready
// from holding the call.
void takePendingWorkspaceChanges() {
    constexpr int kMaxPasses = 64;
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) != kCFRunLoopRunHandledSource) {
            break;
        }
    }
}

}  // namespace

std::vector<RunningApplication> runningApplications() {
    std::vector<RunningApplication> apps;
    @autoreleasepool {
        takePendingWorkspaceChanges();
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
