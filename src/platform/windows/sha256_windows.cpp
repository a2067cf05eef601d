#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <vector>

#include "platform/sha256.h"
#include "platform/windows/system_library.h"

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

std::string Sha256Hex(const std::uint8_t* data, std::size_t length) {
    // bcrypt.dll is no KnownDLL of Windows 7: imported by name, it could be
    // taken from the program's folder (scripts/static-checks.sh refuses that).
    const SystemLibrary cng(L"bcrypt.dll");
    const auto open =
        cng.Find<decltype(BCryptOpenAlgorithmProvider)>("BCryptOpenAlgorithmProvider");
    const auto close =
        cng.Find<decltype(BCryptCloseAlgorithmProvider)>("BCryptCloseAlgorithmProvider");
    const auto getProperty = cng.Find<decltype(BCryptGetProperty)>("BCryptGetProperty");
    const auto create = cng.Find<decltype(BCryptCreateHash)>("BCryptCreateHash");
    const auto hashData = cng.Find<decltype(BCryptHashData)>("BCryptHashData");
    const auto finish = cng.Find<decltype(BCryptFinishHash)>("BCryptFinishHash");
    const auto destroy = cng.Find<decltype(BCryptDestroyHash)>("BCryptDestroyHash");
    if (!open || !close || !getProperty || !create || !hashData || !finish || !destroy) {
        return {};
    }
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return {};
    }
    // Windows 7 wants the hash object's memory from the caller.
    DWORD objectLength = 0;
    ULONG got = 0;
    unsigned char digest[32] = {};
    bool hashed = false;
    if (Succeeded(getProperty(algorithm, BCRYPT_OBJECT_LENGTH,
                              reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength, &got,
                              0))) {
        std::vector<UCHAR> object(objectLength);
        BCRYPT_HASH_HANDLE hash = nullptr;
        if (Succeeded(create(algorithm, &hash, object.data(), objectLength, nullptr, 0, 0))) {
            // A ULONG's worth at most per call.
            constexpr std::size_t kChunk = std::size_t{1} << 30;
            hashed = true;
            for (std::size_t at = 0; hashed && at < length; at += kChunk) {
                const std::size_t chunk = length - at < kChunk ? length - at : kChunk;
                hashed = Succeeded(
                    hashData(hash, const_cast<PUCHAR>(data + at), static_cast<ULONG>(chunk), 0));
            }
            hashed = hashed && Succeeded(finish(hash, digest, sizeof digest, 0));
            destroy(hash);
        }
    }
    close(algorithm, 0);
    if (!hashed) {
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}
