#include <openssl/evp.h>

#include "platform/sha256.h"

std::string Sha256Hex(const std::uint8_t* data, std::size_t length) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(data, length, digest, &size, EVP_sha256(), nullptr) != 1 || size != 32) {
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int index = 0; index < size; ++index) {
        hex += kDigits[digest[index] >> 4];
        hex += kDigits[digest[index] & 0xF];
    }
    return hex;
}
