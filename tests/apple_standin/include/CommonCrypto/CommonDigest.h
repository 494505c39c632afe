// Stand-in for CommonCrypto's SHA-256 calls: OpenSSL's SHA-256 calls have the
// same shape (CommonCrypto's were modelled on them), so each name maps onto
// its OpenSSL twin, and the CommonCrypto glue of the state hash can be tested
// where CommonCrypto does not exist.
#pragma once

#define OPENSSL_SUPPRESS_DEPRECATED  // the one-shot-free SHA256_* calls are deprecated in 3.0
#include <openssl/sha.h>
#include <stdint.h>

typedef uint32_t CC_LONG;

#define CC_SHA256_DIGEST_LENGTH SHA256_DIGEST_LENGTH
#define CC_SHA256_CTX SHA256_CTX
#define CC_SHA256_Init SHA256_Init
#define CC_SHA256_Update SHA256_Update
#define CC_SHA256_Final SHA256_Final
