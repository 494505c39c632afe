// The CommonCrypto glue of the state hash, against the FIPS 180-4 examples.
#include <gtest/gtest.h>

#include <string>

#include "observation/run.h"

namespace nuvra {
namespace {

struct DigestCase {
    const char* name;
    std::string input;
    const char* hex;
};

TEST(Sha256CommonCrypto, KnownDigestsInLowercaseHex) {
    const DigestCase cases[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"a million a", std::string(1'000'000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const DigestCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sha256Hex(c.input), c.hex);
    }
}

}  // namespace
}  // namespace nuvra
