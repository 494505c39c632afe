#include "cli/parsers.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace nuvra {

namespace {

// Digits with an optional leading sign, accumulated towards the sign so that
// the most negative value is reachable; any overflow refuses the text.
template <typename Int>
bool parseInteger(std::string_view text, Int& out) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;
    Int value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return false;
        Int digit = static_cast<Int>(c - '0');
        if (__builtin_mul_overflow(value, Int{10}, &value)) return false;
        bool overflow = negative ? __builtin_sub_overflow(value, digit, &value)
                                 : __builtin_add_overflow(value, digit, &value);
        if (overflow) return false;
    }
    out = value;
    return true;
}

bool isLeadingSpace(unsigned char c) {
    return c == 0 || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ';
}

// A finite number that is the whole text, as strtod reads it.
std::optional<double> parseFinite(std::string_view text) {
    if (text.empty() || isLeadingSpace(static_cast<unsigned char>(text[0]))) return std::nullopt;
    // The process never calls setlocale, so strtod reads the "C" locale: the
    // decimal separator is always the full stop. An embedded NUL ends the
    // conversion early and so refuses the text.
    std::string copy(text);
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    // ERANGE is ignored on purpose: an overflow is caught as infinite below,
    // and an underflow (1e-400) is a well-formed zero.
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> parseCoord(std::string_view text) {
    std::optional<double> value = parseFinite(text);
    if (!value || *value < 0) return std::nullopt;
    return value;
}

std::optional<double> parseSeconds(std::string_view text, double most) {
    std::optional<double> value = parseFinite(text);
    if (!value || !(*value > 0) || *value > most) return std::nullopt;
    return value;
}

std::optional<int32_t> parseDelta(std::string_view text) {
    int32_t value = 0;
    if (!parseInteger(text, value)) return std::nullopt;
    return value;
}

std::optional<int64_t> parsePositiveInt(std::string_view text) {
    int64_t value = 0;
    if (!parseInteger(text, value) || value < 1) return std::nullopt;
    return value;
}

}  // namespace nuvra
