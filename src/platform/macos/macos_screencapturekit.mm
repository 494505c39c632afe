// ScreenCaptureKit from a command-line process: its screenshot of a
// rectangle answers on a queue of its own, which this waits for, bounded.
// Compiled with ARC.
#import <ScreenCaptureKit/ScreenCaptureKit.h>

#include <memory>

#include "platform/macos/macos_backend.h"

namespace nuvra::macos {

namespace {

// Outlives the wait: the handler may still run after it has given up.
struct Answer {
    dispatch_semaphore_t done = dispatch_semaphore_create(0);
    CFHandle<CGImageRef> image;
};

}  // namespace

KitCapture screenCaptureKitImage(CGRect rect, CFHandle<CGImageRef>& out) {
    if (@available(macOS 15.2, *)) {
        auto answer = std::make_shared<Answer>();
        [SCScreenshotManager captureImageInRect:rect
                              completionHandler:^(CGImageRef image, NSError* error) {
                                if (image != nullptr && error == nil)
                                    answer->image = CFHandle<CGImageRef>::retain(image);
                                dispatch_semaphore_signal(answer->done);
                              }];
        if (dispatch_semaphore_wait(answer->done,
                                    dispatch_time(DISPATCH_TIME_NOW, kCaptureWaitNanoseconds)) != 0)
            return KitCapture::Failed;
        if (!answer->image) return KitCapture::Failed;
        out = answer->image;
        return KitCapture::Captured;
    }
    return KitCapture::Unavailable;
}

}  // namespace nuvra::macos
