// The screenshot command: the picture of the window observe reads, or of a
// region of the screen, written as a PNG file; with marks, the observation
// of the same walk drawn on it.
#pragma once

#include <optional>
#include <string>

#include "actions/actions.h"
#include "observation/run.h"
#include "outcome.h"
#include "platform/platform.h"

namespace nuvra {

struct ScreenshotRequest {
    std::string path;
    std::optional<ScreenRect> region;   // a region of the screen, else the window
    std::optional<std::string> app;     // the window's application, as observe takes it
    std::optional<ObserveLimits> marks; // observe the window and draw its elements
};

struct ScreenshotRun {
    ScreenRect region;  // what the picture shows, in whole points
    int64_t width = 0;  // its pixels
    int64_t height = 0;
    double scale = 1;   // pixels per point
    int64_t bytes = 0;  // of the file written
    std::optional<ObservationRun> observation;
};

// Checks the file, then captures, encodes and writes it. Arguments fail
// first (FileNotWritable, RegionNotOnScreen), before anything is read of
// the desktop but the displays' bounds (none: CaptureFailed); then
// CaptureNotPermitted; then the observation's own failures; then
// WindowNotPlaced, WindowNotOnScreen, NoPicture and CaptureFailed. Nothing
// is written on failure.
Outcome<ScreenshotRun> runScreenshot(Platform& platform, const ScreenshotRequest& request);

}  // namespace nuvra
