// The three argument parsers against references built another way: coord
// against the C library's strtod_l in an explicit "C" locale, the integer
// parsers against digit-string comparison with the range bounds.
#include <locale.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "cli/parsers.h"

namespace {

std::optional<double> referenceCoord(const std::string& text) {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (text.empty()) return std::nullopt;
    unsigned char first = static_cast<unsigned char>(text[0]);
    if (first == 0 || first == ' ' || (first >= 9 && first <= 13)) return std::nullopt;
    char* end = nullptr;
    double v = strtod_l(text.c_str(), &end, c);
    if (static_cast<size_t>(end - text.c_str()) != text.size()) return std::nullopt;
    if (!std::isfinite(v) || v < 0) return std::nullopt;  // -0 passes
    return v;
}

// Sign and magnitude as digit strings, compared with the bounds as text.
std::optional<__int128> referenceInteger(std::string_view text, std::string_view maxPositive,
                                         std::string_view maxNegative) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (char ch : text)
        if (ch < '0' || ch > '9') return std::nullopt;
    while (text.size() > 1 && text[0] == '0') text.remove_prefix(1);
    std::string_view bound = negative ? maxNegative : maxPositive;
    if (text.size() > bound.size() || (text.size() == bound.size() && text > bound))
        return std::nullopt;
    __int128 v = 0;
    for (char ch : text) v = v * 10 + (ch - '0');
    return negative ? -v : v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);

    auto got = nuvra::parseCoord(text);
    auto want = referenceCoord(text);
    if (got.has_value() != want.has_value()) std::abort();
    if (got && (*got != *want || std::signbit(*got) != std::signbit(*want))) std::abort();

    auto d = nuvra::parseDelta(text);
    auto dr = referenceInteger(text, "2147483647", "2147483648");
    if (d.has_value() != dr.has_value() || (d && *d != *dr)) std::abort();

    auto p = nuvra::parsePositiveInt(text);
    auto pr = referenceInteger(text, "9223372036854775807", "9223372036854775808");
    if (pr && *pr < 1) pr.reset();
    if (p.has_value() != pr.has_value() || (p && *p != *pr)) std::abort();
    return 0;
}
