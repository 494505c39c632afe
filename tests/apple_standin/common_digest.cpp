// CommonCrypto's SHA-256 calls over OpenSSL's digest, so the CommonCrypto
// glue can be tested where CommonCrypto does not exist.
#include <CommonCrypto/CommonDigest.h>
#include <openssl/evp.h>

extern "C" {

int CC_SHA256_Init(CC_SHA256_CTX* c) {
    EVP_MD_CTX* digest = EVP_MD_CTX_new();
    EVP_DigestInit_ex(digest, EVP_sha256(), nullptr);
    c->standinDigest = digest;
    return 1;
}

int CC_SHA256_Update(CC_SHA256_CTX* c, const void* data, CC_LONG len) {
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(c->standinDigest), data, len);
    return 1;
}

int CC_SHA256_Final(unsigned char* md, CC_SHA256_CTX* c) {
    auto* digest = static_cast<EVP_MD_CTX*>(c->standinDigest);
    unsigned int size = 0;
    EVP_DigestFinal_ex(digest, md, &size);
    EVP_MD_CTX_free(digest);
    c->standinDigest = nullptr;
    return 1;
}

}  // extern "C"
