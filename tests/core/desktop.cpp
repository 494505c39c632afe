#include "desktop.h"

namespace nuvra::testing {

namespace {

RunningApplication record(int32_t pid, std::string bundle, std::optional<std::string> name,
                          bool active = false, int64_t policy = 0) {
    RunningApplication a;
    a.processIdentifier = pid;
    a.bundleIdentifier = std::move(bundle);
    a.localizedName = std::move(name);
    a.isActive = active;
    a.activationPolicy = policy;
    return a;
}

}  // namespace

std::unique_ptr<FakeDesktop> testDesktop() {
    auto owned = std::make_unique<FakeDesktop>();
    FakeDesktop& d = *owned;
    Element app = d.element("notes", "AXApplication", "Notes");
    Element window = d.element("window", "AXWindow", "Inbox");
    Element toolbar = d.element("toolbar", "AXToolbar");
    Element ok = d.element("ok", "AXButton", "OK");
    Element del = d.element("delete", "AXButton");
    Element group = d.element("group", "AXGroup");
    Element text = d.element("text", "AXTextArea");
    Element secret = d.element("secret", "AXTextField");
    d.setText(window, "AXSubrole", "AXStandardWindow");
    d.setText(del, "AXDescription", "Delete");
    d.set(del, "AXEnabled", AttrValue::boolean(false));
    d.setText(text, "AXValue", "hello");
    d.set(text, "AXFocused", AttrValue::boolean(true));
    d.setText(secret, "AXSubrole", "AXSecureTextField");
    d.setText(secret, "AXValue", "hunter2");
    d.setFrame(window, 0, 25, 800, 600);
    d.setFrame(toolbar, 0, 25, 800, 40);
    d.setFrame(ok, 10, 30, 60, 30);
    d.setFrame(del, 80, 30, 60, 30);
    d.setFrame(group, 0, 65, 800, 560);
    d.setFrame(text, 0, 65, 800, 500);
    d.setFrame(secret, 0, 565, 800, 60);
    d.set(app, "AXFocusedWindow", AttrValue::elementRef(window));
    d.setChildren(app, {window});
    d.setChildren(window, {toolbar, group});
    d.setChildren(toolbar, {ok, del});
    d.setChildren(group, {text, secret});
    d.setActions(ok, {"AXPress"});
    d.setActions(del, {"AXShowMenu", "AXPress"});
    d.setPerformResult(del, kAXFailure);
    d.setActions(text, {"AXConfirm"});
    d.addApp(record(42, "org.example.notes", "Notes", true), app);

    Element editeur = d.element("editeur", "AXApplication");
    Element draft = d.element("draft", "AXWindow", "Draft");
    d.set(editeur, "AXMainWindow", AttrValue::elementRef(draft));
    d.addApp(record(101, "org.example.editeur", "\u00C9diteur"), editeur);
    d.addApp(record(201, "org.example.twin", "Notes Twin"), d.element("twin1"));
    d.addApp(record(202, "org.example.twin", "Notes Twin"), d.element("twin2"));
    d.addApp(record(502, "org.example.helper", "Helper", false, 2), d.element("helper"));
    d.addApp(record(701, "org.example.nameless", std::nullopt), d.element("nameless"));
    return owned;
}

Element chain(FakeDesktop& d, int n) {
    Element head = d.element("link", "AXGroup");
    Element parent = head;
    for (int i = 1; i < n; ++i) {
        Element child = d.element("link", "AXGroup");
        d.setChildren(parent, {child});
        parent = child;
    }
    return head;
}

}  // namespace nuvra::testing
