#include "transfer/firmware_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "common/launch_options.h"
#include "platform/ansi_text.h"
#include "platform/executable_path.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kLargestImage = kFirmwareBufferSize - 1;

fs::path ExecutablePath() {
    NativePath path;
    return GetExecutablePath(path) ? fs::path(path) : fs::path();
}

fs::path ExecutableDirectory() {
    return ExecutablePath().parent_path();
}

// Path text of the given code units: ASCII, or the bytes or UTF-16 units a
// case spells out for the platform's kind of path.
NativePath Units(std::initializer_list<unsigned> units) {
    NativePath text;
    for (const unsigned unit : units) {
        text.push_back(static_cast<PathChar>(unit));
    }
    return text;
}

NativePath Native(const std::string& ascii) {
    return NativePath(ascii.begin(), ascii.end());
}

std::string UniqueName(const char* stem) {
    static std::mt19937_64 generator(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char name[64];
    std::snprintf(name, sizeof name, "fwtest_%s_%016llx", stem,
                  static_cast<unsigned long long>(generator()));
    return name;
}

std::vector<std::uint8_t> PatternBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

// A file or directory beside the test executable, removed when the test ends.
class Scratch {
  public:
    explicit Scratch(const char* stem, const std::string& suffix = "")
        : name_(UniqueName(stem) + suffix), path_(ExecutableDirectory() / name_) {}
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& name() const { return name_; }
    const fs::path& path() const { return path_; }

  private:
    std::string name_;
    fs::path path_;
};

class FirmwareImageLoad : public ::testing::Test {
  protected:
    // On the heap and filled with a marker, to see which bytes a load wrote.
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    void SetUp() override {
        ASSERT_FALSE(ExecutableDirectory().empty());
        std::memset(image->data, 0xA5, sizeof image->data);
        image->length = -7;
    }

    // A refused image leaves nothing an upload could send: neither a length
    // nor any byte of the image loaded before it.
    void ExpectNothingLeft() {
        EXPECT_EQ(image->length, 0);
        const std::uint8_t* start = image->data;
        const std::uint8_t* end = start + kFirmwareBufferSize;
        const std::uint8_t* left =
            std::find_if(start, end, [](std::uint8_t byte) { return byte != 0; });
        EXPECT_EQ(left, end) << "a byte of an earlier image is left at offset " << (left - start);
    }
};

TEST_F(FirmwareImageLoad, AcceptsImagesOf5120To188415Bytes) {
    struct Case {
        std::int32_t size;
        std::int32_t stepBlocks;
        ImageRefusal refusal = ImageRefusal::None;  // which the record tells, with the size
    };
    const Case cases[] = {
        {0, 0, ImageRefusal::TooSmall},
        {1, 0, ImageRefusal::TooSmall},
        {5119, 0, ImageRefusal::TooSmall},
        {5120, 1},
        {10239, 1},
        {10240, 2},
        {300 * 512, 30},
        {kLargestImage, 36},
        {kFirmwareBufferSize, 0, ImageRefusal::TooLarge},
    };
    Scratch previous("previous");
    WriteBytes(previous.path(), PatternBytes(kLargestImage, 13));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        ASSERT_EQ(LoadFirmwareImage(previous.name().c_str(), *image), 36);
        Scratch file("size");
        WriteBytes(file.path(), PatternBytes(static_cast<std::size_t>(c.size), 1));
        EXPECT_EQ(LoadFirmwareImage(file.name().c_str(), *image), c.stepBlocks);
        EXPECT_EQ(image->refusal, c.refusal);
        EXPECT_EQ(image->fileSize, c.size);
        if (c.stepBlocks > 0) {
            EXPECT_EQ(image->length, c.size);
        } else {
            ExpectNothingLeft();
        }
    }
}

