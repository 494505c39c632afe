// Decoding of platform texts that may not be well-formed UTF-8. Accessibility
// servers hand over whatever bytes the observed application put there, so
// every text is read through this one decoder: each maximal ill-formed
// subsequence reads as one U+FFFD, the way the Unicode Standard recommends,
// so two programs that decode the same bytes see the same characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nuvra::utf8 {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the scalar value at the start of `p` (n >= 1 bytes). Returns the
// number of bytes it covers; `cp` is U+FFFD and `valid` false for an
// ill-formed sequence (then the count is its maximal subpart, at least 1).
inline size_t decodeOne(const unsigned char* p, size_t n, char32_t& cp, bool& valid) {
    const unsigned char b0 = p[0];
    valid = true;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t need;
    char32_t c;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        c = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;       // no overlong forms
        else if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        c = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;       // no overlong forms
        else if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        cp = kReplacement;
        valid = false;
        return 1;
    }
    size_t i = 1;
    for (; i <= need; ++i) {
        if (i >= n || p[i] < lo || p[i] > hi) {
            cp = kReplacement;
            valid = false;
            return i;
        }
        c = (c << 6) | (p[i] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    cp = c;
    return i;
}

// Appends the UTF-8 form of one scalar value.
inline void appendUtf8(std::string& out, char32_t cp) {
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

// The text as UTF-16 code units, each ill-formed sequence as one U+FFFD.
inline std::u16string utf16FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        bool valid;
        i += decodeOne(p + i, text.size() - i, cp, valid);
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            out.push_back(static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF)));
        }
    }
    return out;
}

}  // namespace nuvra::utf8
