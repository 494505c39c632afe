// Text crosses the platform boundary as UTF-16 code units: reading with
// CFStringGetCharacters and creating with CFStringCreateWithCharacters never
// fails on content, so the only repairs are the ones made here, visibly.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/macos/macos_backend.h"

namespace nuvra::macos {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendUtf16(std::vector<UniChar>& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<UniChar>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<UniChar>(0xD800 | (cp >> 10)));
        out.push_back(static_cast<UniChar>(0xDC00 | (cp & 0x3FF)));
    }
}

bool isHighSurrogate(UniChar u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(UniChar u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Well-formed sequences as in Unicode's table of UTF-8 byte sequences. Text
// from the command line can be ill-formed; each maximal subpart of an
// ill-formed sequence becomes one U+FFFD, the substitution Unicode recommends.
std::vector<UniChar> utf16FromUtf8(std::string_view text) {
    std::vector<UniChar> out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char lead = s[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        int needed = 0;
        char32_t cp = 0;
        unsigned char firstLow = 0x80;
        unsigned char firstHigh = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            needed = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            needed = 2;
            cp = lead & 0x0F;
            if (lead == 0xE0) firstLow = 0xA0;   // no overlong forms
            if (lead == 0xED) firstHigh = 0x9F;  // no encoded surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            needed = 3;
            cp = lead & 0x07;
            if (lead == 0xF0) firstLow = 0x90;
            if (lead == 0xF4) firstHigh = 0x8F;  // nothing above U+10FFFF
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        int taken = 0;
        while (taken < needed && j < n) {
            const unsigned char c = s[j];
            const unsigned char low = taken == 0 ? firstLow : 0x80;
            const unsigned char high = taken == 0 ? firstHigh : 0xBF;
            if (c < low || c > high) break;
            cp = (cp << 6) | (c & 0x3F);
            ++j;
            ++taken;
        }
        appendUtf16(out, taken == needed ? cp : kReplacement);
        i = j;
    }
    return out;
}

}  // namespace

std::string utf8FromCFString(CFStringRef string) {
    const CFIndex length = CFStringGetLength(string);
    if (length <= 0) return {};
    std::vector<UniChar> units(static_cast<size_t>(length));
    CFStringGetCharacters(string, CFRangeMake(0, length), units.data());
    std::string out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        const UniChar u = units[i];
        if (isHighSurrogate(u) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

CFHandle<CFStringRef> cfStringFromUtf8(std::string_view text) {
    const std::vector<UniChar> units = utf16FromUtf8(text);
    static const UniChar kNone = 0;  // a valid pointer even for the empty text
    return CFHandle<CFStringRef>::adopt(CFStringCreateWithCharacters(
        kCFAllocatorDefault, units.empty() ? &kNone : units.data(),
        static_cast<CFIndex>(units.size())));
}

bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) {
    const CFHandle<CFStringRef> first = cfStringFromUtf8(a);
    const CFHandle<CFStringRef> second = cfStringFromUtf8(b);
    if (!first || !second) return false;
    return CFStringCompare(first.get(), second.get(),
                           kCFCompareCaseInsensitive | kCFCompareDiacriticInsensitive) ==
           kCFCompareEqualTo;
}

}  // namespace nuvra::macos
