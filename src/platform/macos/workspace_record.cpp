#include <optional>
#include <string>

#include "platform/macos/macos_backend.h"

namespace nuvra::macos {

namespace {

// AppKit's nil for a missing bundle identifier or display name arrives as a
// null string; the empty string stays a present, empty text.
std::optional<std::string> optionalText(CFStringRef string) {
    if (!string) return std::nullopt;
    return utf8FromCFString(string);
}

}  // namespace

RunningApplication runningApplicationRecord(int64_t activationPolicy, bool isActive,
                                            CFStringRef bundleIdentifier,
                                            CFStringRef localizedName,
                                            int32_t processIdentifier) {
    RunningApplication app;
    app.activationPolicy = activationPolicy;
    app.isActive = isActive;
    app.bundleIdentifier = optionalText(bundleIdentifier);
    app.localizedName = optionalText(localizedName);
    app.processIdentifier = processIdentifier;  // -1 for an application without a process
    return app;
}

}  // namespace nuvra::macos
