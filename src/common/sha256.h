#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 (FIPS 180-4), without depending on a crypto library: the update
// record names each image by its digest, and the simulated device reports the
// digest of each image it receives, so the two can be compared.

class Sha256 {
  public:
    Sha256();
    void Update(const std::uint8_t* data, std::size_t length);
    // Ends the message; the object must not be updated afterwards.
    std::array<std::uint8_t, 32> Finish();

  private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_;
    std::size_t pendingLength_ = 0;
    std::uint64_t totalLength_ = 0;
};

// The digest of `length` bytes as 64 lower-case hex digits.
std::string Sha256Hex(const std::uint8_t* data, std::size_t length);
