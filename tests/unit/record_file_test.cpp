#include "platform/record_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
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

// Another program holds the file open so that it cannot be written, as a
// spreadsheet does: on Windows shared for reading only, elsewhere under an
// exclusive flock, which the record's writer takes for the same.
class HeldFile {
  public:
    explicit HeldFile(const fs::path& path) {
#ifdef _WIN32
        handle_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        held_ = handle_ != INVALID_HANDLE_VALUE;
#else
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        held_ = fd_ >= 0 && flock(fd_, LOCK_EX) == 0;
#endif
    }
    ~HeldFile() {
        Release();
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool held() const {
        return held_;
    }
    void Release() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
#else
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
#endif
    }

  private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
    bool held_ = false;
};

std::string Line(int number) {
    return "2026-12-08T11:05:00+09:00," + std::to_string(number) + "\r\n";
}

// The lines of a record or of its waiting lines, without mark and header.
std::vector<std::string> LinesIn(const fs::path& path) {
    std::string text = Read(path);
    if (text == kMissing) {
        return {};
    }
    const std::string begin = kUtf8ByteOrderMark + kHeader;
    EXPECT_EQ(text.compare(0, begin.size(), begin), 0) << path;
    std::vector<std::string> lines;
    for (std::size_t at = begin.size(); at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end + 2 - at));
        at = end + 2;
    }
    return lines;
}

// A record held open: the line waits beside it, and reaches it before the
// next line once it is let go; a record that cannot be written at all sends
// them to the fallback, its own waiting lines first.
TEST(DeliverRecordLine, KeepsTheLinesOfAHeldRecordWaitingBesideItInTheirOrder) {
    Folder beside;
    Folder user;
    const RecordPlaces places{beside.record().native(), user.record().native()};
    Write(beside.record(), kOld);
    const std::string line2 = Line(2);
    const std::string line3 = Line(3);
    {
        HeldFile holder(beside.record());
        ASSERT_TRUE(holder.held());
        EXPECT_EQ(Append(beside), RecordWrite::Locked);
        DeliverRecordLine(places, kHeader, kNewLine);
        DeliverRecordLine(places, kHeader, line2);
    }
    EXPECT_EQ(Read(beside.record()), kOld);
    EXPECT_EQ(Read(beside.pending()), kUtf8ByteOrderMark + kHeader + kNewLine + line2);
    EXPECT_EQ(Read(user.record()), kMissing);
    EXPECT_EQ(Read(user.pending()), kMissing);
    DeliverRecordLine(places, kHeader, line3);
    EXPECT_EQ(Read(beside.record()), kOld + kNewLine + line2 + line3);
    EXPECT_EQ(Read(beside.pending()), kMissing);

    // Beside cannot be written at all: its waiting lines go on too.
    Write(user.pending(), kUtf8ByteOrderMark + kHeader + kNewLine);
    fs::remove(beside.record());
    fs::create_directory(beside.record());
    Write(beside.pending(), kUtf8ByteOrderMark + kHeader + line3);
    DeliverRecordLine(places, kHeader, line2);
    EXPECT_EQ(Read(user.record()), kNewFile + line3 + line2);
    EXPECT_EQ(Read(user.pending()), kMissing);
    EXPECT_EQ(Read(beside.pending()), kMissing);

    // The record in the user's folder held as well: the line waits for it.
    {
        HeldFile holder(user.record());
        ASSERT_TRUE(holder.held());
        DeliverRecordLine(places, kHeader, line3);
    }
    EXPECT_EQ(Read(user.record()), kNewFile + line3 + line2);
    EXPECT_EQ(Read(user.pending()), kUtf8ByteOrderMark + kHeader + line3);

    // Waiting lines a spreadsheet saved again in its own encoding never reach
    // the record raw: they are kept whole, and the new line goes on.
    Write(user.pending(), kShiftJis);
    DeliverRecordLine(places, kHeader, kNewLine);
    EXPECT_EQ(Read(user.record()), kNewFile + line3 + line2 + kNewLine);
    EXPECT_EQ(Read(user.pending()), kMissing);
    EXPECT_EQ(Read(user.kept(1).parent_path() / "EthBoxVup-log.pending.kept-1.csv"), kShiftJis);

    // Held for a moment (a virus scanner): the line waits it out and
    // reaches the record, its waiting one before it.
    Write(user.pending(), kUtf8ByteOrderMark + kHeader + line2);
    {
        auto holder = std::make_unique<HeldFile>(user.record());
        ASSERT_TRUE(holder->held());
        std::thread release([&holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            holder->Release();
        });
        DeliverRecordLine(places, kHeader, line3);
        release.join();
    }
    EXPECT_EQ(Read(user.record()), kNewFile + line3 + line2 + kNewLine + line2 + line3);
    EXPECT_EQ(Read(user.pending()), kMissing);
}

