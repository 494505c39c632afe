#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "observation/run.h"
#include "platform/fake/fake_desktop.h"

namespace nuvra {
namespace {

TEST(Sha256Hex, StandardVectors) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A mail application with one window: a list of two rows and a search field.
struct MailDesktop {
    FakeDesktop fake;
    Element appRoot, window, list, rowA, rowB, search;
    RunningApplication mail;

    MailDesktop() {
        appRoot = fake.element("app", "AXApplication", "Mail");
        window = fake.element("window", "AXWindow", "Inbox \u2014 3 messages");
        list = fake.element("list", "AXList");
        rowA = fake.element("rowA", "AXRow", "Lunch on Friday?");
        rowB = fake.element("rowB", "AXRow", "Invoice 2291");
        search = fake.element("search", "AXTextField");
        fake.setText(search, "AXDescription", "Search");
        fake.setText(search, "AXValue", "invoice");
        fake.set(appRoot, "AXFocusedWindow", AttrValue::elementRef(window));
        fake.setChildren(appRoot, {window});
        fake.setChildren(window, {list, search});
        fake.setChildren(list, {rowA, rowB});
        mail.processIdentifier = 4242;
        mail.bundleIdentifier = "com.example.mail";
        mail.localizedName = "Mail";
        mail.isActive = true;
        fake.addApp(mail, appRoot);
    }

    ObservationRun observe(int64_t maxTextBytes = 100000,
                           std::optional<std::string> name = std::nullopt) {
        return runObserve(fake, 100, 10, maxTextBytes, name);
    }
};

std::string joinedHashLines(const ObservationRun& run) {
    std::string out;
    for (size_t i = 0; i < run.elements.size(); ++i) {
        if (i > 0) out.push_back('\n');
        out.append(run.elements[i].hashLine);
    }
    return out;
}

TEST(RunObserve, RecordHoldsTheWalkAndItsHash) {
    MailDesktop d;
    ObservationRun run = d.observe();
    EXPECT_EQ(run.appName, "Mail");
    EXPECT_EQ(run.windowTitle, "Inbox \u2014 3 messages");
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "[e1] AXWindow \"Inbox \u2014 3 messages\"",
                             "  [e2] AXList",
                             "  [e3] AXTextField \"Search\" value=\"invoice\"",
                             "    [e4] AXRow \"Lunch on Friday?\"",
                             "    [e5] AXRow \"Invoice 2291\"",
                         }));
    EXPECT_EQ(run.nodes, 5);
    EXPECT_FALSE(run.truncated);
    EXPECT_EQ(joinedHashLines(run),
              "1|AXWindow||Inbox \u2014 3 messages|Inbox \u2014 3 messages|true|false\n"
              "2|AXList||||true|false\n"
              "3|AXTextField|||Search|true|false\n"
              "4|AXRow||Lunch on Friday?|Lunch on Friday?|true|false\n"
              "5|AXRow||Invoice 2291|Invoice 2291|true|false");
    EXPECT_EQ(run.stateHash,
              sha256Hex("Mail\nInbox \u2014 3 messages\n" + joinedHashLines(run)));
}

TEST(RunObserve, NameAndTitleAreReadAfterTheWalk) {
    MailDesktop d;
    d.observe();
    const auto& log = d.fake.log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "apps");
    EXPECT_EQ(log[1], "createApp 4242");
    EXPECT_EQ(log[2], "read app AXFocusedWindow");
    EXPECT_EQ(log[3], "hash window");
    EXPECT_EQ(log.back(), "read window AXTitle");
    EXPECT_EQ(log[log.size() - 2], "read rowB AXChildren");
}

struct NameCase {
    const char* name;
    std::optional<std::string> localized, bundle;
    std::string appName;
};

