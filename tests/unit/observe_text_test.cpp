#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/text.h"

namespace nuvra {
namespace {

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out.append(piece);
    return out;
}

const std::string kMark = "\xE2\x80\xA6";  // U+2026

struct SanitizeCase {
    const char* name;
    std::string in;
    int64_t max;
    std::string out;
};

TEST(ObserveSanitize, Table) {
    const std::string flagFr = "\U0001F1EB\U0001F1F7";
    const std::string flagDe = "\U0001F1E9\U0001F1EA";
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    const std::string thumb = "\U0001F44D\U0001F3FD";
    const std::string eAcute = "e\u0301";
    const std::vector<SanitizeCase> cases = {
        {"collapse and trim", "  Open\t\tRecent   files\n", 120, "Open Recent files"},
        {"empty", "", 120, ""},
        {"white space only", " \t\n \r\n", 120, ""},
        {"exactly max", repeat("a", 120), 120, repeat("a", 120)},
        {"one over max", repeat("a", 121), 120, repeat("a", 120) + kMark},
        {"cut before space", "Hello world", 5, "Hello" + kMark},
        {"space kept before mark", "abc def", 4, "abc " + kMark},
        {"max zero", "x", 0, kMark},
        {"max zero, blank", "   ", 0, ""},
        {"negative max reads as zero", "x", -3, kMark},
        {"every White_Space character",
         "a\t\n\v\f\r \u0085\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007"
         "\u2008\u2009\u200A\u2028\u2029\u202F\u205F\u3000b",
         120, "a b"},
        {"no-break and ideographic spaces", "\u3000Title\u00A0\u00A0 x\u3000", 120, "Title x"},
        {"zero width space is not white space", "a\u200B b", 120, "a\u200B b"},
        {"zero width space counts", "a\u200Bbc", 2, "a\u200B" + kMark},
        {"separators that are not White_Space stay", "a\x1C\x1D\x1E\x1F" "b", 120,
         "a\x1C\x1D\x1E\x1F" "b"},
        {"length counted after collapsing", "x" + repeat(" ", 200) + "y", 120, "x y"},
        {"three-byte script", repeat("\u65E5", 121), 120, repeat("\u65E5", 120) + kMark},
        {"flags kept whole", flagFr + flagDe + flagFr, 2, flagFr + flagDe + kMark},
        {"flag at the cut dropped whole", flagFr + flagDe, 1, flagFr + kMark},
        {"combining accents kept whole", eAcute + eAcute + eAcute, 2, eAcute + eAcute + kMark},
        {"combining accents within bound", eAcute + eAcute, 2, eAcute + eAcute},
        {"zwj emoji is one character", family + "x", 1, family + kMark},
        {"skin tone modifier", thumb + thumb, 1, thumb + kMark},
        {"ill-formed bytes replaced", "a\xFF" "b", 120, "a\uFFFD" "b"},
        {"ill-formed bytes count as characters", "\xFF\xFE\xFD", 2, "\uFFFD\uFFFD" + kMark},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(observeSanitize(c.in, c.max), c.out);
    }
}

TEST(ObserveSanitize, DefaultBoundIs120Characters) {
    EXPECT_EQ(observeSanitize(repeat("b", 121)), repeat("b", 120) + kMark);
    EXPECT_EQ(observeSanitize(repeat("b", 120)), repeat("b", 120));
}

struct QuoteCase {
    const char* name;
    std::string in;
    std::string out;
};

TEST(ObserveJsonString, Table) {
    const std::vector<QuoteCase> cases = {
        {"plain", "Save as", "\"Save as\""},
        {"solidus", "a/b", "\"a\\/b\""},
        {"quotation mark", "say \"hi\"", "\"say \\\"hi\\\"\""},
        {"reverse solidus", "C:\\dir", "\"C:\\\\dir\""},
        {"non-ASCII as is", "Gr\u00FC\u00DFe", "\"Gr\u00FC\u00DFe\""},
        {"empty", "", "\"\""},
        {"short escapes", "\n\r\t", "\"\\n\\r\\t\""},
        {"other controls", std::string("a\0b\x01\x1f\x1b", 6), "\"a\\u0000b\\u0001\\u001f\\u001b\""},
        {"DEL and C1 unescaped", "\x7F\u0085", "\"\x7F\u0085\""},
        {"line separators unescaped", "\u2028\u2029", "\"\u2028\u2029\""},
        {"emoji", "\U0001F600", "\"\U0001F600\""},
        {"ill-formed bytes replaced", "\xC0\xAF", "\"\uFFFD\uFFFD\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string quoted = observeJsonString(c.in);
        EXPECT_EQ(quoted, c.out);
        EXPECT_EQ(quoted.find_first_of("\n\r"), std::string::npos);
    }
}

TEST(ValidUtf8, ReplacesEachMaximalIllFormedSubpart) {
    const std::vector<QuoteCase> cases = {
        {"well formed", "a\u00E9\u65E5\U0001F600", "a\u00E9\u65E5\U0001F600"},
        {"stray continuation", "\x80x", "\uFFFDx"},
        {"truncated three-byte", "\xE2\x80", "\uFFFD"},
        {"truncated four-byte then ASCII", "\xF0\x9F\x98z", "\uFFFDz"},
        {"surrogate", "\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
        {"overlong", "\xC0\xAF", "\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"invalid lead bytes", "\xF5\xFF", "\uFFFD\uFFFD"},
        {"embedded NUL kept", std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(validUtf8(c.in), c.out);
    }
}

TEST(LineSafe, EveryLineBreakingCharacterBecomesOneSpace) {
    const std::vector<QuoteCase> cases = {
        {"plain", "Notes", "Notes"},
        {"forged end line", "x\nNUVRA_END nodes=1", "x NUVRA_END nodes=1"},
        {"CR LF is two spaces", "a\r\nb", "a  b"},
        {"C0 controls", std::string("\0\x1b\x1c\x1f", 4), "    "},
        {"DEL and C1", "\x7F\u0085\u009F", "   "},
        {"line and paragraph separators", "a\u2028b\u2029c", "a b c"},
        {"other spaces stay", "a\u00A0b\u3000c\tz", "a\u00A0b\u3000c z"},
        {"ill-formed bytes replaced", "a\xFF", "a\uFFFD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lineSafe(c.in), c.out);
    }
}

}  // namespace
}  // namespace nuvra