// Two programs' folders (two sticks), one record held: each line reaches
// the record of its own program, never the other's.
TEST(DeliverRecordLine, LetsAWaitingLineReachOnlyItsOwnRecord) {
    Folder stickA;
    Folder stickB;
    Folder user;
    const RecordPlaces placesA{stickA.record().native(), user.record().native()};
    const RecordPlaces placesB{stickB.record().native(), user.record().native()};
    Write(stickA.record(), kOld);
    {
        HeldFile holder(stickA.record());
        ASSERT_TRUE(holder.held());
        DeliverRecordLine(placesA, kHeader, Line(1));
    }
    DeliverRecordLine(placesB, kHeader, Line(2));
    EXPECT_EQ(Read(stickB.record()), kUtf8ByteOrderMark + kHeader + Line(2));
    EXPECT_EQ(Read(stickA.record()), kOld);
    DeliverRecordLine(placesA, kHeader, Line(3));
    EXPECT_EQ(Read(stickA.record()), kOld + Line(1) + Line(3));
    EXPECT_EQ(Read(stickB.record()), kUtf8ByteOrderMark + kHeader + Line(2));
    EXPECT_EQ(Read(user.record()), kMissing);
    for (const Folder* folder : {&stickA, &stickB, &user}) {
        EXPECT_EQ(Read(folder->pending()), kMissing);
    }
}

// The boxes of a list that end at once, their record held open the while,
// as many as a list may have: each line is kept once, in the order in which
// the deliveries came (that of the waiting lines), and reaches the record
// when it is let go, before the next line. Let go in the midst of them, the
// record gets every line once all the same.
TEST(DeliverRecordLine, KeepsEveryLineOfBoxesEndingTogetherOnceAndInOrder) {
    constexpr int kBoxes = 64;
    for (const bool letGoInTheMidst : {false, true}) {
        SCOPED_TRACE(letGoInTheMidst ? "let go in the midst" : "let go after them");
        Folder beside;
        Folder user;
        const RecordPlaces places{beside.record().native(), user.record().native()};
        Write(beside.record(), kOld);
        HeldFile holder(beside.record());
        ASSERT_TRUE(holder.held());
        std::atomic<bool> go{false};
        std::vector<std::thread> boxes;
        for (int box = 1; box <= kBoxes; ++box) {
            boxes.emplace_back([&, box] {
                while (!go) {
                    std::this_thread::yield();
                }
                DeliverRecordLine(places, kHeader, Line(box));
            });
        }
        go = true;
        if (letGoInTheMidst) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            holder.Release();
        }
        for (std::thread& box : boxes) {
            box.join();
        }
        const std::vector<std::string> waited = LinesIn(beside.pending());
        holder.Release();
        DeliverRecordLine(places, kHeader, Line(kBoxes + 1));

        const std::vector<std::string> written = LinesIn(beside.record());
        ASSERT_EQ(written.size(), std::size_t{kBoxes} + 2);
        EXPECT_EQ(written.front(), kOldLine);
        EXPECT_EQ(written.back(), Line(kBoxes + 1));
        std::vector<std::string> boxLines(written.begin() + 1, written.end() - 1);
        if (!letGoInTheMidst) {
            EXPECT_EQ(boxLines, waited) << "in the order the deliveries came";
        }
        std::vector<std::string> eachOnce;
        for (int box = 1; box <= kBoxes; ++box) {
            eachOnce.push_back(Line(box));
        }
        std::sort(boxLines.begin(), boxLines.end());
        std::sort(eachOnce.begin(), eachOnce.end());
        EXPECT_EQ(boxLines, eachOnce) << "every box's line, once";
        EXPECT_EQ(Read(beside.pending()), kMissing);
        EXPECT_EQ(Read(user.record()), kMissing);
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
    const RecordWrite appended = Append(folder);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(appended, RecordWrite::Failed);
    EXPECT_EQ(Read(folder.record()), kOld);
#endif
}

}  // namespace
