// Any datagram arriving where the upload waits for an acknowledgement. The
// first four input bytes choose the block waited for; the rest is the datagram.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "transfer/image_upload.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || size > 4 + 1518) {
        return 0;
    }
    const std::int32_t expectedBlock = static_cast<std::int32_t>(
        (std::uint32_t{data[0]} << 24) | (data[1] << 16) | (data[2] << 8) | data[3]);
    const std::size_t length = size - 4;
    // Exactly as long as the datagram, so any read past its end is caught.
    std::unique_ptr<std::uint8_t[]> datagram(new std::uint8_t[length]);
    if (length > 0) {
        std::memcpy(datagram.get(), data + 4, length);
    }
    const UploadStepResult got =
        ClassifyUploadReply(datagram.get(), static_cast<int>(length), expectedBlock);

    if (length == 0) {
        Require(got == UploadStepResult::ReceiveFailed);
    } else if (length < 4 || datagram[1] != 4) {
        Require(got == UploadStepResult::NotAnAck);
    } else if (datagram[2] * 256 + datagram[3] == expectedBlock) {
        Require(got == UploadStepResult::BlockSent);
    } else {
        Require(got == UploadStepResult::WrongBlock);
    }
    Require(ClassifyUploadReply(nullptr, -1, expectedBlock) == UploadStepResult::ReceiveFailed);
    return 0;
}
