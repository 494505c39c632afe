#include "actions/actions.h"
#include "ax/readers.h"

namespace nuvra {

Outcome<HitElement> hitTest(Platform& platform, double x, double y) {
    Element systemWide = platform.createSystemWideElement();
    Element element;
    AXResult code = platform.copyElementAtPosition(systemWide, static_cast<float>(x),
                                                   static_cast<float>(y), element);
    if (code != kAXSuccess || !element) return Failure{Refusal::NoElementAtPoint, std::nullopt, 0};

    HitElement hit;
    hit.role = axString(platform, element, "AXRole").value_or("AXUnknown");
    hit.subrole = axString(platform, element, "AXSubrole").value_or("");
    hit.title = axString(platform, element, "AXTitle");
    hit.label = hit.title ? *hit.title : axString(platform, element, "AXDescription").value_or("");
    hit.enabled = axBool(platform, element, "AXEnabled").value_or(true);
    hit.focused = axBool(platform, element, "AXFocused").value_or(false);
    return hit;
}

}  // namespace nuvra
