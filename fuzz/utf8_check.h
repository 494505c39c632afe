// Strict UTF-8 decoding for the fuzz targets' own checks, independent of the
// decoder under test.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace fuzzcheck {

// The code points of a well-formed text, or false when it is ill-formed.
inline bool decode(std::string_view s, std::vector<char32_t>& out) {
    out.clear();
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c >> 6) != 2) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        out.push_back(cp);
        i += len;
    }
    return true;
}

}  // namespace fuzzcheck