TEST(RunObserve, ApplicationNameFallsBackToBundleThenUnknown) {
    const std::vector<NameCase> cases = {
        {"display name", "Mail", "com.example.mail", "Mail"},
        {"bundle identifier", std::nullopt, "com.example.mail", "com.example.mail"},
        {"neither", std::nullopt, std::nullopt, "unknown"},
        {"taken as given", "Mail\n\x01", std::nullopt, "Mail\n\x01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailDesktop d;
        d.fake.clearApps();
        d.mail.localizedName = c.localized;
        d.mail.bundleIdentifier = c.bundle;
        d.fake.addApp(d.mail, d.appRoot);
        ObservationRun run = d.observe();
        EXPECT_EQ(run.appName, c.appName);
        EXPECT_EQ(run.stateHash, sha256Hex(c.appName + "\nInbox \u2014 3 messages\n" +
                                           joinedHashLines(run)));
    }
}

TEST(RunObserve, AppFoundByNameReportsItsDisplayName) {
    MailDesktop d;
    EXPECT_EQ(d.observe(100000, "MAIL").appName, "Mail");
    EXPECT_EQ(d.observe(100000, "com.example.mail").appName, "Mail");
}

TEST(RunObserve, WindowTitleIsSanitisedOrEmpty) {
    struct Case {
        const char* name;
        std::optional<AttrValue> title;
        std::string windowTitle;
    };
    const std::vector<Case> cases = {
        {"collapsed", AttrValue::plainText("  Inbox\n\n(3) "), "Inbox (3)"},
        {"cut", AttrValue::plainText(std::string(121, 'w')),
         std::string(120, 'w') + "\xE2\x80\xA6"},
        {"attributed", AttrValue::attributedText("Drafts"), "Drafts"},
        {"blank", AttrValue::plainText(" \t"), ""},
        {"not text", AttrValue::integer(3), ""},
        {"missing", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailDesktop d;
        if (c.title) d.fake.set(d.window, "AXTitle", *c.title);
        else d.fake.unset(d.window, "AXTitle");
        ObservationRun run = d.observe();
        EXPECT_EQ(run.windowTitle, c.windowTitle);
        EXPECT_EQ(run.stateHash, sha256Hex("Mail\n" + c.windowTitle + "\n" + joinedHashLines(run)));
    }
}

TEST(RunObserve, NoElementsStillHashesNameAndTitle) {
    MailDesktop d;
    ObservationRun run = runObserve(d.fake, 0, 10, 1000, std::nullopt);
    EXPECT_EQ(run.nodes, 0);
    EXPECT_TRUE(run.truncated);
    EXPECT_EQ(run.stateHash, sha256Hex("Mail\nInbox \u2014 3 messages\n"));
}

TEST(RunObserve, HashFollowsHashLinesOnly) {
    MailDesktop base;
    const ObservationRun before = base.observe();

    // The budget changes what is printed, never what is hashed.
    ObservationRun narrow = base.observe(60);
    EXPECT_LT(narrow.lines.size(), before.lines.size());
    EXPECT_EQ(narrow.nodes, before.nodes);
    EXPECT_TRUE(narrow.truncated);
    EXPECT_EQ(narrow.stateHash, before.stateHash);

    struct Change {
        const char* name;
        std::function<void(MailDesktop&)> apply;
        bool moves;
    };
    const std::vector<Change> changes = {
        {"typing", [](MailDesktop& d) { d.fake.setText(d.search, "AXValue", "invoices"); }, false},
        {"moving", [](MailDesktop& d) { d.fake.setFrame(d.rowA, 5, 5, 100, 20); }, false},
        {"row title", [](MailDesktop& d) { d.fake.setText(d.rowA, "AXTitle", "Lunch on Monday?"); }, true},
        {"description", [](MailDesktop& d) { d.fake.setText(d.search, "AXDescription", "Find"); }, true},
        {"disabled", [](MailDesktop& d) { d.fake.set(d.rowB, "AXEnabled", AttrValue::boolean(false)); }, true},
        {"focus", [](MailDesktop& d) { d.fake.set(d.search, "AXFocused", AttrValue::boolean(true)); }, true},
        {"subrole", [](MailDesktop& d) { d.fake.setText(d.window, "AXSubrole", "AXStandardWindow"); }, true},
        {"white space in a title", [](MailDesktop& d) { d.fake.setText(d.rowB, "AXTitle", "Invoice  2291"); }, true},
        {"row added", [](MailDesktop& d) { d.fake.setChildren(d.list, {d.rowA, d.rowB, d.fake.element("rowC", "AXRow")}); }, true},
        {"application renamed", [](MailDesktop& d) {
             d.fake.clearApps();
             d.mail.localizedName = "Mail 2";
             d.fake.addApp(d.mail, d.appRoot);
         }, true},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        MailDesktop d;
        c.apply(d);
        EXPECT_EQ(d.observe().stateHash != before.stateHash, c.moves);
    }
}

}  // namespace
}  // namespace nuvra
