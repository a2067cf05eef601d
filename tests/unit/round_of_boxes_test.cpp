#include "app/round_of_boxes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/address_list.h"

namespace {

BoxResult Reported(const std::string& address, int code, const std::string& cause) {
    BoxResult box;
    box.address = address;
    box.end = BoxEnd::Reported;
    box.report = {code, cause};
    return box;
}

BoxResult Ended(const std::string& address, BoxEnd end, std::uint32_t status) {
    BoxResult box;
    box.address = address;
    box.end = end;
    box.status = status;
    return box;
}

const std::string kTransferred = "11ブロックを0.4秒で転送";
const std::string kSilent = "\"/info.sys\"の読み出し: 1秒以内に応答なし";

// What a box writes is what its starter reads, whatever the cause holds; and
// anything a box would not have written, a report cut short above all, is
// no report: the box then gave no outcome.
TEST(BoxReport, IsReadBackWholeOrNotAtAll) {
    const std::string japanese(kMaxBoxReportBytes, 'x');
    const struct {
        BoxReport written;
        BoxReport read;
    } whole[] = {
        {{0, kTransferred}, {0, kTransferred}},
        {{-1, "このアドレスのETHERNETボックスは、別のウィンドウでバージョンアップ中です。"},
         {-1, "このアドレスのETHERNETボックスは、別のウィンドウでバージョンアップ中です。"}},
        {{9, ""}, {9, ""}},
        {{5, "a\tb\nc\x7F"}, {5, "a?b?c?"}},
    };
    for (const auto& c : whole) {
        SCOPED_TRACE(c.written.cause);
        const std::optional<BoxReport> read = ReadBoxReport(BoxReportText(c.written));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->code, c.read.code);
        EXPECT_EQ(read->cause, c.read.cause);
    }

    // A cause too long for one report is cut at a whole character.
    std::string longCause;
    while (longCause.size() < 2 * kMaxBoxReportBytes) {
        longCause += "応答";
    }
    const std::string text = BoxReportText({3, "x" + longCause});
    EXPECT_LE(text.size(), kMaxBoxReportBytes);
    const std::optional<BoxReport> cut = ReadBoxReport(text);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->cause.size() % 3, 1u);
    EXPECT_EQ(("x" + longCause).rfind(cut->cause, 0), 0u);

    for (const std::string& received : {
             std::string(),
             std::string("3 \"/info.sys\"の読み出し"),  // cut short: no line end
             std::string("3\n"),
             std::string(" cause\n"),
             std::string("-1"),
             std::string("- cause\n"),
             std::string("6 a code no box ends with\n"),
             std::string("10 the starter's own code\n"),
             std::string("8 x\n"),
             std::string("03 x\n"),
             std::string("-0 x\n"),
             std::string("3 two\n3 lines\n"),
             std::string("3 a\tb\n"),
             std::string("3 \xE5\xBF\x9C\n", 4),
             "3 " + japanese + "\n",
         }) {
        EXPECT_FALSE(ReadBoxReport(received).has_value()) << received;
    }
}

