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
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

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
    fs::path kept(int number) const {
        return path_ / ("EthBoxVup-log.kept-" + std::to_string(number) + ".csv");
    }
    fs::path pending() const { return path_ / "EthBoxVup-log.pending.csv"; }

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

RecordWrite Append(const Folder& folder, const std::string& line = kNewLine) {
    return AppendRecordLines(folder.record().native(), kHeader, line);
}

const std::string kUnended = kOld.substr(0, kOld.size() - 2);
const std::string kShiftJis = "\x93\xfa\x8e\x9e,\x8c\x8b\x89\xca\r\n";  // 日時,結果 in Shift_JIS

TEST(AppendRecordLine, WritesTheHeaderOnceEndsTheLastLineAndPutsAsideWhatIsNotOurs) {
    const struct {
        const char* what;
        std::function<void(const Folder&)> before;
        RecordWrite appended;
        std::string record;   // afterwards
        std::string rotated;  // afterwards
        std::string kept;     // afterwards: the first free kept name
    } cases[] = {
        {"a new file: mark, header, line", [](const Folder&) {}, RecordWrite::Written, kNewFile,
         kMissing, kMissing},
        {"an existing file: the line only", [](const Folder& f) { Write(f.record(), kOld); },
         RecordWrite::Written, kOld + kNewLine, kMissing, kMissing},
        {"an empty file, or the mark alone: as a new one",
         [](const Folder& f) { Write(f.record(), kUtf8ByteOrderMark); }, RecordWrite::Written,
         kNewFile, kMissing, kMissing},
        {"an unterminated last line: ended first",
         [](const Folder& f) { Write(f.record(), kUnended); }, RecordWrite::Written,
         kUnended + "\r\n" + kNewLine, kMissing, kMissing},
        {"a lone CR at the end: its LF first",
         [](const Folder& f) { Write(f.record(), kUnended + "\r"); }, RecordWrite::Written,
         kUnended + "\r\n" + kNewLine, kMissing, kMissing},
        {"an open quote: closed first, so that it swallows nothing",
         [](const Folder& f) { Write(f.record(), kOld + "x,\"open \"\"quote\"\"\r\n"); },
         RecordWrite::Written, kOld + "x,\"open \"\"quote\"\"\r\n\"\r\n" + kNewLine, kMissing,
         kMissing},
        {"a quoted field closed at the end, a quote inside a plain one: only the line's end",
         [](const Folder& f) { Write(f.record(), kOld + "a\"b,\"c\r\nd\""); }, RecordWrite::Written,
         kOld + "a\"b,\"c\r\nd\"\r\n" + kNewLine, kMissing, kMissing},
        {"no mark (a spreadsheet saved it): kept whole, a new one begun",
         [](const Folder& f) { Write(f.record(), kShiftJis); }, RecordWrite::Written, kNewFile,
         kMissing, kShiftJis},
        {"no mark, and .kept-1 taken: kept as .kept-2, replacing nothing",
         [](const Folder& f) {
             Write(f.record(), kShiftJis);
             Write(f.kept(1), "older");
         },
         RecordWrite::Written, kNewFile, kMissing, "older"},
        {"exactly 1 MiB: not yet past",
         [](const Folder& f) {
             Write(f.record(),
                   kUtf8ByteOrderMark + std::string(kRecordRotationBytes - 5, 'x') + "\r\n");
         },
         RecordWrite::Written,
         kUtf8ByteOrderMark + std::string(kRecordRotationBytes - 5, 'x') + "\r\n" + kNewLine,
         kMissing, kMissing},
        {"past 1 MiB: renamed, and a new one begun",
         [](const Folder& f) { Write(f.record(), kBig); }, RecordWrite::Written, kNewFile, kBig,
         kMissing},
        {"past 1 MiB again: the older rotated file is replaced",
         [](const Folder& f) {
             Write(f.record(), kBig);
             Write(f.rotated(), "older");
         },
         RecordWrite::Written, kNewFile, kBig, kMissing},
        {"the file is a folder", [](const Folder& f) { fs::create_directory(f.record()); },
         RecordWrite::Failed, kMissing, kMissing, kMissing},
        {"the folder is gone: made anew",
         [](const Folder& f) { fs::remove(f.record().parent_path()); }, RecordWrite::Written,
         kNewFile, kMissing, kMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        c.before(folder);
        EXPECT_EQ(Append(folder), c.appended);
        EXPECT_EQ(Read(folder.record()), c.record);
        EXPECT_EQ(Read(folder.rotated()), c.rotated);
        if (c.kept != kMissing) {
            EXPECT_EQ(Read(folder.kept(1)), c.kept == "older" ? "older" : kShiftJis);
            EXPECT_EQ(Read(folder.kept(2)), c.kept == "older" ? kShiftJis : kMissing);
        }
    }
}

#ifndef _WIN32
// Another program's exclusive lock, as a spreadsheet's on Windows: the line
// waits in the pending file, and reaches the record before the next line
// once the lock is gone; a record that cannot be written at all sends both
// to the fallback.
TEST(DeliverRecordLine, KeepsTheLinesOfALockedRecordPendingInTheirOrder) {
    Folder beside;
    Folder user;
    const RecordPlaces places{beside.record().native(), user.record().native(),
                              user.pending().native()};
    Write(beside.record(), kOld);
    const std::string line2 = "2026-12-08T11:05:00+09:00,5\r\n";
    const std::string line3 = "2026-12-08T11:06:00+09:00,9\r\n";
    {
        const int holder = open(beside.record().c_str(), O_RDONLY);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        EXPECT_EQ(Append(beside), RecordWrite::Locked);
        DeliverRecordLine(places, kHeader, kNewLine);
        DeliverRecordLine(places, kHeader, line2);
        close(holder);
    }
    EXPECT_EQ(Read(beside.record()), kOld);
    EXPECT_EQ(Read(user.pending()), kUtf8ByteOrderMark + kHeader + kNewLine + line2);
    EXPECT_EQ(Read(user.record()), kMissing);
    DeliverRecordLine(places, kHeader, line3);
    EXPECT_EQ(Read(beside.record()), kOld + kNewLine + line2 + line3);
    EXPECT_EQ(Read(user.pending()), kMissing);

    Write(user.pending(), kUtf8ByteOrderMark + kHeader + kNewLine);
    fs::remove(beside.record());
    fs::create_directory(beside.record());
    DeliverRecordLine(places, kHeader, line2);
    EXPECT_EQ(Read(user.record()), kNewFile + line2);
    EXPECT_EQ(Read(user.pending()), kMissing);

    // The record in the user's folder held as well: the line waits for it.
    {
        const int holder = open(user.record().c_str(), O_RDONLY);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        DeliverRecordLine(places, kHeader, line3);
        close(holder);
    }
    EXPECT_EQ(Read(user.record()), kNewFile + line2);
    EXPECT_EQ(Read(user.pending()), kUtf8ByteOrderMark + kHeader + line3);

    // Pending lines a spreadsheet saved again in its own encoding never reach
    // the record raw: they are kept whole, and the new line waits.
    Write(user.pending(), kShiftJis);
    DeliverRecordLine(places, kHeader, kNewLine);
    EXPECT_EQ(Read(user.record()), kNewFile + line2);
    EXPECT_EQ(Read(user.pending()), kUtf8ByteOrderMark + kHeader + kNewLine);
    EXPECT_EQ(Read(user.kept(1).parent_path() / "EthBoxVup-log.pending.kept-1.csv"), kShiftJis);

    // Another box's write holds the record for a moment: the line waits it
    // out and reaches the record, its pending one before it.
    {
        const int holder = open(user.record().c_str(), O_RDONLY);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        std::thread release([holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            close(holder);
        });
        DeliverRecordLine(places, kHeader, line3);
        release.join();
    }
    EXPECT_EQ(Read(user.record()), kNewFile + line2 + kNewLine + line3);
    EXPECT_EQ(Read(user.pending()), kMissing);
}
#endif

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
    const RecordWrite appended = Append(folder);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(appended, RecordWrite::Failed);
    EXPECT_EQ(Read(folder.record()), kOld);
#endif
}

}  // namespace
