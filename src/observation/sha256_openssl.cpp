#include <openssl/sha.h>

#include "observation/run.h"

namespace nuvra {

std::string sha256Hex(std::string_view text) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * SHA256_DIGEST_LENGTH);
    for (unsigned char b : digest) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

}  // namespace nuvra
