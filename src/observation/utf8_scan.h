// Decoding of platform texts that may not be well-formed UTF-8. Accessibility
// servers hand over whatever bytes the observed application put there, so
// every text is read through this one decoder: each maximal ill-formed
// subsequence reads as one U+FFFD, the way the Unicode Standard recommends,
// so two programs that decode the same bytes see the same characters.
#pragma once

#include <cstddef>
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

}  // namespace nuvra::utf8
