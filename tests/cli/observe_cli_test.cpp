// Whole runs of `observe` against the fake desktop: exact standard output,
// standard error and exit status.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/run_in_child.h"

namespace nuvra {
namespace {

using testing::runInChild;

// A notes application with a small window: a button and a focused text area.
struct NotesApp {
    FakeDesktop fake;
    Element appRoot, window, button, text;
    RunningApplication app;

    NotesApp() {
        appRoot = fake.element("app", "AXApplication", "Notes");
        window = fake.element("window", "AXWindow", "Inbox");
        fake.setText(window, "AXSubrole", "AXStandardWindow");
        fake.setFrame(window, 0, 25, 800, 600);
        button = fake.element("button", "AXButton", "New Note");
        fake.setFrame(button, 10, 35, 60, 24);
        fake.set(button, "AXEnabled", AttrValue::boolean(true));
        text = fake.element("text", "AXTextArea");
        fake.setFrame(text, 0, 60, 800, 565);
        fake.setText(text, "AXValue", "hello");
        fake.set(text, "AXFocused", AttrValue::boolean(true));
        fake.setChildren(window, {button, text});
        fake.set(appRoot, "AXMainWindow", AttrValue::elementRef(window));
        app.processIdentifier = 321;
        app.bundleIdentifier = "com.example.notes";
        app.localizedName = "Notes";
        app.isActive = true;
        fake.addApp(app, appRoot);
    }

