#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The SHA-256 of `length` bytes at `data`, as 64 lower-case hexadecimal
// digits, from the platform's own provider: CNG (bcrypt.dll, loaded from the
// system folder only) on Windows, libcrypto elsewhere. Empty when the
// provider fails.
std::string Sha256Hex(const std::uint8_t* data, std::size_t length);
