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
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) != kCFRunLoopRunHandledSource) {
            break;
        }
    }
}

// Chromium's browsers read their pages' trees out only when started with
// accessibility on.
bool chromiumBased(NSString* identifier) {
    for (NSString* known in @[ @"org.chromium.Chromium", @"com.google.Chrome",
                               @"com.google.Chrome.beta", @"com.google.Chrome.canary",
                               @"com.microsoft.edgemac", @"com.brave.Browser",
                               @"com.vivaldi.Vivaldi", @"com.operasoftware.Opera" ]) {
        if ([identifier isEqualToString:known]) return true;
    }
    return false;
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

bool activateRunningApplication(int32_t pid) {
    @autoreleasepool {
        NSRunningApplication* app =
            [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
        if (app == nil) return false;
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
        // Deprecated from macOS 14, where activation is asked for rather
        // than taken; whether it came is read back by the caller.
        return [app activateWithOptions:NSApplicationActivateIgnoringOtherApps];
#pragma clang diagnostic pop
    }
}

LaunchedProcess launchApplication(std::string_view bundleIdentifier) {
    LaunchedProcess launched;
    @autoreleasepool {
        NSString* identifier = [[NSString alloc] initWithBytes:bundleIdentifier.data()
                                                        length:bundleIdentifier.size()
                                                      encoding:NSUTF8StringEncoding];
        if (identifier == nil) return launched;  // not text: no application has it
        NSWorkspace* workspace = [NSWorkspace sharedWorkspace];
        NSURL* url = [workspace URLForApplicationWithBundleIdentifier:identifier];
        if (url == nil) return launched;
        NSArray<NSString*>* arguments =
            chromiumBased(identifier) ? @[ @"--force-renderer-accessibility" ] : @[];
        __block NSRunningApplication* started = nil;
        __block NSString* why = nil;
        if (@available(macOS 10.15, *)) {
            dispatch_semaphore_t answered = dispatch_semaphore_create(0);
            NSWorkspaceOpenConfiguration* configuration = [NSWorkspaceOpenConfiguration configuration];
            configuration.arguments = arguments;
            [workspace openApplicationAtURL:url
                              configuration:configuration
                          completionHandler:^(NSRunningApplication* app, NSError* error) {
                            started = app;
                            why = error.localizedDescription;
                            dispatch_semaphore_signal(answered);
                          }];
            if (dispatch_semaphore_wait(answered,
                                        dispatch_time(DISPATCH_TIME_NOW, kOpenBoundNanoseconds)) != 0)
                why = @"the workspace did not say it had started it";
        } else {
            NSError* error = nil;
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
            started = [workspace launchApplicationAtURL:url
                                                options:NSWorkspaceLaunchDefault
                                          configuration:@{NSWorkspaceLaunchConfigurationArguments : arguments}
                                                  error:&error];
#pragma clang diagnostic pop
            why = error.localizedDescription;
        }
        if (started == nil) {
            launched.status = LaunchedProcess::Status::NotStarted;
            launched.why = why ? std::string(why.UTF8String) : std::string("not started");
            return launched;
        }
        launched.status = LaunchedProcess::Status::Started;
        launched.pid = started.processIdentifier;
        launched.bundleIdentifier = std::string(bundleIdentifier);
    }
    return launched;
}

}  // namespace nuvra::macos