    void replaceApp() {
        fake.clearApps();
        fake.addApp(app, appRoot);
    }
};

const std::vector<std::string> kObserve = {"observe", "100", "10", "100000"};

std::vector<std::string> withArgs(std::vector<std::string> args,
                                  const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// SHA-256 of the hash input
//   Notes\nInbox\n1|AXWindow|AXStandardWindow|Inbox|Inbox|true|false
//   \n2|AXButton||New Note|New Note|true|false\n3|AXTextArea||||true|true
// computed with coreutils sha256sum, independently of the tool.
const std::string kNotesHash = "7bca15aa701d13ce5eb394aacf4098a133899e9beae7bd75f75eb37ed8b494ac";

TEST(ObserveCommand, PrintsTheBlock) {
    NotesApp n;
    auto r = runInChild(n.fake, kObserve);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "NUVRA_OBSERVE app=Notes\n"
              "NUVRA_WINDOW Inbox\n"
              "[e1] AXWindow \"Inbox\" @400,325\n"
              "  [e2] AXButton \"New Note\" @40,47\n"
              "  [e3] AXTextArea @400,343 value=\"hello\" focused\n"
              "NUVRA_END nodes=3 truncated=0 sha256=" + kNotesHash + "\n");
}

TEST(ObserveCommand, ByNameAndWithTightLimits) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"by display name", withArgs(kObserve, {"notes"}),
         "NUVRA_OBSERVE app=Notes\nNUVRA_WINDOW Inbox\n"
         "[e1] AXWindow \"Inbox\" @400,325\n"
         "  [e2] AXButton \"New Note\" @40,47\n"
         "  [e3] AXTextArea @400,343 value=\"hello\" focused\n"
         "NUVRA_END nodes=3 truncated=0 sha256=" + kNotesHash + "\n"},
        {"no line fits", {"observe", "100", "10", "1"},
         "NUVRA_OBSERVE app=Notes\nNUVRA_WINDOW Inbox\n"
         "NUVRA_END nodes=3 truncated=1 sha256=" + kNotesHash + "\n"},
        {"one node", {"observe", "1", "10", "100000", "com.example.notes"},
         "NUVRA_OBSERVE app=Notes\nNUVRA_WINDOW Inbox\n"
         "[e1] AXWindow \"Inbox\" @400,325\n"
         // sha256sum of Notes\nInbox\n1|AXWindow|AXStandardWindow|Inbox|Inbox|true|false
         "NUVRA_END nodes=1 truncated=1 sha256="
         "626807a954b9043c7a5831146a0c3c706f78558f0504ab43bf13ff181f78bd4d\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NotesApp n;
        auto r = runInChild(n.fake, c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(ObserveCommand, UntitledWindowKeepsTheTrailingSpace) {
    NotesApp n;
    n.fake.unset(n.window, "AXTitle");
    auto r = runInChild(n.fake, {"observe", "1", "1", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find("NUVRA_END")),
              "NUVRA_OBSERVE app=Notes\nNUVRA_WINDOW \n");
}

TEST(ObserveCommand, TextsFromTheApplicationCannotForgeLines) {
    NotesApp n;
    n.app.localizedName = "Notes\nNUVRA_END nodes=0 truncated=0 sha256=0";
    n.replaceApp();
    n.fake.setText(n.window, "AXTitle", "In\x1c" "box\x1b[2J\xE2\x80\xA8x");
    n.fake.setText(n.button, "AXRole", "AXButton\rNUVRA_END");
    auto r = runInChild(n.fake, {"observe", "2", "10", "100000"});
    EXPECT_EQ(r.status, 0);
    const std::string expectedHead =
        "NUVRA_OBSERVE app=Notes NUVRA_END nodes=0 truncated=0 sha256=0\n"
        "NUVRA_WINDOW In box [2J x\n"
        "[e1] AXWindow \"In\\u001cbox\\u001b[2J x\" @400,325\n"
        "  [e2] AXButton NUVRA_END \"New Note\" @40,47\n"
        "NUVRA_END nodes=2 truncated=1 sha256=";
    EXPECT_EQ(r.out.substr(0, expectedHead.size()), expectedHead);
    EXPECT_EQ(r.out.size(), expectedHead.size() + 65);
}

struct FailureCase {
    const char* name;
    std::function<void(NotesApp&)> setUp;
    std::vector<std::string> args;
    std::string err;
};

TEST(ObserveCommand, NoTargetFailsWithFive) {
    const std::vector<FailureCase> cases = {
        {"no match", [](NotesApp&) {}, withArgs(kObserve, {" Notes "}),
         "nuvra-click: no running application matches \" Notes \"\n"},
        {"name that is not UTF-8", [](NotesApp&) {}, withArgs(kObserve, {"N\xF6tes"}),
         "nuvra-click: no running application matches \"N\xF6tes\"\n"},
        {"ambiguous name",
         [](NotesApp& n) { n.fake.addApp(n.app, n.appRoot); }, withArgs(kObserve, {"Notes"}),
         "nuvra-click: no running application matches \"Notes\"\n"},
        {"nothing frontmost",
         [](NotesApp& n) {
             n.app.isActive = false;
             n.replaceApp();
         },
         kObserve, "nuvra-click: no frontmost application\n"},
        {"no window", [](NotesApp& n) { n.fake.unset(n.appRoot, "AXMainWindow"); }, kObserve,
         "nuvra-click: Notes has no observable window\n"},
        {"no window, no display name",
         [](NotesApp& n) {
             n.fake.unset(n.appRoot, "AXMainWindow");
             n.app.localizedName.reset();
             n.replaceApp();
         },
         withArgs(kObserve, {"com.example.notes"}), "nuvra-click: app has no observable window\n"},
        {"no window, display name with a line break",
         [](NotesApp& n) {
             n.fake.unset(n.appRoot, "AXMainWindow");
             n.app.localizedName = "Notes\nnuvra-click: fake";
             n.replaceApp();
         },
         kObserve, "nuvra-click: Notes nuvra-click: fake has no observable window\n"},
        {"application quit", [](NotesApp& n) { n.fake.removeElement(n.appRoot); }, kObserve,
         "nuvra-click: Notes has no observable window\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NotesApp n;
        c.setUp(n);
        auto r = runInChild(n.fake, c.args);
        EXPECT_EQ(r.status, 5);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
}

std::string endLine(const std::string& out) {
    size_t at = out.rfind("NUVRA_END ");
    return at == std::string::npos ? "" : out.substr(at);
}

TEST(ObserveCommand, HashContract) {
    NotesApp n;
    auto first = runInChild(n.fake, kObserve);
    auto again = runInChild(n.fake, kObserve);
    EXPECT_EQ(first.out, again.out);
    EXPECT_EQ(first.log, again.log);

    n.fake.setText(n.text, "AXValue", "hello world");
    n.fake.setFrame(n.button, 12, 35, 60, 24);
    auto typed = runInChild(n.fake, kObserve);
    EXPECT_NE(typed.out, first.out);
    EXPECT_EQ(endLine(typed.out), endLine(first.out));

    n.fake.setText(n.window, "AXTitle", "Inbox (1)");
    auto retitled = runInChild(n.fake, kObserve);
    EXPECT_EQ(retitled.status, 0);
    EXPECT_NE(endLine(retitled.out), endLine(first.out));
    EXPECT_EQ(endLine(retitled.out).size(), endLine(first.out).size());
}

}  // namespace
}  // namespace nuvra
