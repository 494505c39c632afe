// Every quoted text is one JSON string literal (RFC 8259) on one line, with
// no raw control character (C0 or C1), and decoding it gives back the text
// (ill-formed input as its U+FFFD repair).
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/utf8_check.h"
#include "text/text.h"

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// A strict decoder of one JSON string literal; false when it is not one.
bool decodeLiteral(const std::string& literal, std::string& out) {
    std::vector<char32_t> cps;
    if (!fuzzcheck::decode(literal, cps)) return false;
    if (cps.size() < 2 || cps.front() != '"' || cps.back() != '"') return false;
    out.clear();
    for (size_t i = 1; i + 1 < cps.size(); ++i) {
        char32_t c = cps[i];
        if (c == '"' || c < 0x20 || (c >= 0x80 && c <= 0x9F)) return false;
        if (c != '\\') {
            appendUtf8(out, c);
            continue;
        }
        // Content ends before the closing quote at n - 1.
        const size_t n = cps.size();
        if (++i >= n - 1) return false;
        switch (cps[i]) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u': {
                if (i + 4 >= n - 1) return false;
                char32_t v = 0;
                for (int k = 1; k <= 4; ++k) {
                    char32_t h = cps[i + k];
                    int d = h >= '0' && h <= '9' ? int(h - '0')
                            : h >= 'a' && h <= 'f' ? int(h - 'a' + 10)
                            : h >= 'A' && h <= 'F' ? int(h - 'A' + 10) : -1;
                    if (d < 0) return false;
                    v = v * 16 + static_cast<char32_t>(d);
                }
                if (v >= 0xD800 && v <= 0xDFFF) return false;  // never needed here
                appendUtf8(out, v);
                i += 4;
                break;
            }
            default: return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string literal = nuvra::observeJsonString(text);
    if (literal.find('\n') != std::string::npos || literal.find('\r') != std::string::npos)
        std::abort();
    if (text.find('/') != std::string::npos && literal.find("\\/") == std::string::npos)
        std::abort();
    std::string decoded;
    if (!decodeLiteral(literal, decoded)) std::abort();
    if (decoded != nuvra::validUtf8(text)) std::abort();
    return 0;
}
