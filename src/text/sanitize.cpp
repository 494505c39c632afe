#include "text/text.h"

#include <utf8proc.h>

#include <limits>

#include "text/text_append.h"
#include "text/utf8.h"

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

bool isC1(char32_t cp) { return cp >= 0x80 && cp <= 0x9F; }

bool breaksLine(char32_t cp) {
    return cp < 0x20 || cp == 0x7F || isC1(cp) || cp == 0x2028 || cp == 0x2029;
}

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026
constexpr std::string_view kReplacementBytes = "\xEF\xBF\xBD";

// End of the longest run from `i` of well-formed characters that `keep`
// accepts; such runs are copied as they are, in one piece.
template <typename Keep>
size_t plainRun(const unsigned char* p, size_t n, size_t i, Keep keep) {
    while (i < n) {
        if (p[i] < 0x80) {
            if (!keep(char32_t{p[i]})) break;
            ++i;
            continue;
        }
        char32_t cp;
        bool valid;
        size_t len = utf8::decodeOne(p + i, n - i, cp, valid);
        if (!valid || !keep(cp)) break;
        i += len;
    }
    return i;
}

// Walks `text` as runs that `keep` accepts, copied whole, and single other
// characters handed to `other` (an ill-formed sequence as U+FFFD, with
// `bytes` then the replacement character's).
template <typename Keep, typename Run, typename Other>
void scan(std::string_view text, Keep keep, Run run, Other other) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        size_t j = plainRun(p, n, i, keep);
        if (j > i) {
            run(text.substr(i, j - i));
            i = j;
            if (i == n) break;
        }
        char32_t cp;
        bool valid;
        size_t len = utf8::decodeOne(p + i, n - i, cp, valid);
        other(cp, valid ? text.substr(i, len) : kReplacementBytes);
        i += len;
    }
}

// A character is an extended grapheme cluster, except that one cluster
// counts as a new character after every 31 code points: a base and the 30
// marks Unicode's stream-safe text format allows after it. Clusters have no
// length limit of their own (a letter with endless marks, endless joined
// pictographs), and a cut must bound bytes, not only clusters.
constexpr int kCharacterCodePoints = 31;

// Byte length of the first `max` characters of the well-formed `text`, or
// npos when it holds no more than `max` of them.
size_t clusterPrefix(std::string_view text, int64_t max) {
    // Between two ASCII characters there is always a cluster break (CR LF
    // aside, and sanitised text holds no CR), so an ASCII stretch that
    // reaches past the cut needs no segmentation.
    if (text.size() > static_cast<uint64_t>(max)) {
        bool ascii = true;
        for (size_t k = 0; k <= static_cast<size_t>(max) && ascii; ++k)
            ascii = static_cast<unsigned char>(text[k]) < 0x80;
        if (ascii) return static_cast<size_t>(max);
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t at = 0;
    int64_t clusters = 0;
    int codePoints = 0;  // of the character so far
    utf8proc_int32_t state = 0;
    char32_t previous = 0;
    while (at < n) {
        char32_t cp;
        bool valid;
        size_t len = utf8::decodeOne(p + at, n - at, cp, valid);
        const bool breaks = utf8proc_grapheme_break_stateful(
            static_cast<utf8proc_int32_t>(previous), static_cast<utf8proc_int32_t>(cp), &state);
        if (at == 0 || breaks || codePoints == kCharacterCodePoints) {
            if (clusters == max) return at;
            ++clusters;
            codePoints = 0;
        }
        ++codePoints;
        previous = cp;
        at += len;
    }
    return std::string_view::npos;
}

// Calls `boundary(at)` at the start of every character after the first, and
// at the end, until it answers false.
template <typename Boundary>
void eachCharacterEnd(std::string_view text, Boundary boundary) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    int codePoints = 0;
    utf8proc_int32_t state = 0;
    char32_t previous = 0;
    for (size_t at = 0; at < n;) {
        char32_t cp;
        bool valid;
        size_t len = utf8::decodeOne(p + at, n - at, cp, valid);
        const bool breaks = utf8proc_grapheme_break_stateful(
            static_cast<utf8proc_int32_t>(previous), static_cast<utf8proc_int32_t>(cp), &state);
        if (at > 0 && (breaks || codePoints == kCharacterCodePoints)) {
            if (!boundary(at)) return;
            codePoints = 0;
        }
        ++codePoints;
        previous = cp;
        at += len;
    }
    boundary(n);
}

