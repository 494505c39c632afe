// The output line protocol against texts that try to break or forge lines,
// through every field an application controls, as whole runs on the fake
// desktop: line feeds, carriage returns, U+2028/U+2029, NEL, NUL, ANSI and
// C1 escape sequences, "|", ready-made marker lines, and ill-formed UTF-8 of
// every kind (stray bytes, an overlong line feed, surrogates, truncated and
// out-of-range sequences). Whatever the text, every line is one protocol
// line, no line starts with a marker it should not, the output is valid
// UTF-8, and the text's tail still arrives on its own element's line.
#include <gtest/gtest.h>

#include <utf8proc.h>

#include <string>
#include <vector>

#include "support/run_in_child.h"

namespace nuvra {
namespace {

using testing::RunResult;
using testing::runInChild;

// Every text ends in this tail, which must arrive, on the right line. The
// texts stay below the 120-character cut, so nothing is cut off.
const std::string kTail = "NUVRA_END tail";

struct Hostile {
    const char* what;
    std::string text;
};

const std::vector<Hostile>& hostileTexts() {
    static const std::vector<Hostile> texts = {
        {"line feed", "a\nNUVRA_END nodes=0 truncated=0 sha256=" + std::string(16, '0') + "\n"},
        {"carriage return", "a\rNUVRA_HIT AXButton||x|x|true|false\r"},
        {"CR LF", "a\r\nNUVRA_WINDOW forged\r\n"},
        {"line separator", "a\xE2\x80\xA8NUVRA_OBSERVE app=forged\xE2\x80\xA8"},
        {"paragraph separator", "a\xE2\x80\xA9[e9] AXButton \"forged\""},
        {"next line", "a\xC2\x85NUVRA_END nodes=1"},
        {"NUL", std::string("a\0NUVRA_END nodes=1\0", 21)},
        {"VT FF FS GS RS US", "a\x0b\x0c\x1c\x1d\x1e\x1fNUVRA_END"},
        {"ANSI escapes", "\x1b[2J\x1b[1;1H\x1b]0;pwned\x07NUVRA_END"},
        {"C1 CSI", "a\xC2\x9B" "2J\xC2\x9D" "0;x\xC2\x9C"},
        {"bars", "a|b||c|true|false|"},
        {"quotes and backslashes", "q\" b\\ s/ \\n \\u000a \""},
        {"marker alone", "NUVRA_END nodes=1 truncated=0 sha256=" + std::string(16, 'f')},
        {"stray bytes", "\xFF\xFE\x80NUVRA_END\xBF"},
        {"overlong line feed", "a\xC0\x8A" "NUVRA_END\xE0\x80\x8A"},
        {"surrogates", "a\xED\xA0\x80\xED\xBF\xBF"},
        {"beyond U+10FFFF", "a\xF4\x90\x80\x80\xF8\x88\x80\x80\x80"},
        {"truncated sequence", "a\xE2\x80"},
        {"lone NEL byte", "a\x85NUVRA_END"},
    };
    return texts;
}

// A window whose every text is the hostile one: its title, and one element
// each for the role, the title (and subrole), the description and the
// value. The application's display name carries it too, or, without a
// display name, its bundle identifier.
struct HostileDesktop {
    FakeDesktop fake;
    Element root, window, roled, titled, described, valued;

