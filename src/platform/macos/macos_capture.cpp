// The screen on macOS: the Screen Recording permission, and pictures taken by
// ScreenCaptureKit where the system has it (macos_screencapturekit.mm) and
// by CGWindowListCreateImage before, drawn into a bitmap of known layout.
#include <dlfcn.h>

#include <utility>
#include <vector>

#include "platform/macos/macos_backend.h"

namespace nuvra::macos {

namespace {

// Two calls the SDK may not declare usable for the system it builds for:
// CGPreflightScreenCaptureAccess came with macOS 10.15 (before it, no
// permission guards the screen), and CGWindowListCreateImage is marked
// unavailable from macOS 15 on, though the system still has it. Looked up
// when called, they build for any system and run on each as it is.
template <typename Function>
Function systemCall(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}
using PreflightCall = bool (*)();
using WindowListImageCall = CGImageRef (*)(CGRect, uint32_t, uint32_t, uint32_t);
constexpr uint32_t kOnScreenOnly = 1;  // kCGWindowListOptionOnScreenOnly
constexpr uint32_t kNullWindow = 0;    // kCGNullWindowID
constexpr uint32_t kImageDefault = 0;  // kCGWindowImageDefault: at the display's density

// The image's pixels as 0x00RRGGBB in sRGB, as PNG viewers take them.
bool pixelsOf(CGImageRef image, ScreenImage& out) {
    const size_t width = CGImageGetWidth(image), height = CGImageGetHeight(image);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
    ScreenImage picture;
    picture.width = static_cast<int64_t>(width);
    picture.height = static_cast<int64_t>(height);
    picture.pixels.resize(width * height);
    auto space = CFHandle<CGColorSpaceRef>::adopt(CGColorSpaceCreateWithName(kCGColorSpaceSRGB));
    // 32-bit little-endian words of an unused byte and R, G, B: in memory
    // exactly the 0xXXRRGGBB of each pixel.
    auto context = CFHandle<CGContextRef>::adopt(
        CGBitmapContextCreate(picture.pixels.data(), width, height, 8, width * 4, space.get(),
                              kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little));
    if (!context) return false;
    CGContextDrawImage(context.get(), CGRectMake(0, 0, width, height), image);
    for (uint32_t& p : picture.pixels) p &= 0xffffff;
    out = std::move(picture);
    return true;
}

}  // namespace

bool mayCaptureScreen() {
    auto preflight = systemCall<PreflightCall>("CGPreflightScreenCaptureAccess");
    return preflight == nullptr || preflight();
}

CaptureResult captureScreen(const ScreenRect& area, ScreenImage& out) {
    const CGRect rect = CGRectMake(area.x, area.y, area.width, area.height);
    CFHandle<CGImageRef> image;
    const KitCapture kit = screenCaptureKitImage(rect, image);
    if (kit == KitCapture::Failed) return CaptureResult::Failed;
    if (kit == KitCapture::Unavailable) {
        auto listImage = systemCall<WindowListImageCall>("CGWindowListCreateImage");
        if (listImage == nullptr) return CaptureResult::Failed;
        image = CFHandle<CGImageRef>::adopt(listImage(rect, kOnScreenOnly, kNullWindow, kImageDefault));
    }
    if (!image || !pixelsOf(image.get(), out)) return CaptureResult::Failed;
    return CaptureResult::Captured;
}

}  // namespace nuvra::macos
