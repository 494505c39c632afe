// Test stand-in for CommonCrypto's SHA-256 calls, declared as Apple's
// CommonDigest.h declares them. The context only carries a handle to the
// digest that does the work in the tests.
#pragma once

#include <stdint.h>

extern "C" {

typedef uint32_t CC_LONG;

#define CC_SHA256_DIGEST_LENGTH 32
#define CC_SHA256_BLOCK_BYTES 64

typedef struct CC_SHA256state_st {
    void* standinDigest;
} CC_SHA256_CTX;

int CC_SHA256_Init(CC_SHA256_CTX* c);
int CC_SHA256_Update(CC_SHA256_CTX* c, const void* data, CC_LONG len);
int CC_SHA256_Final(unsigned char* md, CC_SHA256_CTX* c);

}  // extern "C"
