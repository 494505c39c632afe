// A secure text field's contents never leave through the tool: not on
// standard output or standard error, not in the state hash, and its value
// is never even read. Whole runs on the fake desktop for every way a field
// can be secure (by role, by subrole, with a description instead of a
// title), focused, observed, hit-tested, pressed and written to, including
// the failing paths (stale, rejected, ill-formed text, unknown element).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "observation/run.h"
#include "support/run_in_child.h"

namespace nuvra {
namespace {

using testing::RunResult;
using testing::runInChild;

const std::string kSecret = "hunter2-Zebra-Secret-7731";
const std::string kNewSecret = "Zweites-Geheimnis-5519";

struct Secure {
    const char* what;
    std::string role;
    std::string subrole;      // empty: none
    std::string title;        // empty: none
    std::string description;  // empty: none
};

const std::vector<Secure> kSecureFields = {
    {"secure by role", "AXSecureTextField", "", "Password", ""},
    {"secure by subrole", "AXTextField", "AXSecureTextField", "Password", ""},
    {"described, not titled", "AXSecureTextField", "", "", "Password"},
};

// A sign-in window: a user name field, the focused password field, and OK.
struct SignIn {
    FakeDesktop fake;
    Element root, window, user, password, ok;

    explicit SignIn(const Secure& s) {
        root = fake.element("app", "AXApplication");
        window = fake.element("window", "AXWindow", "Sign in");
        fake.setFrame(window, 0, 0, 400, 300);
        user = fake.element("user", "AXTextField", "User");
        fake.setFrame(user, 10, 10, 200, 20);
        fake.setText(user, "AXValue", "alice");
        password = fake.element("password", s.role, s.title);
        if (!s.subrole.empty()) fake.setText(password, "AXSubrole", s.subrole);
        if (!s.description.empty()) fake.setText(password, "AXDescription", s.description);
        fake.setFrame(password, 10, 40, 200, 20);
        fake.setText(password, "AXValue", kSecret);
        fake.set(password, "AXFocused", AttrValue::boolean(true));
        fake.setActions(password, {"AXPress", "AXConfirm"});
        ok = fake.element("ok", "AXButton", "OK");
        fake.setActions(ok, {"AXPress"});
        fake.setChildren(window, {user, password, ok});
        fake.set(root, "AXFocusedWindow", AttrValue::elementRef(window));
        RunningApplication app;
        app.processIdentifier = 31;
        app.isActive = true;
        app.localizedName = "Vault";
        app.bundleIdentifier = "com.example.vault";
        fake.addApp(app, root);
        fake.setElementAtPosition(password);
    }

    // The hash input, field by field: application, window title, then each
    // recorded element's number, role, subrole, title, label, enabled and
    // focused. Values are no part of it.
    std::string hashInput(const Secure& s) const {
        const std::string label = s.title.empty() ? s.description : s.title;
        return "Vault\nSign in\n"
               "1|AXWindow||Sign in|Sign in|true|false\n"
               "2|AXTextField||User|User|true|false\n"
               "3|" + s.role + "|" + s.subrole + "|" + s.title + "|" + label + "|true|true\n"
               "4|AXButton||OK|OK|true|false";
    }
};

std::string shaOf(const RunResult& r) {
    size_t at = r.out.rfind("sha256=");
    return at == std::string::npos ? std::string() : r.out.substr(at + 7, 64);
}

void expectNoLeak(const RunResult& r, const std::vector<std::string>& secrets) {
    for (const auto& secret : secrets) {
        EXPECT_EQ(r.out.find(secret), std::string::npos) << r.out;
        EXPECT_EQ(r.err.find(secret), std::string::npos) << r.err;
    }
    // Not printed because never asked for.
    for (const auto& call : r.log) EXPECT_NE(call, "read password AXValue");
}

TEST(Secrets, ObserveNeverReadsOrHashesTheSecret) {
    for (const auto& s : kSecureFields) {
        SCOPED_TRACE(s.what);
        SignIn d(s);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"observe", "100", "10", "100000"},
              std::vector<std::string>{"observe", "100", "10", "100000", "vault"},
              std::vector<std::string>{"observe", "100", "10", "1"}}) {
            RunResult r = runInChild(d.fake, args);
            ASSERT_EQ(r.status, 0) << r.err;
            expectNoLeak(r, {kSecret});
            // The printed hash is that of exactly these fields: the secret is
            // not among them.
            const std::string input = d.hashInput(s);
            ASSERT_EQ(input.find(kSecret), std::string::npos);
            EXPECT_EQ(shaOf(r), sha256Hex(input));
        }
        RunResult r = runInChild(d.fake, {"observe", "100", "10", "100000"});
        const std::string label = s.title.empty() ? s.description : s.title;
        EXPECT_NE(r.out.find("  [e3] " + s.role + " \"" + label + "\" @110,50 focused\n"),
                  std::string::npos)
            << r.out;
        // A new secret leaves the hash and every printed line as they were.
        d.fake.setText(d.password, "AXValue", kNewSecret);
        RunResult changed = runInChild(d.fake, {"observe", "100", "10", "100000"});
        EXPECT_EQ(changed.out, r.out);
    }
}

