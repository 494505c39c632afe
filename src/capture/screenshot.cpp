#include "capture/screenshot.h"

#include "ax/readers.h"
#include "capture/file.h"
#include "capture/marks.h"
#include "capture/png.h"
#include "capture/region.h"

namespace nuvra {

namespace {

// The window's frame: the root of a walk records it; without marks it is
// read alone.
std::optional<ScreenRect> windowFrame(Platform& platform, const ObserveTarget& target,
                                      const std::optional<ObservationRun>& observed) {
    if (observed && !observed->elements.empty()) return observed->elements.front().frame;
    std::optional<ScreenPoint> position = axPoint(platform, target.window);
    if (!position) return std::nullopt;
    std::optional<ScreenSize> size = axSize(platform, target.window);
    if (!size) return std::nullopt;
    return ScreenRect{position->x, position->y, size->width, size->height};
}

}  // namespace

Outcome<ScreenshotRun> runScreenshot(Platform& platform, const ScreenshotRequest& request) {
    if (int refused = checkWritable(request.path))
        return Failure{Refusal::FileNotWritable, request.path, 0, refused};
    // No display answering is no argument of the agent's.
    const std::vector<ScreenRect> displays = platform.displayBounds();
    if (displays.empty()) return Failure{Refusal::CaptureFailed, std::nullopt, 0};
    std::optional<ScreenRect> region;
    if (request.region) {
        region = captureRegion(*request.region, displays);
        if (!region) return Failure{Refusal::RegionNotOnScreen, std::nullopt, 0};
    }
    if (!platform.mayCaptureScreen()) return Failure{Refusal::CaptureNotPermitted, std::nullopt, 0};

    ScreenshotRun run;
    if (!region) {
        Outcome<ObserveTarget> target = chooseTarget(platform, request.app);
        if (!target.ok()) return target.failure();
        if (request.marks)
            run.observation = observeTarget(platform, target.value(), request.marks->maxNodes,
                                            request.marks->maxDepth, request.marks->maxTextBytes);
        const std::optional<std::string>& name = target.value().app.localizedName;
        std::optional<ScreenRect> frame = windowFrame(platform, target.value(), run.observation);
        if (!frame) {
            const PlacementGap gap = platform.placementGap(target.value().window);
            return Failure{Refusal::WindowNotPlaced, name, static_cast<int64_t>(gap)};
        }
        region = captureRegion(*frame, displays);
        if (!region) return Failure{Refusal::WindowNotOnScreen, name, 0};
    }

    ScreenImage image;
    CaptureResult captured = platform.captureScreen(*region, image);
    if (captured == CaptureResult::NoPicture) return Failure{Refusal::NoPicture, std::nullopt, 0};
    if (captured != CaptureResult::Captured || image.width < 1 || image.height < 1 ||
        image.pixels.size() != static_cast<size_t>(image.width * image.height))
        return Failure{Refusal::CaptureFailed, std::nullopt, 0};
    const PixelMap map(*region, image.width, image.height);
    if (run.observation) drawMarks(image, map, run.observation->elements);

    std::optional<std::string> png = encodePng(image);
    if (!png) return Failure{Refusal::CaptureFailed, std::nullopt, 0};
    if (int failed = writeWhole(request.path, *png))
        return Failure{Refusal::FileNotWritable, request.path, 0, failed};
    run.region = *region;
    run.width = image.width;
    run.height = image.height;
    run.scale = map.xScale;
    run.bytes = static_cast<int64_t>(png->size());
    return run;
}

}  // namespace nuvra