TEST_F(FirmwareImageLoad, HoldsTheFileBytesIntactAndReadsAReplacedFileAfresh) {
    Scratch file("bytes");
    const std::vector<std::uint8_t> first = PatternBytes(70001, 2);
    WriteBytes(file.path(), first);
    ASSERT_EQ(LoadFirmwareImage(file.name().c_str(), *image), 13);
    ASSERT_EQ(image->length, 70001);
    EXPECT_EQ(std::memcmp(image->data, first.data(), first.size()), 0);
    EXPECT_EQ(image->data[70001], 0xA5);
    EXPECT_EQ(image->data[kFirmwareBufferSize - 1], 0xA5);

    const std::vector<std::uint8_t> second = PatternBytes(kLargestImage, 3);
    WriteBytes(file.path(), second);
    ASSERT_EQ(LoadFirmwareImage(file.name().c_str(), *image), 36);
    ASSERT_EQ(image->length, kLargestImage);
    EXPECT_EQ(std::memcmp(image->data, second.data(), second.size()), 0);
}

TEST_F(FirmwareImageLoad, ProcessWideLoadUsesTheLaunchOptionsName) {
    Scratch file("global");
    const std::vector<std::uint8_t> bytes = PatternBytes(6000, 4);
    WriteBytes(file.path(), bytes);
    std::snprintf(launchOptions.firmwareName, sizeof launchOptions.firmwareName, "%s",
                  file.name().c_str());
    firmwareImage.length = -7;

    EXPECT_EQ(LoadFirmwareImage(), 1);
    EXPECT_EQ(firmwareImage.length, 6000);
    EXPECT_EQ(std::memcmp(firmwareImage.data, bytes.data(), bytes.size()), 0);
    launchOptions = LaunchOptions{};
}

