#include "text/fold.h"

#include <cstdlib>
#include <optional>
#include <string>

#include <utf8proc.h>

namespace nuvra {

namespace {

std::optional<std::string> mapped(std::string_view s, int options) {
    utf8proc_uint8_t* out = nullptr;
    utf8proc_ssize_t n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(s.data()),
                                      static_cast<utf8proc_ssize_t>(s.size()), &out,
                                      static_cast<utf8proc_option_t>(options));
    if (n < 0) return std::nullopt;
    std::string result(reinterpret_cast<char*>(out), static_cast<size_t>(n));
    std::free(out);
    return result;
}

std::optional<std::string> folded(std::string_view s) {
    return mapped(s, UTF8PROC_DECOMPOSE | UTF8PROC_CASEFOLD | UTF8PROC_STRIPMARK);
}

}  // namespace

std::optional<std::string> canonicallyComposed(std::string_view text) {
    return mapped(text, UTF8PROC_STABLE | UTF8PROC_COMPOSE);
}

bool foldedEqual(std::string_view a, std::string_view b) {
    auto fa = folded(a);
    auto fb = folded(b);
    return fa && fb && *fa == *fb;
}

}  // namespace nuvra
