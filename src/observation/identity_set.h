// The set of element identities a walk has visited. A walk inserts once per
// element it meets, so this is on the hot path of every observation: open
// addressing over one flat table, instead of a node allocation per element.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "text/hash.h"

namespace nuvra {

class IdentitySet {
public:
    // True when `key` was not in the set yet (it is now).
    bool insert(uint64_t key) {
        // 0 marks an empty slot, so the identity 0 is kept apart.
        if (key == 0) {
            bool fresh = !hasZero_;
            hasZero_ = true;
            return fresh;
        }
        if (2 * (count_ + 1) > slots_.size()) grow();
        const size_t mask = slots_.size() - 1;
        for (size_t i = mixBits(key) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == key) return false;
            if (slots_[i] == 0) {
                slots_[i] = key;
                ++count_;
                return true;
            }
        }
    }

private:
    void grow() {
        std::vector<uint64_t> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : 2 * old.size(), 0);
        const size_t mask = slots_.size() - 1;
        for (uint64_t key : old) {
            if (key == 0) continue;
            size_t i = mixBits(key) & mask;
            while (slots_[i] != 0) i = (i + 1) & mask;
            slots_[i] = key;
        }
    }

    std::vector<uint64_t> slots_;
    size_t count_ = 0;
    bool hasZero_ = false;
};

}  // namespace nuvra