TEST_F(FirmwareImageLoad, RefusesNamesThatDoNotNameAFileThere) {
    Scratch file("absolute");
    WriteBytes(file.path(), PatternBytes(5120, 5));
    Scratch directory("directory");
    ASSERT_TRUE(fs::create_directory(directory.path()));
    // Where the file system lets such names be made, they still name no file.
    Scratch standIn("stand_in", "?.bin");
    Scratch wildcard("wildcard", "*.bin");
    if (sizeof(PathChar) == 1) {
        WriteBytes(standIn.path(), PatternBytes(5120, 6));
        WriteBytes(wildcard.path(), PatternBytes(5120, 6));
    }
    const struct {
        const char* what;
        std::string name;
        ImageRefusal refusal;
    } cases[] = {
        {"an empty name: the executable's directory itself", "", ImageRefusal::NotFound},
        {"a missing file", UniqueName("missing"), ImageRefusal::NotFound},
        {"a directory", directory.name(), ImageRefusal::NotFound},
        {"a full path, which is appended unchanged", file.path().string(), ImageRefusal::NotFound},
        {"the command line's stand-in for a character its code page lacks", standIn.name(),
         ImageRefusal::NameRefused},
        {"a wildcard", wildcard.name(), ImageRefusal::NameRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(LoadFirmwareImage(file.name().c_str(), *image), 1);
        EXPECT_EQ(LoadFirmwareImage(c.name.c_str(), *image), 0);
        EXPECT_EQ(image->refusal, c.refusal);
        ExpectNothingLeft();
    }
}

TEST_F(FirmwareImageLoad, FindsANameBelowTheExecutablesDirectory) {
    Scratch directory("below");
    ASSERT_TRUE(fs::create_directory(directory.path()));
    WriteBytes(directory.path() / "firm.bin", PatternBytes(300 * 512, 6));
    EXPECT_EQ(LoadFirmwareImage((directory.name() + "/firm.bin").c_str(), *image), 30);
}

TEST_F(FirmwareImageLoad, LooksInTheExecutablesDirectoryNotTheCurrentOne) {
    Scratch elsewhere("cwd");
    ASSERT_TRUE(fs::create_directory(elsewhere.path()));
    Scratch file("inboth");
    WriteBytes(file.path(), PatternBytes(5120, 7));
    WriteBytes(elsewhere.path() / file.name(), PatternBytes(300 * 512, 8));
    const std::string onlyElsewhere = UniqueName("onlycwd");
    WriteBytes(elsewhere.path() / onlyElsewhere, PatternBytes(300 * 512, 9));

    const fs::path previous = fs::current_path();
    fs::current_path(elsewhere.path());
    const std::int32_t inBoth = LoadFirmwareImage(file.name().c_str(), *image);
    const std::int32_t onlyInCurrent = LoadFirmwareImage(onlyElsewhere.c_str(), *image);
    fs::current_path(previous);

    EXPECT_EQ(inBoth, 1);
    EXPECT_EQ(onlyInCurrent, 0);
}

// The loader, copied into a directory of each kind, loads the firmware beside
// it. Paths here are UTF-8: a directory named with "ぁ" (E3 81 81) must keep
// the separator after it, which a reading of its bytes as double-byte
// characters would take for the second half of one; a directory deeper than
// the first guess at the path's length must not be cut short.
TEST_F(FirmwareImageLoad, UsesTheExecutablesDirectoryWhateverItsName) {
#ifdef ETHBOX_FIRMWARE_IMAGE_LOADER
    const struct {
        const char* stem;
        std::string suffix;
        std::string below;
    } cases[] = {
        {"utf8", "表ぁ", ""},
        {"deep", "", std::string(200, 'd') + "/" + std::string(200, 'e')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stem);
        Scratch directory(c.stem, c.suffix);
        const fs::path directoryPath = directory.path() / c.below;
        ASSERT_TRUE(fs::create_directories(directoryPath));

        const fs::path loader = directoryPath / ("load" + c.suffix);
        fs::copy_file(ETHBOX_FIRMWARE_IMAGE_LOADER, loader);
        WriteBytes(directoryPath / "firm.bin", PatternBytes(300 * 512, 10));

        const std::string command = "'" + loader.string() + "' firm.bin";
        std::FILE* output = popen(command.c_str(), "r");
        ASSERT_NE(output, nullptr);
        char line[64] = {};
        const bool gotLine = std::fgets(line, sizeof line, output) != nullptr;
        const int status = pclose(output);
        ASSERT_TRUE(gotLine);
        EXPECT_EQ(status, 0);
        EXPECT_STREQ(line, "30 153600\n");
    }
#else
    GTEST_SKIP() << "directory names are not plain bytes here";
#endif
}

TEST(ReadWholeFile, TellsTheSizeOrReadsAtMostTheCount) {
    Scratch file("read");
    const std::vector<std::uint8_t> bytes = PatternBytes(5000, 11);
    WriteBytes(file.path(), bytes);
    const PathChar* path = file.path().c_str();

    EXPECT_EQ(ReadWholeFile(path, nullptr, 0), 5000);
    EXPECT_EQ(ReadWholeFile(path, nullptr, 100), 5000);
    std::vector<std::uint8_t> buffer(100);
    EXPECT_EQ(ReadWholeFile(path, buffer.data(), 0), 5000);

    // Exactly sized, so that the sanitizer sees a read past the count.
    EXPECT_EQ(ReadWholeFile(path, buffer.data(), 100), 100);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin()));

    std::vector<std::uint8_t> larger(8000, 0xA5);
    EXPECT_EQ(ReadWholeFile(path, larger.data(), 8000), 5000);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), larger.begin()));
    EXPECT_EQ(larger[5000], 0xA5);

    EXPECT_EQ(ReadWholeFile(path, larger.data(), -1), -1);
}

TEST(ReadWholeFile, ReturnsZeroForWhatCannotBeOpenedAsAFile) {
    Scratch missing("missing");
    Scratch directory("directory");
    ASSERT_TRUE(fs::create_directory(directory.path()));
    std::uint8_t buffer[16];
    for (const Scratch* entry : {&missing, &directory}) {
        const PathChar* path = entry->path().c_str();
        EXPECT_EQ(ReadWholeFile(path, nullptr, 0), 0) << path;
        EXPECT_EQ(ReadWholeFile(path, buffer, sizeof buffer), 0) << path;
    }
}

// A size past 4 GiB must not wrap round into one that passes the size test.
TEST(ReadWholeFile, RefusesASizeBeyondItsResult) {
    Scratch file("huge");
    WriteBytes(file.path(), PatternBytes(16, 12));
    fs::resize_file(file.path(), (std::uintmax_t{1} << 32) + 5120);  // sparse: no disk used
    EXPECT_EQ(ReadWholeFile(file.path().c_str(), nullptr, 0), -1);
    auto image = std::make_unique<FirmwareImage>();
    EXPECT_EQ(LoadFirmwareImage(file.name().c_str(), *image), 0);
}

