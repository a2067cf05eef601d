// Any text in the address field when 開始 is pressed: the blanks come out, the
// form is checked, and what passes is the address every datagram goes to.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/address_check.h"
#include "common/typed_address.h"
#include "transfer/decimal_address.h"
#include "transfer/tftp_endpoint.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The first `count` characters of `text` (fewer at its end), blanks removed.
std::string WithoutBlanks(const char* text, std::size_t count) {
    std::string kept;
    for (std::size_t i = 0; i < count && text[i] != '\0'; ++i) {
        if (text[i] != ' ') {
            kept += text[i];
        }
    }
    return kept;
}

// Every limit reads at most limit - 1 characters, and never more than the
// 639 the shared buffer holds.
void CheckStripSpaces(const char* text) {
    constexpr std::size_t kLimits[] = {
        0, 1, 2, kTypedAddressSize, kStripBufferSize, kStripBufferSize + 1, SIZE_MAX};
    for (const std::size_t limit : kLimits) {
        const std::size_t capped = limit < kStripBufferSize ? limit : kStripBufferSize;
        const std::size_t examined = capped == 0 ? 0 : capped - 1;
        const std::string stripped = StripSpaces(text, limit);
        Require(stripped.size() <= examined);
        Require(stripped.find(' ') == std::string::npos);
        Require(stripped == WithoutBlanks(text, examined));
    }
}

unsigned GroupValue(const std::string& group) {
    return static_cast<unsigned>(std::strtoul(group.c_str(), nullptr, 10));
}

// An address that passes goes to the four numbers written in it, read as
// decimal, and written back plainly it names the same device.
void CheckAcceptedAddress(const char* text, std::uint32_t address) {
    const std::string accepted = text;
    Require(accepted.size() < kTargetAddressSize);
    Require(accepted.find_first_not_of("0123456789.") == std::string::npos);
    std::size_t start = 0;
    for (int group = 0; group < 4; ++group) {
        const std::size_t dot = accepted.find('.', start);
        Require((group == 3) == (dot == std::string::npos));
        const std::string digits = accepted.substr(start, dot - start);
        Require(!digits.empty());
        Require(GroupValue(digits) == ((address >> (8 * (3 - group))) & 0xFF));
        start = dot + 1;
    }

    char plain[16];
    std::snprintf(plain, sizeof plain, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    std::uint32_t again = 0;
    Require(IsDottedAddress(plain) && ParseDecimalAddress(plain, &again) && again == address);
}

// The check passes exactly the texts the endpoint can send to.
void CheckForm(const char* text) {
    std::uint32_t address = 0;
    const bool parsed = ParseDecimalAddress(text, &address);
    Require(IsDottedAddress(text) == parsed);
    if (parsed) {
        CheckAcceptedAddress(text, address);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A terminated copy of exactly the input's size, so over-reads are caught.
    std::unique_ptr<char[]> field(new char[size + 1]);
    std::memcpy(field.get(), data, size);
    field[size] = '\0';

    CheckStripSpaces(field.get());
    CheckForm(field.get());

    // The start button: at most 69 characters of the field, blanks removed.
    const bool startable = TakeTypedAddress(field.get());
    Require(std::memchr(typedAddress, '\0', kTypedAddressSize) != nullptr);
    Require(typedAddress == WithoutBlanks(field.get(), kTypedAddressSize - 1));
    Require(startable == IsDottedAddress(typedAddress));
    CheckForm(typedAddress);
    return 0;
}
