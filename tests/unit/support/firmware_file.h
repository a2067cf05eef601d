#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/executable_path.h"

// A firmware file beside the test executable, where the updater looks for it,
// with bytes that differ from block to block; removed when the test ends.
class FirmwareFile {
  public:
    // `size` < 0: a name only, no file.
    explicit FirmwareFile(long size) : name_(UniqueName()) {
        NativePath executable;
        if (!GetExecutablePath(executable)) {
            ADD_FAILURE() << "the test cannot find its own executable";
            return;
        }
        path_ = std::filesystem::path(executable).parent_path() / name_;
        if (size < 0) {
            return;
        }
        std::uint32_t state = 0x9E3779B9u ^ static_cast<std::uint32_t>(size);
        bytes_.resize(static_cast<std::size_t>(size));
        for (std::uint8_t& byte : bytes_) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes_.data()),
                  static_cast<std::streamsize>(bytes_.size()));
        EXPECT_TRUE(out.good()) << path_;
    }
    ~FirmwareFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    FirmwareFile(const FirmwareFile&) = delete;
    FirmwareFile& operator=(const FirmwareFile&) = delete;

    // Lower case, as the command line leaves a name.
    const std::string& name() const { return name_; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    // Where the updater looks for it, in UTF-8.
    std::string path() const { return path_.u8string(); }

  private:
    // Unique across the test processes that CTest runs side by side.
    static std::string UniqueName() {
        static std::mt19937_64 generator(
            std::random_device{}() ^
            static_cast<std::uint64_t>(
                std::chrono::steady_clock::now().time_since_epoch().count()));
        char name[64];
        std::snprintf(name, sizeof name, "seqtest_%016llx.bin",
                      static_cast<unsigned long long>(generator()));
        return name;
    }

    std::string name_;
    std::filesystem::path path_;
    std::vector<std::uint8_t> bytes_;
};