TEST(Secrets, HitPressAndSettextOnTheSecureField) {
    for (const auto& s : kSecureFields) {
        SCOPED_TRACE(s.what);
        SignIn d(s);
        const std::string sha = shaOf(runInChild(d.fake, {"observe", "100", "10", "100000"}));
        const std::string label = s.title.empty() ? s.description : s.title;

        RunResult hit = runInChild(d.fake, {"hit", "50", "50"});
        EXPECT_EQ(hit.out, "NUVRA_HIT " + s.role + "|" + s.subrole + "|" + s.title + "|" + label +
                               "|true|true\n");
        expectNoLeak(hit, {kSecret});

        RunResult pressed = runInChild(d.fake, {"press", "3", "100", "10", "100000", sha});
        EXPECT_EQ(pressed.status, 0);
        EXPECT_EQ(pressed.out + pressed.err, "");
        expectNoLeak(pressed, {kSecret});

        struct Write {
            const char* what;
            std::vector<std::string> args;
            AXResult writeResult;
            int status;
            std::string err;
        };
        const Write writes[] = {
            {"accepted", {"settext", "3", kNewSecret, "100", "10", "100000", sha}, 0, 0, ""},
            {"rejected", {"settext", "3", kNewSecret, "100", "10", "100000", sha}, kAXFailure, 8,
             "nuvra-click: element [e3] rejected the text assignment\n"},
            {"stale", {"settext", "3", kNewSecret, "100", "10", "100000", std::string(64, 'a')},
             0, 6,
             "nuvra-click: stale observation — the window's element tree changed since "
             "screen.observe\n"},
            {"unknown element", {"settext", "9", kNewSecret, "100", "10", "100000", sha}, 0, 6,
             "nuvra-click: element [e9] is not in the current tree\n"},
            {"ill-formed text", {"settext", "3", kNewSecret + "\xFF", "100", "10", "100000", sha},
             0, 3, "nuvra-click: bad text (not valid UTF-8)\n"},
            {"no such application",
             {"settext", "3", kNewSecret, "100", "10", "100000", sha, "Safe"}, 0, 5,
             "nuvra-click: no running application matches \"Safe\"\n"},
        };
        for (const auto& w : writes) {
            SCOPED_TRACE(w.what);
            d.fake.setWriteResult(d.password, w.writeResult);
            RunResult r = runInChild(d.fake, w.args);
            EXPECT_EQ(r.status, w.status);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, w.err);
            expectNoLeak(r, {kSecret, kNewSecret});
            // The new text goes to the field and nowhere else, once, and only
            // when the run gets as far as writing.
            std::vector<std::string> written = r.status == 0 || r.status == 8
                ? std::vector<std::string>{"write password AXValue \"" + kNewSecret + "\" -> " +
                                           std::to_string(w.writeResult)}
                : std::vector<std::string>{};
            std::vector<std::string> loggedWrites;
            for (const auto& call : r.log)
                if (call.rfind("write ", 0) == 0) loggedWrites.push_back(call);
            EXPECT_EQ(loggedWrites, written);
        }
    }
}

}  // namespace
}  // namespace nuvra
