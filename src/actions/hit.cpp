#include "actions/actions.h"
#include "ax/readers.h"
#include "cli/fail.h"
#include "cli/output.h"
#include "text/text.h"

namespace nuvra {

void hitTest(Platform& platform, double x, double y) {
    Element systemWide = platform.createSystemWideElement();
    Element element;
    AXResult code = platform.copyElementAtPosition(systemWide, static_cast<float>(x),
                                                   static_cast<float>(y), element);
    if (code != kAXSuccess || !element) fail("nuvra-click: 落点无元素", 4);

    std::string role = axString(platform, element, "AXRole").value_or("AXUnknown");
    std::string subrole = axString(platform, element, "AXSubrole").value_or("");
    std::optional<std::string> title = axString(platform, element, "AXTitle");
    std::string label = title ? *title : axString(platform, element, "AXDescription").value_or("");
    bool enabled = axBool(platform, element, "AXEnabled").value_or(true);
    bool focused = axBool(platform, element, "AXFocused").value_or(false);

    // Every field is printed unquoted, so none may break or forge a line.
    auto field = [](const std::string& text) { return lineSafe(validUtf8(text)); };
    auto sanitised = [](const std::string& text) {
        return lineSafe(observeSanitize(validUtf8(text), 120));
    };
    printLine("NUVRA_HIT " + field(role) + "|" + field(subrole) + "|" +
              sanitised(title.value_or("")) + "|" + sanitised(label) + "|" +
              (enabled ? "true" : "false") + "|" + (focused ? "true" : "false"));
}

}  // namespace nuvra
