#include "observation/text.h"

#include <utf8proc.h>

#include "observation/utf8_scan.h"

namespace nuvra {

namespace {

// The White_Space property, all 25 code points. U+200B is deliberately not
// among them: it is a format character and stays in the text.
bool isWhiteSpace(char32_t cp) {
    if (cp <= 0x20) return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D);
    if (cp < 0x85) return false;
    if (cp == 0x85 || cp == 0xA0 || cp == 0x1680) return true;
    if (cp >= 0x2000 && cp <= 0x200A) return true;
    return cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026

// Byte length of the first `max` extended grapheme clusters of a well-formed
// `text`, or npos when it holds no more than `max` of them.
size_t clusterPrefix(std::string_view text, int64_t max) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    size_t at = 0;
    int64_t clusters = 0;
    utf8proc_int32_t state = 0;
    char32_t previous = 0;
    while (at < n) {
        char32_t cp;
        bool valid;
        size_t len = utf8::decodeOne(p + at, n - at, cp, valid);
        if (at == 0 || utf8proc_grapheme_break_stateful(static_cast<utf8proc_int32_t>(previous),
                                                        static_cast<utf8proc_int32_t>(cp),
                                                        &state)) {
            if (clusters == max) return at;
            ++clusters;
        }
        previous = cp;
        at += len;
    }
    return std::string_view::npos;
}

}  // namespace

std::string observeSanitize(std::string_view text, int64_t max) {
    if (max < 0) max = 0;
    std::string out;
    out.reserve(text.size());
    // One pass does both the collapse and the trim: a white-space run becomes
    // a pending space, written only when something follows it, and never at
    // the start.
    bool pendingSpace = false;
    utf8::forEachScalar(text, [&](char32_t cp, std::string_view bytes) {
        if (isWhiteSpace(cp)) {
            pendingSpace = !out.empty();
            return;
        }
        if (pendingSpace) {
            out.push_back(' ');
            pendingSpace = false;
        }
        out.append(bytes);
    });
    // Every cluster takes at least one byte, so a text within `max` bytes is
    // within `max` clusters and need not be segmented.
    if (out.size() <= static_cast<uint64_t>(max)) return out;
    size_t cut = clusterPrefix(out, max);
    if (cut == std::string_view::npos) return out;
    out.resize(cut);
    out.append(kEllipsis);
    return out;
}

std::string observeJsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    utf8::forEachScalar(text, [&](char32_t cp, std::string_view bytes) {
        switch (cp) {
            case '"': out.append("\\\""); return;
            case '\\': out.append("\\\\"); return;
            case '/': out.append("\\/"); return;
            case '\n': out.append("\\n"); return;
            case '\r': out.append("\\r"); return;
            case '\t': out.append("\\t"); return;
            default: break;
        }
        if (cp < 0x20) {
            out.append("\\u00");
            out.push_back(kHex[cp >> 4]);
            out.push_back(kHex[cp & 15]);
            return;
        }
        out.append(bytes);
    });
    out.push_back('"');
    return out;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    utf8::forEachScalar(text, [&](char32_t, std::string_view bytes) { out.append(bytes); });
    return out;
}

std::string lineSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    utf8::forEachScalar(text, [&](char32_t cp, std::string_view bytes) {
        bool breaksLine = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 ||
                          cp == 0x2029;
        if (breaksLine) out.push_back(' ');
        else out.append(bytes);
    });
    return out;
}

}  // namespace nuvra
