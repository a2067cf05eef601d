#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <vector>

#include "platform/sha256.h"

namespace {

// bcrypt.dll is no KnownDLL of Windows 7: imported by name, it could be taken
// from the program's folder (scripts/static-checks.sh refuses that). So it is
// loaded by its full path in the system folder, and its own imports are
// looked up from there.
class Cng {
  public:
    Cng() {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH - 12) {
            return;
        }
        const std::wstring path = std::wstring(folder, length) + L"\\bcrypt.dll";
        module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    ~Cng() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    Cng(const Cng&) = delete;
    Cng& operator=(const Cng&) = delete;

    // The function `name`, of type `Function` (decltype of the header's
    // declaration, which names no import).
    template <typename Function>
    Function* Find(const char* name) const {
        if (module_ == nullptr) {
            return nullptr;
        }
        FARPROC found = GetProcAddress(module_, name);
        return reinterpret_cast<Function*>(reinterpret_cast<void*>(found));
    }

  private:
    HMODULE module_ = nullptr;
};

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

std::string Sha256Hex(const std::uint8_t* data, std::size_t length) {
    const Cng cng;
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
