// PLACEHOLDER: replaced by the Linux backend work.
#include "platform/native.h"
namespace nuvra {
namespace {
class Untrusted : public Platform {
public:
    bool isProcessTrusted() override { return false; }
    Element createApplicationElement(int32_t) override { return {}; }
    Element createSystemWideElement() override { return {}; }
    AXResult copyElementAtPosition(const Element&, float, float, Element&) override { return kAXFailure; }
    AXResult copyAttributeValue(const Element&, std::string_view, std::optional<AttrValue>&) override { return kAXFailure; }
    AXResult copyActionNames(const Element&, std::optional<AttrValue>&) override { return kAXFailure; }
    AXResult performAction(const Element&, std::string_view) override { return kAXFailure; }
    AXResult setAttributeValue(const Element&, std::string_view, std::string_view) override { return kAXFailure; }
    uint64_t identityHash(const Element&) override { return 0; }
    std::vector<RunningApplication> runningApplications() override { return {}; }
    bool equalIgnoringCaseAndDiacritics(std::string_view, std::string_view) override { return false; }
    Event createMouseEvent(int32_t, ScreenPoint, int32_t) override { return {}; }
    Event createScrollWheelEvent(int32_t, int32_t, int32_t) override { return {}; }
    void postEvent(const Event&) override {}
    void sleepMicroseconds(uint32_t) override {}
};
}  // namespace
std::unique_ptr<Platform> makeNativePlatform() { return std::make_unique<Untrusted>(); }
}  // namespace nuvra
