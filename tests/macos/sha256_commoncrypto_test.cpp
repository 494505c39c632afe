// The CommonCrypto glue of the state hash (context, update, final, lowercase
// hex), against FIPS 180-4 examples: the message of no update, and "abc".
#include <gtest/gtest.h>

#include "observation/run.h"

TEST(Sha256CommonCrypto, KnownDigests) {
    EXPECT_EQ(nuvra::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(nuvra::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
