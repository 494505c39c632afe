// Rules no single whole run can isolate: the parsers' accepted values, the
// choice of application and window, the line protocol against every hostile
// text in every field an application controls, and the digest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ax/targeting.h"
#include "cli/entry.h"
#include "cli/parsers.h"
#include "desktop.h"
#include "observation/run.h"
#include "text/text.h"

namespace nuvra::testing {
namespace {

struct ParserRow {
    std::string text;
    std::optional<double> coord;  // nothing: refused
    std::optional<int32_t> delta;
    std::optional<int64_t> positive;
};

TEST(Parsers, AcceptedValues) {
    const ParserRow rows[] = {
        {"", {}, {}, {}}, {"0", 0.0, 0, {}}, {"007", 7.0, 7, 7}, {"+3", 3.0, 3, 3},
        {"-3", {}, -3, {}}, {"-0", -0.0, 0, {}}, {".5", 0.5, {}, {}}, {"5.", 5.0, {}, {}},
        {"1e3", 1000.0, {}, {}}, {"0x1p-2", 0.25, {}, {}}, {"1,5", {}, {}, {}},
        {"inf", {}, {}, {}}, {"nan", {}, {}, {}}, {"1e999", {}, {}, {}}, {" 5", {}, {}, {}},
        {"5\n", {}, {}, {}}, {std::string("5\0", 2), {}, {}, {}},
        {"2147483647", 2147483647.0, INT32_MAX, INT32_MAX},
        {"2147483648", 2147483648.0, {}, 2147483648LL}, {"-2147483648", {}, INT32_MIN, {}},
        {"-2147483649", {}, {}, {}}, {"9223372036854775807", 9223372036854775807.0, {}, INT64_MAX},
        {"+-1", {}, {}, {}}, {"-", {}, {}, {}}, {"١٢", {}, {}, {}}, {"1e-400", 0.0, {}, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("text \"" + r.text + "\"");
        std::optional<double> c = parseCoord(r.text);
        EXPECT_EQ(c, r.coord);
        EXPECT_EQ(c && std::signbit(*c), r.coord && std::signbit(*r.coord));
        EXPECT_EQ(parseDelta(r.text), r.delta);
        EXPECT_EQ(parsePositiveInt(r.text), r.positive);
    }
}

// A duration refuses what a coordinate takes only at its ends: zero, and
// past the bound.
TEST(Parsers, Seconds) {
    const std::pair<std::string, std::optional<double>> rows[] = {
        {"0.5", 0.5}, {"3600", 3600.0}, {"36e2", 3600.0}, {"0", {}}, {"-0", {}}, {"1e-400", {}},
        {"3600.001", {}}, {"-1", {}}, {"nan", {}}, {"inf", {}}, {" 1", {}}, {"1s", {}}, {"", {}},
    };
    for (const auto& [text, seconds] : rows) EXPECT_EQ(parseSeconds(text, 3600), seconds) << text;
}

TEST(Targeting, NameRules) {
    auto d = testDesktop();
    auto add = [&](int32_t pid, std::optional<std::string> bundle, std::optional<std::string> name) {
        RunningApplication a;
        a.processIdentifier = pid;
        a.bundleIdentifier = std::move(bundle);
        a.localizedName = std::move(name);
        d->addApp(a, d->element("other"));
    };
    add(401, "Finder", "Files");
    add(402, "org.example.finder", "Finder");
    add(601, "org.example.caf\u00E9", "Cafe Tool");
    add(801, std::nullopt, "Bare");
    const std::pair<std::string, int32_t> rows[] = {
        {"org.example.editeur", 101}, {"\u00C9diteur", 101}, {"editeur", 101}, {"EDITEUR", 101},
        {"org.example.twin", -1}, {"Finder", 401}, {"ORG.EXAMPLE.NOTES", -1}, {"NOTES", 42},
        {"Notes ", -1}, {"Note", -1}, {"org.example.helper", -1}, {"org.example.cafe\u0301", 601},
        {"bare", 801}, {"101", -1}, {"\xC9" "diteur", -1}, {"", 701}, {"\u0301", -1},
    };
    for (const auto& [name, pid] : rows) {
        std::optional<RunningApplication> found = resolveApp(*d, name);
        EXPECT_EQ(found ? found->processIdentifier : -1, pid) << "name \"" << name << "\"";
    }
    add(802, "org.example.blank", "");
    EXPECT_FALSE(resolveApp(*d, ""));  // two applications answer to the empty name
}

TEST(Targeting, FrontmostIsTheFirstActiveOfAnyPolicy) {
    auto d = testDesktop();
    d->app(42)->isActive = false;
    EXPECT_FALSE(frontmostApp(*d));
    d->app(502)->isActive = true;
    d->app(101)->isActive = true;
    EXPECT_EQ(frontmostApp(*d)->processIdentifier, 101);
}

TEST(Targeting, WindowIsAModalOneThenTheFocusedThenTheMainThenTheFirstChild) {
    auto d = testDesktop();
    Element app = d->find("notes"), draft = d->find("draft"), window = d->find("window");
    Element dialog = d->element("dialog", "AXWindow", "Save Document?");
    d->set(dialog, "AXModal", AttrValue::boolean(true));
    d->set(window, "AXModal", AttrValue::boolean(false));
    const auto windows = [&](std::vector<Element> list) {
        std::vector<AttrValue> items{AttrValue::plainText("x")};
        for (auto& e : list) items.push_back(AttrValue::elementRef(e));
        return AttrValue::array(std::move(items));
    };
    const struct {
        std::optional<AttrValue> focused, main, children, windows;
        const char* chosen;
    } rows[] = {
        // The document window is focused, a dialog in front of it is modal.
        {AttrValue::elementRef(window), std::nullopt, std::nullopt, windows({window, dialog}), "dialog"},
        {AttrValue::elementRef(window), std::nullopt, std::nullopt, windows({draft, window}), "window"},
        {std::nullopt, AttrValue::elementRef(draft), std::nullopt, AttrValue::plainText("w"), "draft"},
        {AttrValue::elementRef(draft), std::nullopt, std::nullopt, std::nullopt, "draft"},
        {std::nullopt, AttrValue::elementRef(draft), std::nullopt, std::nullopt, "draft"},
        {AttrValue::plainText("w"), AttrValue::elementRef(draft), std::nullopt, std::nullopt, "draft"},
        {AttrValue::other(), AttrValue::array({}),
         AttrValue::array({AttrValue::plainText("menu"), AttrValue::elementRef(nullptr),
                           AttrValue::elementRef(draft)}),
         std::nullopt, "draft"},
        {std::nullopt, std::nullopt, AttrValue::array({AttrValue::plainText("menu")}), std::nullopt, ""},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const auto& r : rows) {
        for (const char* attribute : {"AXFocusedWindow", "AXMainWindow", "AXChildren", "AXWindows"})
            d->unset(app, attribute);
        if (r.focused) d->set(app, "AXFocusedWindow", *r.focused);
        if (r.main) d->set(app, "AXMainWindow", *r.main);
        if (r.children) d->set(app, "AXChildren", *r.children);
        if (r.windows) d->set(app, "AXWindows", *r.windows);
        Element chosen = chosenWindow(*d, app);
        EXPECT_EQ(chosen ? d->nameOf(chosen) : "", r.chosen);
    }
}

// Every output line is one protocol line whatever an application puts in the
// fields it controls: valid UTF-8, no control or line-separating character,
// and the text's tail still on its own element's line.
TEST(LineProtocol, HostileTextsInEveryField) {
    const std::string texts[] = {
        "a\nNUVRA_END nodes=0 truncated=0 sha256=0\n", "a\rNUVRA_HIT x\r", "a\r\nNUVRA_WINDOW x\r\n",
        "a\xE2\x80\xA8NUVRA_OBSERVE app=x\xE2\x80\xA9", "a\xC2\x85NUVRA_END", std::string("a\0b", 3),
        "a\x0b\x0c\x1c\x1d\x1e\x1f", "\x1b[2J\x1b]0;x\x07", "a\xC2\x9B" "2J\xC2\x9C", "a|b||c|true|",
        "q\" b\\ s/ \\n", "\xFF\xFE\x80\xBF", "a\xC0\x8A\xE0\x80\x8A", "a\xED\xA0\x80",
        "a\xF4\x90\x80\x80\xF8\x88", "a\xE2\x80", "a\x85",
    };
    for (const std::string& hostile : texts) {
        const std::string text = hostile + "TAIL";
        auto d = testDesktop();
        d->app(42)->localizedName = text;
        d->setText(d->find("window"), "AXTitle", text);
        d->setText(d->find("ok"), "AXRole", text);
        d->setText(d->find("ok"), "AXSubrole", text);
        d->setText(d->find("delete"), "AXDescription", text);
        d->setText(d->find("text"), "AXValue", text);
        d->setElementAtPosition(d->find("ok"));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"observe", "100", "10", "100000"}, {"hit", "1", "1"}}) {
            RunOutput o;
            ASSERT_EQ(runMain(*d, args, o), 0);
            EXPECT_EQ(validUtf8(o.out), o.out);
            size_t lines = 0;
            for (size_t at = 0, end; at < o.out.size(); at = end + 1, ++lines) {
                end = o.out.find('\n', at);
                std::string line = o.out.substr(at, end - at);
                for (const char* breaks : {"\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"})
                    EXPECT_EQ(line.find(breaks), std::string::npos) << line;
                EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) { return c >= 0 && c < 0x20; }));
                // The lines of the toolbar, group, secret field and end carry no text.
                bool carries = args[0] == "hit" || std::string("1110011100").at(lines) == '1';
                EXPECT_EQ(line.find("TAIL") != std::string::npos, carries) << line;
            }
            EXPECT_EQ(lines, args[0] == "hit" ? 1u : 10u);
        }
    }
}

TEST(Utf8, ATextEndsWhereItsLengthSays) {
    // The bytes after the view complete the sequence; they are not the text's.
    EXPECT_EQ(validUtf8(std::string_view("\xE2\x82\xAC", 2)), "\uFFFD");
    EXPECT_EQ(lineSafe(std::string_view("a\xE2\x80\xA8", 3)), "a\uFFFD");
}

TEST(StateHash, StandardVectors) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace nuvra::testing
