#include <CommonCrypto/CommonDigest.h>

#include "observation/run.h"

namespace nuvra {

std::string sha256Hex(std::string_view text) {
    unsigned char digest[CC_SHA256_DIGEST_LENGTH];
    // CC_LONG is 32 bits; the texts hashed here are far below 4 GiB, but feed
    // them in pieces anyway so no length is ever truncated.
    CC_SHA256_CTX ctx;
    CC_SHA256_Init(&ctx);
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        CC_LONG n = left > 0x40000000u ? 0x40000000u : static_cast<CC_LONG>(left);
        CC_SHA256_Update(&ctx, p, n);
        p += n;
        left -= n;
    }
    CC_SHA256_Final(digest, &ctx);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * CC_SHA256_DIGEST_LENGTH);
    for (unsigned char b : digest) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

}  // namespace nuvra
