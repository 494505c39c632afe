// Whatever the input, a sanitised text is valid UTF-8, holds no white-space
// run and no white space but single spaces, has none at either end, has at
// most max + 1 grapheme clusters, and takes at most 124 bytes for each of
// its max characters, plus the mark.
#include <utf8proc.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/utf8_check.h"
#include "text/text.h"

namespace {

bool whiteSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    int64_t max = data[0] % 130;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string out = nuvra::observeSanitize(text, max);

    std::vector<char32_t> cps;
    if (!fuzzcheck::decode(out, cps)) std::abort();
    if (!cps.empty() && (whiteSpace(cps.front()) || whiteSpace(cps.back()))) std::abort();
    for (size_t i = 0; i < cps.size(); ++i) {
        if (whiteSpace(cps[i]) && cps[i] != ' ') std::abort();
        if (i > 0 && cps[i] == ' ' && cps[i - 1] == ' ') std::abort();
    }
    int64_t clusters = 0;
    utf8proc_int32_t state = 0;
    for (size_t i = 0; i < cps.size(); ++i)
        if (i == 0 || utf8proc_grapheme_break_stateful(static_cast<utf8proc_int32_t>(cps[i - 1]),
                                                       static_cast<utf8proc_int32_t>(cps[i]), &state))
            ++clusters;
    if (clusters > max + 1) std::abort();
    if (out.size() > static_cast<size_t>(max) * 124 + 3) std::abort();
    // Sanitising is idempotent for texts that were not cut.
    if (clusters <= max && nuvra::observeSanitize(out, max) != out) std::abort();
    return 0;
}
