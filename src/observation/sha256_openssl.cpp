// The digest primitives, not the one-shot SHA256() or EVP: since OpenSSL 3
// those look the algorithm up through the provider machinery, which reads
// the configuration file and initialises providers on the first use, a
// cost larger than hashing a whole observation.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include "observation/run.h"

namespace nuvra {

std::string sha256Hex(std::string_view text) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256_CTX context;
    SHA256_Init(&context);
    SHA256_Update(&context, text.data(), text.size());
    SHA256_Final(digest, &context);
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
