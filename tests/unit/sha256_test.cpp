#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

// The platform's provider, on the examples of FIPS 180-2 (appendix B) and the
// empty message.
TEST(Sha256, MatchesTheStandardsVectors) {
    for (const auto& [message, digest] : {
             std::pair<std::string, std::string>{
                 "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
             {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
             {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
             {std::string(1000000, 'a'),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
         }) {
        EXPECT_EQ(Sha256Hex(reinterpret_cast<const std::uint8_t*>(message.data()), message.size()),
                  digest)
            << message.size() << " bytes";
    }
}
