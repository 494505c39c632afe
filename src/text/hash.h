// Platform identities can be addresses, small counters or object paths that
// differ in a digit or two; this spreads such keys over all 64 bits (the
// splitmix64 finaliser).
#pragma once

#include <cstdint>

namespace nuvra {

inline uint64_t mixBits(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

}  // namespace nuvra
