#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/sha256.h"

namespace {

std::string HexOf(const std::string& text) {
    return Sha256Hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

// The examples of FIPS 180-2, appendix B, and the empty message.
TEST(Sha256, MatchesTheStandardsVectors) {
    EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(HexOf(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Padding crosses into a second block from 56 bytes on; the split points of
// Update() must not matter.
TEST(Sha256, GivesTheSameDigestWhateverTheChunking) {
    std::vector<std::uint8_t> message(1000);
    for (std::size_t i = 0; i < message.size(); ++i) {
        message[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::string whole = Sha256Hex(message.data(), length);
        for (std::size_t chunk : {1u, 3u, 63u, 64u, 100u}) {
            Sha256 hash;
            for (std::size_t offset = 0; offset < length; offset += chunk) {
                hash.Update(message.data() + offset, std::min(chunk, length - offset));
            }
            std::string hex;
            for (std::uint8_t byte : hash.Finish()) {
                static const char kDigits[] = "0123456789abcdef";
                hex += kDigits[byte >> 4];
                hex += kDigits[byte & 15];
            }
            EXPECT_EQ(hex, whole) << "length " << length << " chunk " << chunk;
        }
    }
    // 55 and 56 'a's straddle the one-block/two-block padding boundary.
    EXPECT_EQ(HexOf(std::string(55, 'a')),
              "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(HexOf(std::string(56, 'a')),
              "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
}
