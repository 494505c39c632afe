#include "text/fold.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

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

constexpr int kFolding = UTF8PROC_DECOMPOSE | UTF8PROC_CASEFOLD | UTF8PROC_STRIPMARK;

// A text folded one code point at a time. With marks stripped, canonical
// reordering (which moves only marks) has nothing left to move, so folding
// the whole text is folding each code point in turn; two texts then compare
// as far as they agree, and an application's name of fifty megabytes costs
// a comparison with a typed name a few code points, not a folded copy of
// itself four bytes wide per character.
class Folding {
public:
    explicit Folding(std::string_view s)
        : at_(reinterpret_cast<const utf8proc_uint8_t*>(s.data())),
          left_(static_cast<utf8proc_ssize_t>(s.size())) {}

    // The next folded code point; false at the end, or for ill-formed UTF-8
    // (then bad()).
    bool next(utf8proc_int32_t& out) {
        while (taken_ == folded_.size()) {
            if (left_ == 0 || bad_) return false;
            utf8proc_int32_t code = 0;
            utf8proc_ssize_t used = utf8proc_iterate(at_, left_, &code);
            if (used <= 0) return fail();
            at_ += used;
            left_ -= used;
            folded_.resize(folded_.capacity());
            int boundary = 0;
            auto n = utf8proc_decompose_char(code, folded_.data(), static_cast<utf8proc_ssize_t>(folded_.size()),
                                             static_cast<utf8proc_option_t>(kFolding), &boundary);
            if (n > static_cast<utf8proc_ssize_t>(folded_.size())) {
                folded_.resize(static_cast<size_t>(n));
                n = utf8proc_decompose_char(code, folded_.data(), n, static_cast<utf8proc_option_t>(kFolding),
                                            &boundary);
            }
            if (n < 0) return fail();
            folded_.resize(static_cast<size_t>(n));
            taken_ = 0;
        }
        out = folded_[taken_++];
        return true;
    }
    bool bad() const { return bad_; }

private:
    bool fail() {
        bad_ = true;
        return false;
    }
    const utf8proc_uint8_t* at_;
    utf8proc_ssize_t left_;
    std::vector<utf8proc_int32_t> folded_ = std::vector<utf8proc_int32_t>(8);
    size_t taken_ = 0;
    bool bad_ = false;
};

}  // namespace

std::optional<std::string> canonicallyComposed(std::string_view text) {
    return mapped(text, UTF8PROC_STABLE | UTF8PROC_COMPOSE);
}

bool foldedEqual(std::string_view a, std::string_view b) {
    Folding fa(a), fb(b);
    utf8proc_int32_t ca = 0, cb = 0;
    for (;;) {
        const bool moreA = fa.next(ca), moreB = fb.next(cb);
        if (!moreA || !moreB) return !moreA && !moreB && !fa.bad() && !fb.bad();
        if (ca != cb) return false;
    }
}

}  // namespace nuvra
