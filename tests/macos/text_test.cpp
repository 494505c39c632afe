// Text across the boundary: UTF-8 into platform strings (with the repair of
// ill-formed input) and the case- and diacritic-insensitive comparison.
#include <string>
#include <vector>

#include "standin_fixture.h"

namespace nuvra::macos::testing {
namespace {

using PlatformText = StandinTest;
using Calls = std::vector<std::string>;

#define FFFD "\xEF\xBF\xBD"

struct Utf8Case {
    const char* name;
    std::string input;
    std::string expected;
};

TEST_F(PlatformText, Utf8BecomesAPlatformStringWithMaximalSubpartsReplaced) {
    const Utf8Case cases[] = {
        {"ASCII", "AXValue", "AXValue"},
        {"empty", "", ""},
        {"two, three and four bytes", "\xC3\xA9\xE2\x80\xA6\xF0\x9F\x91\x8D",
         "\xC3\xA9\xE2\x80\xA6\xF0\x9F\x91\x8D"},
        {"embedded NUL", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"stray continuation", "a\x80z", "a" FFFD "z"},
        {"invalid lead bytes", "\xC0\xAF\xFF", FFFD FFFD FFFD},
        {"overlong three-byte form", "\xE0\x80\xAF", FFFD FFFD FFFD},
        {"encoded surrogate", "\xED\xA0\x80", FFFD FFFD FFFD},
        {"truncated four-byte sequence", "\xF0\x9F\x91", FFFD},
        {"truncated then ASCII", "\xE2\x82" "x", FFFD "x"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", FFFD FFFD FFFD FFFD},
        {"largest scalar", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
    };
    for (const Utf8Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CFHandle<CFStringRef> string = cfStringFromUtf8(c.input);
        ASSERT_TRUE(string);
        EXPECT_EQ(standin::textOf(string.get()), c.expected);
        EXPECT_EQ(utf8FromCFString(string.get()), c.expected);
    }
}

struct CompareCase {
    const char* a;
    const char* b;
    bool equal;
};

TEST_F(PlatformText, ComparisonIgnoresCaseAndDiacriticsOverWholeTexts) {
    const CompareCase cases[] = {
        {"\xC3\x89" "diteur", "editeur", true},
        {"TextEdit", "textedit", true},
        {"Notes", " Notes", false},
        {"Notes", "Note", false},
        {"", "", true},
        {"com.apple.Notes", "COM.APPLE.NOTES", true},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        standin::clearCalls();
        EXPECT_EQ(platform->equalIgnoringCaseAndDiacritics(c.a, c.b), c.equal);
        EXPECT_EQ(standin::calls(), (Calls{"CFStringCompare \"" + std::string(c.a) + "\" \"" +
                                           c.b + "\" flags=129"}));
    }
}

}  // namespace
}  // namespace nuvra::macos::testing