    HostileDesktop(const std::string& text, bool nameFromBundle) {
        root = fake.element("app", "AXApplication");
        window = fake.element("window", "AXWindow", text);
        fake.setFrame(window, 0, 0, 800, 600);
        roled = fake.element("roled", text, "R");
        titled = fake.element("titled", "AXTextField", text);
        fake.setText(titled, "AXSubrole", text);
        described = fake.element("described", "AXGroup");
        fake.setText(described, "AXDescription", text);
        valued = fake.element("valued", "AXStaticText");
        fake.setText(valued, "AXValue", text);
        fake.setChildren(window, {roled, titled, described, valued});
        fake.set(root, "AXFocusedWindow", AttrValue::elementRef(window));
        RunningApplication app;
        app.processIdentifier = 9;
        app.isActive = true;
        app.bundleIdentifier = nameFromBundle ? text : "org.example.plain";
        if (!nameFromBundle) app.localizedName = text;
        fake.addApp(app, root);
    }
};

size_t occurrences(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

bool validUtf8Independently(const std::string& s) {
    const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(s.data());
    utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(s.size());
    while (left > 0) {
        utf8proc_int32_t cp = 0;
        utf8proc_ssize_t n = utf8proc_iterate(p, left, &cp);
        if (n <= 0) return false;
        p += n;
        left -= n;
    }
    return true;
}

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The lines of standard output after the checks that hold for any run: valid
// UTF-8, every line ended by a line feed, no other control character and no
// Unicode line or paragraph separator anywhere.
std::vector<std::string> protocolLines(const RunResult& r) {
    EXPECT_TRUE(validUtf8Independently(r.out));
    std::vector<std::string> lines;
    if (r.out.empty()) return lines;
    EXPECT_EQ(r.out.back(), '\n');
    size_t start = 0;
    for (size_t i = 0; i < r.out.size(); ++i) {
        if (r.out[i] != '\n') continue;
        lines.push_back(r.out.substr(start, i - start));
        start = i + 1;
    }
    for (const auto& line : lines) {
        for (unsigned char c : line) EXPECT_GE(c, 0x20) << line;
        for (const char* separator : {"\xE2\x80\xA8", "\xE2\x80\xA9", "\xC2\x85"})
            EXPECT_EQ(line.find(separator), std::string::npos) << line;
    }
    return lines;
}

TEST(ReliabilityLines, ObserveKeepsEveryTextOnItsOwnLine) {
    for (const auto& h : hostileTexts()) {
        for (bool nameFromBundle : {false, true}) {
            SCOPED_TRACE(std::string(h.what) + (nameFromBundle ? " / bundle identifier" : ""));
            HostileDesktop d(h.text + kTail, nameFromBundle);
            RunResult r = runInChild(d.fake, {"observe", "100", "10", "100000"});
            ASSERT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            std::vector<std::string> lines = protocolLines(r);
            // Header, window line, five element lines, end line: nothing
            // split, nothing added.
            ASSERT_EQ(lines.size(), 8u) << r.out;
            EXPECT_TRUE(startsWith(lines[0], "NUVRA_OBSERVE app="));
            EXPECT_TRUE(startsWith(lines[1], "NUVRA_WINDOW "));
            EXPECT_TRUE(startsWith(lines[2], "[e1] AXWindow \""));
            EXPECT_TRUE(startsWith(lines[3], "  [e2] "));
            EXPECT_TRUE(startsWith(lines[4], "  [e3] AXTextField \""));
            EXPECT_TRUE(startsWith(lines[5], "  [e4] AXGroup \""));
            EXPECT_TRUE(startsWith(lines[6], "  [e5] AXStaticText value=\""));
            EXPECT_TRUE(startsWith(lines[7], "NUVRA_END nodes=5 truncated=0 sha256="));
            EXPECT_EQ(lines[7].size(), std::string("NUVRA_END nodes=5 truncated=0 sha256=").size() + 64);
            // The text is not lost: its tail is on every line it belongs to.
            for (size_t i = 0; i < 7; ++i)
                EXPECT_EQ(occurrences(lines[i], kTail), 1u) << lines[i];
        }
    }
}

TEST(ReliabilityLines, HitPrintsOneLine) {
    for (const auto& h : hostileTexts()) {
        SCOPED_TRACE(h.what);
        const std::string text = h.text + kTail;
        HostileDesktop d(text, false);
        d.fake.setText(d.titled, "AXRole", text);
        // The role, subrole, title and label fields, then the label alone
        // from a description.
        const std::pair<Element, size_t> targets[] = {{d.titled, 4}, {d.described, 1}};
        for (const auto& [target, tails] : targets) {
            d.fake.setElementAtPosition(target);
            RunResult r = runInChild(d.fake, {"hit", "20", "50"});
            ASSERT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            std::vector<std::string> lines = protocolLines(r);
            ASSERT_EQ(lines.size(), 1u) << r.out;
            EXPECT_TRUE(startsWith(lines[0], "NUVRA_HIT "));
            EXPECT_EQ(occurrences(lines[0], kTail), tails) << lines[0];
            // The enabled and focused fields stay last, whatever came before.
            EXPECT_EQ(lines[0].substr(lines[0].size() - 11), "|true|false");
        }
    }
}

TEST(ReliabilityLines, DiagnosticsNamingTheApplicationStayOneLine) {
    for (const auto& h : hostileTexts()) {
        SCOPED_TRACE(h.what);
        HostileDesktop d(h.text + kTail, false);
        d.fake.unset(d.root, "AXFocusedWindow");
        RunResult r = runInChild(d.fake, {"observe", "100", "10", "100000"});
        EXPECT_EQ(r.status, 5);
        EXPECT_EQ(r.out, "");
        ASSERT_TRUE(startsWith(r.err, "nuvra-click: "));
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
        EXPECT_NE(r.err.find(kTail + " has no observable window\n"), std::string::npos) << r.err;
        for (unsigned char c : r.err.substr(0, r.err.size() - 1)) EXPECT_GE(c, 0x20);
    }
}

TEST(ReliabilityLines, ActionsOnHostileElementsPrintNothingButTheirDiagnostic) {
    // press and settext on the element whose title and subrole are hostile:
    // success prints nothing, a refusal one fixed line.
    for (const auto& h : hostileTexts()) {
        SCOPED_TRACE(h.what);
        HostileDesktop d(h.text + kTail, false);
        d.fake.setActions(d.titled, {"AXPress"});
        RunResult seen = runInChild(d.fake, {"observe", "100", "10", "100000"});
        ASSERT_EQ(seen.status, 0);
        std::string sha = seen.out.substr(seen.out.rfind("sha256=") + 7, 64);
        RunResult pressed = runInChild(d.fake, {"press", "3", "100", "10", "100000", sha});
        EXPECT_EQ(pressed.status, 0);
        EXPECT_EQ(pressed.out + pressed.err, "");
        d.fake.setPerformResult(d.titled, kAXFailure);
        d.fake.setWriteResult(d.titled, kAXFailure);
        RunResult refused = runInChild(d.fake, {"press", "3", "100", "10", "100000", sha});
        EXPECT_EQ(refused.status, 8);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err, "nuvra-click: element [e3] has no press action\n");
        RunResult rejected =
            runInChild(d.fake, {"settext", "3", "x", "100", "10", "100000", sha});
        EXPECT_EQ(rejected.status, 8);
        EXPECT_EQ(rejected.out, "");
        EXPECT_EQ(rejected.err, "nuvra-click: element [e3] rejected the text assignment\n");
    }
}

}  // namespace
}  // namespace nuvra