// A round: every box's line in the order given, its outcome in a word or two
// and its cause; the exit code the first in that order that did not complete,
// whatever the order in which they ended; the line above the list.
TEST(RoundOfBoxes, SummarisesEachBoxAndEndsWithTheFirstInTheListThatFailed) {
    const BoxResult running = Ended("127.0.0.9", BoxEnd::Running, 0);
    const struct {
        const char* what;
        std::vector<BoxResult> boxes;
        std::string lines;
        int exitCode;
        RetryListPlace retryList;
        std::string heading;
    } rounds[] = {
        {"all completed",
         {Reported("127.0.0.1", 0, kTransferred), Reported("127.0.0.2", 0, kTransferred)},
         "127.0.0.1\t完了\t" + kTransferred + "\r\n127.0.0.2\t完了\t" + kTransferred + "\r\n",
         0,
         {},
         "2台すべてのバージョンアップが完了しました。"},
        {"all completed, and an older list beside the program could not be removed",
         {Reported("127.0.0.1", 0, kTransferred)},
         "127.0.0.1\t完了\t" + kTransferred + "\r\n",
         0,
         {"", true, true},
         "1台すべてのバージョンアップが完了しました。\n"
         "EthBoxVup.exe のフォルダの EthBoxVup-retry.txt は前の回のもので、消せませんでした。"
         "/ip:@EthBoxVup-retry.txt はその古い一覧を読みます。"},
        {"one did not complete, its list written in the user's folder, not the program's",
         {Reported("127.0.0.1", 3, kSilent)},
         "127.0.0.1\t接続できませんでした\t" + kSilent + "\r\n",
         3,
         {"C:\\Users\\技術\\AppData\\Local\\EthBoxVup\\EthBoxVup-retry.txt", false, false},
         "1台のうち1台は完了しませんでした。EthBoxVup.exe "
         "のフォルダには書けなかったので、そのアドレスを"
         "次のファイルに書き出しました。\n"
         "C:\\Users\\技術\\AppData\\Local\\EthBoxVup\\EthBoxVup-retry.txt\n"
         "EthBoxVup.exe と同じフォルダにコピーすると、/ip:@EthBoxVup-retry.txt で、その装置だけを"
         "もう一度バージョンアップできます。"},
        // The second failed last, the third first, with a lower code, the fourth
        // last in the list with the highest: the second's code all the same.
        {"the second, third and fourth did not complete",
         {Reported("127.0.0.1", 0, kTransferred),
          Reported("127.0.0.2", 4, "書き込み要求: 1秒以内に応答なし"),
          Reported("127.0.0.3", 3, kSilent),
          Reported("127.0.0.4", 5, "ブロック50/60: 1秒以内に応答なし")},
         "127.0.0.1\t完了\t" + kTransferred +
             "\r\n127.0.0.2\tバージョンアップに失敗しました\t書き込み要求: 1秒以内に応答なし\r\n"
             "127.0.0.3\t接続できませんでした\t" +
             kSilent +
             "\r\n127.0.0.4\tデータの転送に失敗しました\tブロック50/60: 1秒以内に応答なし\r\n",
         4,
         {"C:\\ツール\\EthBoxVup-retry.txt"},
         "4台のうち3台は完了しませんでした。そのアドレスを次のファイルに書き出しました。\n"
         "C:\\ツール\\EthBoxVup-retry.txt\n"
         "/ip:@EthBoxVup-retry.txt で、その装置だけをもう一度バージョンアップできます。"},
        {"one ended from the Task Manager, one crashed, one cancelled while flashing",
         {Ended("127.0.0.1", BoxEnd::NoOutcome, 1),
          Ended("127.0.0.2", BoxEnd::NoOutcome, 0xC0000005),
          Reported("127.0.0.3", 9, "ファームウェア更新中(3秒経過)に中止")},
         "127.0.0.1\t結果がわかりません\t結果を伝えずにプロセスが終わりました(終了コード1)\r\n"
         "127.0.0.2\t結果がわかりません\t結果を伝えずにプロセスが終わりました(終了コード0xC0000005)"
         "\r\n"
         "127.0.0.3\t更新中に中断しました\tファームウェア更新中(3秒経過)に中止\r\n",
         10,
         {},
         "3台のうち3台は完了しませんでした。\n"
         "やり直す装置の一覧 (EthBoxVup-retry.txt) は書き出せませんでした。"},
        {"one never started, one refused by another EthBoxVup, one still running",
         {Reported("127.0.0.1", 0, kTransferred), Ended("127.0.0.5", BoxEnd::NotStarted, 2),
          Reported("127.0.0.6", -1, "このアドレスの…"), running},
         "127.0.0.1\t完了\t" + kTransferred +
             "\r\n127.0.0.5\t開始できませんでした\tプロセスを開始できませんでした(エラー2)\r\n"
             "127.0.0.6\t開始できませんでした\tこのアドレスの…\r\n127.0.0.9\t実行中\t\r\n",
         -1,
         {},
         "4台のうち3台が終わりました。残りはバージョンアップ中です。"},
    };
    for (const auto& round : rounds) {
        SCOPED_TRACE(round.what);
        EXPECT_EQ(SummaryText(round.boxes), round.lines);
        EXPECT_EQ(RoundExitCode(round.boxes), round.exitCode);
        EXPECT_EQ(SummaryHeading(round.boxes, round.retryList), round.heading);
    }
}

// The list to retry names exactly the boxes that did not complete, and the
// reader of "/ip:@FILE" takes it as it is written; a round in which every box
// completed has none.
TEST(RoundOfBoxes, ListsTheBoxesToRetryAsTheListReaderTakesThem) {
    RoundOrigin origin;
    origin.endedAt = LocalTime{2026, 12, 8, 11, 4, 44, 9 * 60};
    origin.firmwareName = "新しい fw\r\n127.0.0.1.bin";
    origin.deviceKind = DeviceKind::E2;
    origin.probeEnabled = false;
    const std::vector<BoxResult> boxes = {
        Reported("127.0.0.3", 3, kSilent),
        Reported("127.0.0.1", 0, kTransferred),
        Ended("127.000.000.002", BoxEnd::NoOutcome, 1),
        Ended("127.0.0.4", BoxEnd::NotStarted, 2),
    };
    const std::string text = RetryListText(boxes, origin);
    EXPECT_EQ(text,
              "\xEF\xBB\xBF# 2026-12-08T11:04:44+09:00 ファームウェア 新しい fw??127.0.0.1.bin "
              "で完了しなかった装置 (4台のうち3台)\r\n"
              "# EthBoxVup.exe /fm1:\"新しい fw??127.0.0.1.bin\" /type_e2 /chkoff "
              "/ip:@EthBoxVup-retry.txt\r\n"
              "127.0.0.3\r\n127.000.000.002\r\n127.0.0.4\r\n");
    std::vector<std::string> addresses;
    ASSERT_TRUE(ReadAddressList(
        "@EthBoxVup-retry.txt",
        [&](const std::string& name, std::string& contents) {
            contents = text;
            return name == kRetryListName;
        },
        addresses));
    EXPECT_EQ(addresses, (std::vector<std::string>{"127.0.0.3", "127.000.000.002", "127.0.0.4"}));

    origin.firmwareName = "fw.bin";
    origin.deviceKind = DeviceKind::Ap;
    origin.probeEnabled = true;
    EXPECT_EQ(RetryListText({Reported("127.0.0.1", 0, kTransferred), boxes[0]}, origin),
              "\xEF\xBB\xBF# 2026-12-08T11:04:44+09:00 ファームウェア fw.bin で完了しなかった装置 "
              "(2台のうち1台)\r\n# EthBoxVup.exe /fm1:fw.bin /type_ap /ip:@EthBoxVup-retry.txt\r\n"
              "127.0.0.3\r\n");
    EXPECT_EQ(RetryListText({boxes[1], boxes[1]}, origin), "");
}

}  // namespace
