#include <algorithm>
#include <csignal>
#include <memory>
#include <set>

#include "platform/macos/macos_backend.h"
#include "platform/native.h"

namespace nuvra {

namespace {

class MacPlatform final : public Platform {
public:
    bool isProcessTrusted() override { return macos::isProcessTrusted(); }
    Element createApplicationElement(int32_t pid) override {
        return macos::createApplicationElement(pid);
    }
    Element createSystemWideElement() override { return macos::createSystemWideElement(); }
    AXResult copyElementAtPosition(const Element& systemWide, float x, float y,
                                   Element& out) override {
        return macos::copyElementAtPosition(systemWide, x, y, out);
    }
    AXResult copyAttributeValue(const Element& element, std::string_view attribute,
                                std::optional<AttrValue>& out) override {
        return unlessHung(element, true,
                          [&] { return macos::copyAttributeValue(element, attribute, out); });
    }
    AXResult getAttributeValueCount(const Element& element, std::string_view attribute,
                                    int64_t& count) override {
        return unlessHung(element, true, [&] {
            return macos::getAttributeValueCount(element, attribute, count);
        });
    }
    AXResult copyAttributeValues(const Element& element, std::string_view attribute, int64_t index,
                                 int64_t maxValues, std::optional<AttrValue>& out) override {
        return unlessHung(element, true, [&] {
            return macos::copyAttributeValues(element, attribute, index, maxValues, out);
        });
    }
    AXResult copyActionNames(const Element& element, std::optional<AttrValue>& out) override {
        return unlessHung(element, true, [&] { return macos::copyActionNames(element, out); });
    }
    // An action or a write that times out says nothing of the application:
    // the toolkit answers when the handler returns, and a handler that runs
    // a modal dialog returns when the dialog closes. A caller may ask again.
    AXResult performAction(const Element& element, std::string_view action) override {
        return unlessHung(element, false, [&] { return macos::performAction(element, action); });
    }
    AXResult setAttributeValue(const Element& element, std::string_view attribute,
                               std::string_view text) override {
        return unlessHung(element, false,
                          [&] { return macos::setAttributeValue(element, attribute, text); });
    }
    AXResult setBooleanAttribute(const Element& element, std::string_view attribute,
                                 bool value) override {
        return unlessHung(element, false,
                          [&] { return macos::setBooleanAttribute(element, attribute, value); });
    }
    uint64_t identityHash(const Element& element) override {
        return macos::identityHash(element);
    }
    std::vector<RunningApplication> runningApplications() override {
        return macos::runningApplications();
    }
    std::vector<ScreenRect> displayBounds() override { return macos::displayBounds(); }
    bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) override {
        return macos::equalIgnoringCaseAndDiacritics(a, b);
    }
    Event createMouseEvent(int32_t type, ScreenPoint at, int32_t button) override {
        return macos::createMouseEvent(type, at, button);
    }
    Event createScrollWheelEvent(int32_t wheel1, int32_t wheel2, int32_t wheel3) override {
        return macos::createScrollWheelEvent(wheel1, wheel2, wheel3);
    }
    Event createKeyboardEvent(uint16_t virtualKey, bool keyDown, uint64_t flags,
                              std::string_view character) override {
        return macos::createKeyboardEvent(virtualKey, keyDown, flags, character);
    }
    bool postEvent(const Event& event) override {
        macos::postEvent(event);
        return true;
    }
    bool endRequested() override {
        sigset_t pending;
        if (sigpending(&pending) != 0) return false;
        return sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1 ||
               sigismember(&pending, SIGHUP) == 1;
    }

    void sleepMicroseconds(uint32_t microseconds) override {
        macos::sleepMicroseconds(microseconds);
    }
    // Activation brings the application's key window forward; AXRaise puts
    // the chosen one above its others.
    bool activateApplication(int32_t pid, const Element& window) override {
        const bool activated = macos::activateRunningApplication(pid);
        return macos::performAction(window, "AXRaise") == kAXErrorSuccess && activated;
    }
    LaunchedProcess launchApplication(std::string_view id) override {
        return macos::launchApplication(id);
    }
    // Each look asks the applications that did not answer again, and no
    // message waits past the deadline: the messaging time-out is what is
    // left of it.
    void beginLook(int64_t deadline) override {
        hung_.clear();
        deadline_ = deadline;
        cutShort_ = false;
        const int64_t left = deadline - std::min(deadline, monotonicMicroseconds());
        macos::setMessagingTimeout(std::clamp<double>(static_cast<double>(left) / 1e6,
                                                      macos::kShortestMessaging,
                                                      macos::kSystemMessaging));
    }
    bool lookCutShort() override { return cutShort_; }
    bool mayCaptureScreen() override { return macos::mayCaptureScreen(); }
    CaptureResult captureScreen(const ScreenRect& area, ScreenImage& out) override {
        return macos::captureScreen(area, out);
    }

private:
    // kAXErrorCannotComplete: the application has not answered within the
    // messaging time-out, seconds for every call. Once a read has met it,
    // the rest of the run answers the same for that application at once,
    // so a hung application costs one time-out, not one per attribute.
    template <typename Call>
    AXResult unlessHung(const Element& element, bool readTimeOutMarks, Call call) {
        const int32_t pid = macos::processOf(element);
        if (pid <= 0) return call();  // no application to remember it by
        if (hung_.count(pid) != 0) return kAXErrorCannotComplete;
        const AXResult code = call();
        if (readTimeOutMarks && code == kAXErrorCannotComplete) hung_.insert(pid);
        if (code == kAXErrorCannotComplete && deadline_ && monotonicMicroseconds() >= *deadline_)
            cutShort_ = true;
        return code;
    }

    std::set<int32_t> hung_;
    std::optional<int64_t> deadline_;  // of the look begun last
    bool cutShort_ = false;
};

}  // namespace

std::unique_ptr<Platform> makeNativePlatform() {
    return std::make_unique<MacPlatform>();
}

std::vector<SessionVariable> missingSessionVariables() { return {}; }

}  // namespace nuvra
