// One owned Core Foundation reference. Adopt what a Create or Copy call
// returned (the caller already owns it); retain what a Get call returned
// before keeping it. Copies retain, destruction releases, so no call site
// counts references by hand.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <utility>

namespace nuvra::macos {

template <typename Ref>
class CFHandle {
public:
    CFHandle() = default;

    static CFHandle adopt(Ref ref) {
        CFHandle handle;
        handle.ref_ = ref;
        return handle;
    }
    static CFHandle retain(Ref ref) {
        if (ref) CFRetain(ref);
        return adopt(ref);
    }

    CFHandle(const CFHandle& other) : ref_(other.ref_) {
        if (ref_) CFRetain(ref_);
    }
    CFHandle(CFHandle&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    CFHandle& operator=(CFHandle other) noexcept {
        std::swap(ref_, other.ref_);
        return *this;
    }
    ~CFHandle() {
        if (ref_) CFRelease(ref_);
    }

    Ref get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

private:
    Ref ref_ = nullptr;
};

}  // namespace nuvra::macos
