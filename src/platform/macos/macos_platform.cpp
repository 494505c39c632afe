#include <memory>

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
        return macos::copyAttributeValue(element, attribute, out);
    }
    AXResult copyActionNames(const Element& element, std::optional<AttrValue>& out) override {
        return macos::copyActionNames(element, out);
    }
    AXResult performAction(const Element& element, std::string_view action) override {
        return macos::performAction(element, action);
    }
    AXResult setAttributeValue(const Element& element, std::string_view attribute,
                               std::string_view text) override {
        return macos::setAttributeValue(element, attribute, text);
    }
    uint64_t identityHash(const Element& element) override {
        return macos::identityHash(element);
    }
    std::vector<RunningApplication> runningApplications() override {
        return macos::runningApplications();
    }
    bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) override {
        return macos::equalIgnoringCaseAndDiacritics(a, b);
    }
    Event createMouseEvent(int32_t type, ScreenPoint at, int32_t button) override {
        return macos::createMouseEvent(type, at, button);
    }
    Event createScrollWheelEvent(int32_t wheel1, int32_t wheel2, int32_t wheel3) override {
        return macos::createScrollWheelEvent(wheel1, wheel2, wheel3);
    }
    void postEvent(const Event& event) override { macos::postEvent(event); }
    void sleepMicroseconds(uint32_t microseconds) override {
        macos::sleepMicroseconds(microseconds);
    }
};

}  // namespace

std::unique_ptr<Platform> makeNativePlatform() {
    return std::make_unique<MacPlatform>();
}

}  // namespace nuvra
