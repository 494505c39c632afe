// The test's side of the Apple API stand-in: what the calls answer, what they
// were called with, and a ledger of every object made, checked after each
// test for misuse and for references left behind.
#pragma once

#include <ApplicationServices/ApplicationServices.h>

#include <string>
#include <string_view>
#include <vector>

namespace standin {

// What the call `name` (a row of calls.def) answers from now on: its result
// code, and for a SLOT call the value put into the output slot. A CREATE call
// fails (answers NULL) for any code but 0. The test keeps `value` alive.
void script(const char* name, long code, CFTypeRef value = nullptr);
// From now on the process does not answer: every SLOT or ANSWER call on one
// of its elements answers kAXErrorCannotComplete (and is still logged).
void hang(pid_t pid);
// The displays' frames CGGetActiveDisplayList and CGDisplayBounds answer,
// in order; none until a test sets them.
void setDisplays(std::vector<CGRect> frames);
// The calls made so far whose text starts with `prefix`, e.g.
// "CGEventCreateMouseEvent null 1 100,200 0": strings print as their quoted
// text, other objects as #<number in order of creation>.
std::vector<std::string> calls(std::string_view prefix);
// The density of the screen the picture calls show: pixel (x, y) of the
// whole screen is 0xFF000000 | (x % 256) << 16 | (y % 256) << 8 | 0x33.
void screen(double pixelsPerPoint);
// ScreenCaptureKit's screenshot (a stand-in for macos_screencapturekit.mm)
// answers as script("SCScreenshotManager", code) says: 0 unavailable (the
// default, as before macOS 15.2), 1 a picture, any other a failure.
// Every misuse seen (a call on a released object, an over-release, a payload
// of the wrong type, an output slot not cleared) and every object that still
// has references; then forgets everything.
std::vector<std::string> reset();

}  // namespace standin