// Keeps at most `max` characters of what `out` holds from `base` on, marking
// a cut with "…".
void cut(std::string& out, size_t base, int64_t max) {
    if (max < 0) max = 0;
    // Every character takes at least one byte, so a text within `max` bytes
    // is within `max` characters and need not be segmented.
    const std::string_view result = std::string_view(out).substr(base);
    if (result.size() <= static_cast<uint64_t>(max)) return;
    size_t at = clusterPrefix(result, max);
    if (at == std::string_view::npos) return;
    out.resize(base + at);
    out.append(kEllipsis);
}

}  // namespace

namespace textAppend {

void sanitized(std::string& out, std::string_view text, int64_t max) {
    const size_t base = out.size();
    // One pass does both the collapse and the trim: a white-space run becomes
    // a pending space, written only when something follows it, and never at
    // the start.
    bool pendingSpace = false;
    auto emit = [&](std::string_view bytes) {
        if (pendingSpace) out.push_back(' ');
        pendingSpace = false;
        out.append(bytes);
    };
    scan(
        text, [](char32_t cp) { return cp != 0x20 && !isWhiteSpace(cp); }, emit,
        [&](char32_t cp, std::string_view bytes) {
            if (isWhiteSpace(cp)) pendingSpace = out.size() > base;
            else emit(bytes);
        });
    cut(out, base, max);
}

void jsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    scan(
        text,
        [](char32_t cp) {
            return cp >= 0x20 && cp != '"' && cp != '\\' && cp != '/' && !isC1(cp) &&
                   cp != 0x2028 && cp != 0x2029;
        },
        [&](std::string_view run) { out.append(run); },
        [&](char32_t cp, std::string_view bytes) {
            switch (cp) {
                case '"': out.append("\\\""); return;
                case '\\': out.append("\\\\"); return;
                case '/': out.append("\\/"); return;
                case '\n': out.append("\\n"); return;
                case '\r': out.append("\\r"); return;
                case '\t': out.append("\\t"); return;
                default: break;
            }
            // C1 controls too: U+009B is a terminal's control sequence
            // introducer, wherever the text is shown.
            if (cp < 0x20 || isC1(cp)) {
                out.append("\\u00");
                out.push_back(kHex[cp >> 4]);
                out.push_back(kHex[cp & 15]);
                return;
            }
            // A whole text keeps its line breaks; these two end a line for
            // many readers of JSON.
            if (cp == 0x2028 || cp == 0x2029) {
                out.append(cp == 0x2028 ? "\\u2028" : "\\u2029");
                return;
            }
            out.append(bytes);  // U+FFFD for an ill-formed sequence
        });
    out.push_back('"');
}

void lineSafe(std::string& out, std::string_view text, int64_t max) {
    const size_t base = out.size();
    scan(
        text, [](char32_t cp) { return !breaksLine(cp); },
        [&](std::string_view run) { out.append(run); },
        [&](char32_t cp, std::string_view bytes) {
            if (breaksLine(cp)) out.push_back(' ');
            else out.append(bytes);
        });
    cut(out, base, max);
}

}  // namespace textAppend

std::string observeSanitize(std::string_view text, int64_t max) {
    std::string out;
    out.reserve(text.size());
    textAppend::sanitized(out, text, max);
    return out;
}

std::string observeJsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    textAppend::jsonString(out, text);
    return out;
}

size_t characterPrefixWithin(std::string_view text, int64_t maxBytes) {
    if (maxBytes < 0) return 0;
    if (text.size() <= static_cast<uint64_t>(maxBytes)) return text.size();
    size_t kept = 0;
    eachCharacterEnd(text, [&](size_t at) {
        if (at > static_cast<uint64_t>(maxBytes)) return false;
        kept = at;
        return true;
    });
    return kept;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    scan(
        text, [](char32_t) { return true; }, [&](std::string_view run) { out.append(run); },
        [&](char32_t, std::string_view bytes) { out.append(bytes); });
    return out;
}

std::string cutToCharacters(std::string_view text, int64_t max) {
    std::string out = validUtf8(text);
    cut(out, 0, max);
    return out;
}

std::string lineSafe(std::string_view text, int64_t max) {
    std::string out;
    textAppend::lineSafe(out, text, max);
    return out;
}

std::string lineSafe(std::string_view text) {
    return lineSafe(text, std::numeric_limits<int64_t>::max());
}

}  // namespace nuvra