std::string Built(const std::string& executablePath, const std::string& name) {
    const NativePath path = BuildFirmwarePath(Native(executablePath), Native(name));
    std::string bytes;
    for (const PathChar unit : path) {
        bytes.push_back(static_cast<char>(unit));
    }
    return bytes;
}

TEST(BuildFirmwarePath, PutsTheNameInTheExecutablesDirectory) {
    EXPECT_EQ(Built("C:\\Tools\\EthBoxVup.exe", "firm.bin"), "C:\\Tools\\firm.bin");
    EXPECT_EQ(Built("/opt/ethbox/EthBoxVup", "firm.bin"), "/opt/ethbox/firm.bin");
    EXPECT_EQ(Built("C:/Tools\\Sub/EthBoxVup.exe", "firm.bin"), "C:/Tools\\Sub/firm.bin");
    EXPECT_EQ(Built("\\\\server\\share\\EthBoxVup.exe", "firm.bin"), "\\\\server\\share\\firm.bin");
    EXPECT_EQ(Built("C:\\EthBoxVup.exe", ""), "C:\\");
    // No directory at all.
    EXPECT_EQ(Built("EthBoxVup.exe", "firm.bin"), "firm.bin");
    EXPECT_EQ(Built("C:EthBoxVup.exe", "firm.bin"), "C:firm.bin");
    // The name is appended unchanged.
    EXPECT_EQ(Built("C:\\Tools\\EthBoxVup.exe", "sub\\firm.bin"), "C:\\Tools\\sub\\firm.bin");
    EXPECT_EQ(Built("C:\\Tools\\EthBoxVup.exe", "D:\\firm.bin"), "C:\\Tools\\D:\\firm.bin");
}

// The directory is no longer cut to the 255 bytes of a fixed buffer: a path
// that the system cannot open fails there, never as another, shorter one.
TEST(BuildFirmwarePath, KeepsADirectoryOfAnyLength) {
    const std::string deep = "C:\\" + std::string(300, 'd') + "\\";
    EXPECT_EQ(Built(deep + "EthBoxVup.exe", "firm.bin"), deep + "firm.bin");
}

// The name from the command line is text of the ANSI code page (932 in the
// tests, natively and under Wine) and becomes path text whole or not at all.
TEST(AnsiTextToPath, ConvertsWholeCharactersAndRefusesACutOne) {
    NativePath path = Native("left over");
    ASSERT_TRUE(AnsiTextToPath("", path));
    EXPECT_TRUE(path.empty());
    ASSERT_TRUE(AnsiTextToPath("sub\\Firm 1.bin", path));
    EXPECT_EQ(path, Native("sub\\Firm 1.bin"));

    // 表 (0x95 0x5C, U+8868) and ｱ (0xB1, U+FF71, a single byte).
    ASSERT_TRUE(AnsiTextToPath("\x95\x5C\xB1.bin", path));
    const NativePath expected = sizeof(PathChar) == 1
                                    ? Units({0x95, 0x5C, 0xB1, '.', 'b', 'i', 'n'})
                                    : Units({0x8868, 0xFF71, '.', 'b', 'i', 'n'});
    EXPECT_EQ(path, expected);

    path = Native("left over");
    EXPECT_FALSE(AnsiTextToPath("firm\x95", path)) << "a lead byte without its second byte";
    EXPECT_TRUE(path.empty());
}

TEST(GetExecutablePath, GivesTheRunningTestsOwnPath) {
    const fs::path path = ExecutablePath();
#ifdef ETHBOX_TEST_EXECUTABLE
    EXPECT_EQ(path, fs::canonical(ETHBOX_TEST_EXECUTABLE));
#else
    EXPECT_EQ(path.filename(), fs::path("firmware_image_test.exe"));
    EXPECT_TRUE(fs::is_regular_file(path));
#endif
}

}  // namespace
