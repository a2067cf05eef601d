#include "platform/record_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "日時,結果コード\r\n";
const std::string kNewLine = "2026-12-08T11:04:44+09:00,0\r\n";
const std::string kOldLine = "2026-12-07T09:00:00+09:00,3\r\n";
const std::string kNewFile = kUtf8ByteOrderMark + kHeader + kNewLine;
const std::string kOld = kUtf8ByteOrderMark + kHeader + kOldLine;
const std::string kBig = kOld + std::string(kRecordRotationBytes, 'x');
constexpr char kMissing[] = "(none)";

// A folder of its own for each case, removed with everything in it.
class Folder {
  public:
    Folder() {
        std::mt19937_64 random(static_cast<std::uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count()));
        path_ = fs::temp_directory_path() / ("ethbox-record-" + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    fs::path record() const { return path_ / "EthBoxVup-log.csv"; }
    fs::path rotated() const { return path_ / "EthBoxVup-log.1.csv"; }

  private:
    fs::path path_;
};

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const fs::path& path) {
    if (!fs::is_regular_file(path)) {
        return kMissing;
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Append(const Folder& folder) {
    return AppendRecordLine(folder.record().native(), folder.rotated().native(), kHeader, kNewLine);
}

TEST(AppendRecordLine, WritesTheHeaderOnceAndRotatesPastOneMebibyte) {
    const struct {
        const char* what;
        std::function<void(const Folder&)> before;
        bool appended;
        std::string record;   // afterwards
        std::string rotated;  // afterwards
    } cases[] = {
        {"a new file: mark, header, line", [](const Folder&) {}, true, kNewFile, kMissing},
        {"an existing file: the line only", [](const Folder& f) { Write(f.record(), kOld); }, true,
         kOld + kNewLine, kMissing},
        {"an empty file: as a new one", [](const Folder& f) { Write(f.record(), ""); }, true,
         kNewFile, kMissing},
        {"exactly 1 MiB: not yet past",
         [](const Folder& f) { Write(f.record(), std::string(kRecordRotationBytes, 'x')); }, true,
         std::string(kRecordRotationBytes, 'x') + kNewLine, kMissing},
        {"past 1 MiB: renamed, and a new one begun",
         [](const Folder& f) { Write(f.record(), kBig); }, true, kNewFile, kBig},
        {"past 1 MiB again: the older rotated file is replaced",
         [](const Folder& f) {
             Write(f.record(), kBig);
             Write(f.rotated(), "older");
         },
         true, kNewFile, kBig},
        {"the file is a folder", [](const Folder& f) { fs::create_directory(f.record()); }, false,
         kMissing, kMissing},
        {"the folder is gone", [](const Folder& f) { fs::remove(f.record().parent_path()); }, false,
         kMissing, kMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        c.before(folder);
        EXPECT_EQ(Append(folder), c.appended);
        EXPECT_EQ(Read(folder.record()), c.record);
        EXPECT_EQ(Read(folder.rotated()), c.rotated);
    }
}

// A full disk, as the file size limit makes one: the line that does not fit
// is not left behind in part.
TEST(AppendRecordLine, TakesBackALineThatDoesNotFitWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "no file size limit to stand in for a full disk";
#else
    Folder folder;
    Write(folder.record(), kOld);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = kOld.size() + kNewLine.size() / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool appended = Append(folder);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(appended);
    EXPECT_EQ(Read(folder.record()), kOld);
#endif
}

}  // namespace
