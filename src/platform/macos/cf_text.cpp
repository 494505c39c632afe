// Text crosses the platform boundary as UTF-16 code units: reading with
// CFStringGetCharacters and creating with CFStringCreateWithCharacters never
// fails on content, so the only repairs are the ones made here, visibly.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/macos/macos_backend.h"
#include "text/utf8.h"

namespace nuvra::macos {

namespace {

bool isHighSurrogate(UniChar u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(UniChar u) { return u >= 0xDC00 && u <= 0xDFFF; }

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
            utf8::appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            utf8::appendUtf8(out, utf8::kReplacement);
        } else {
            utf8::appendUtf8(out, u);
        }
    }
    return out;
}

CFHandle<CFStringRef> cfStringFromUtf8(std::string_view text) {
    // Ill-formed input becomes U+FFFD per maximal subpart, as everywhere.
    const std::u16string units = utf8::utf16FromUtf8(text);
    // data() is a valid pointer even for the empty text.
    return CFHandle<CFStringRef>::adopt(CFStringCreateWithCharacters(
        kCFAllocatorDefault, reinterpret_cast<const UniChar*>(units.data()),
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
