#include "app/record_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "app/outcome_detail.h"
#include "transfer/tftp_packets.h"

namespace {

constexpr char kAbcSha256[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// A completed update of the three bytes "abc", which the other rows change.
UpdateRecord Completed() {
    UpdateRecord record;
    record.endedAt = LocalTime{2026, 12, 8, 11, 4, 44, 9 * 60};
    record.outcome.message = UpdateMessage::Completed;
    record.outcome.phase = UpdatePhase::Completed;
    record.outcome.block = 11;
    record.outcome.transferTenths = 4;
    record.outcome.imageLength = 3;
    record.imageSha256 = kAbcSha256;
    record.typedAddress = "127.000.0.010";
    record.deviceKind = DeviceKind::Ap;
    record.firmwareName = "firmware.bin";
    record.tenthsFromStart = 153;
    record.version = "1.0.0.0 win64";
    record.computerName = "BENCH-7";
    return record;
}

// The reply a device's datagram makes, as the endpoint keeps it.
DeviceReply Received(const std::string& bytes) {
    return DescribeDatagram(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            static_cast<int>(bytes.size()));
}

void FailedAtBlock3(UpdateRecord& record, const std::string& datagram) {
    record.outcome.message = UpdateMessage::TransferFailed;
    record.outcome.phase = UpdatePhase::Transferring;
    record.outcome.block = 3;
    record.outcome.blocks = 11;
    record.outcome.reply = Received(datagram);
}

const std::string kTail = ",127.0.0.10,ap,on,firmware.bin,3," + std::string(kAbcSha256) +
                          ",15.3,1.0.0.0 win64,BENCH-7\r\n";
const std::string kM5 = "2026-12-08T11:04:44+09:00,5,データの転送に失敗しました。,";

TEST(RecordLine, TellsOneAttemptInThirteenFields) {
    const struct {
        const char* what;
        std::function<void(UpdateRecord&)> change;
        std::string line;
    } cases[] = {
        {"completed", [](UpdateRecord&) {},
         "2026-12-08T11:04:44+09:00,0,バージョンアップが完了しました。,11ブロックを0.4秒で転送" +
             kTail},
        {"no image: size and digest empty; e2 without the probe, west of UTC",
         [](UpdateRecord& r) {
             r.outcome = UpdateOutcome{};
             r.outcome.message = UpdateMessage::FirmwareUnreadable;
             r.outcome.phase = UpdatePhase::Starting;
             r.outcome.imageRefusal = ImageRefusal::TooLarge;
             r.outcome.fileSize = 188416;
             r.deviceKind = DeviceKind::E2;
             r.probeEnabled = false;
             r.endedAt.utcOffsetMinutes = -(3 * 60 + 30);
         },
         "2026-12-08T11:04:44-03:30,1,ファームウェアファイルが読み込めません。,"
         "ファイルが大きすぎます(188416バイト、188415バイトまで),127.0.0.10,e2,off,firmware.bin,,,"
         "15.3,1.0.0.0 win64,BENCH-7\r\n"},
        {"a failing provider: size and digest empty, as for an unreadable file",
         [](UpdateRecord& r) { r.imageSha256.clear(); },
         "2026-12-08T11:04:44+09:00,0,バージョンアップが完了しました。,11ブロックを0.4秒で転送,"
         "127.0.0.10,ap,on,firmware.bin,,,15.3,1.0.0.0 win64,BENCH-7\r\n"},
        {"a cancel while the device writes its flash: its own code",
         [](UpdateRecord& r) {
             r.outcome.message = UpdateMessage::Interrupted;
             r.outcome.phase = UpdatePhase::FlashWriting;
         },
         ""},
        {"control characters in the names",
         [](UpdateRecord& r) {
             r.firmwareName = "fw\x1B[2J.bin";
             r.computerName = "PC\r\n\xC2\x9B";
         },
         ""},
        {"a name with a comma and quotes is quoted",
         [](UpdateRecord& r) { r.firmwareName = "new \"fw\",2.bin"; }, ""},
        {"a name a spreadsheet would run is made text",
         [](UpdateRecord& r) { r.firmwareName = "=HYPERLINK(\"x\").bin"; }, ""},
        {"an ERROR text with control characters and a leading =",
         [](UpdateRecord& r) {
             FailedAtBlock3(r, std::string("\0\5\0\2", 4) + "=cmd|'/C calc'!A0\r\n\x07\xE3\x81" +
                                   std::string(1, '\0') + "past the terminator");
         },
         kM5 + "ブロック3/11: ERRORパケット(コード2「=cmd|'/C calc'!A0?????」)" + kTail},
        {"an ERROR text of 150 characters keeps 100, and its comma is quoted",
         [](UpdateRecord& r) {
             FailedAtBlock3(r, std::string("\0\5\0\0,", 5) + std::string(149, 'x'));
         },
         kM5 + "\"ブロック3/11: ERRORパケット(コード0「," + std::string(99, 'x') + "」)\"" + kTail},
        {"a datagram of two bytes: only what arrived is read",
         [](UpdateRecord& r) { FailedAtBlock3(r, std::string("\0\4", 2)); },
         kM5 + "ブロック3/11: 予期しないパケット(オペコード4、番号0)" + kTail},
        {"a box whose process crashed before it told its outcome: its own code, no message, "
         "no image, the exit status in hex",
         [](UpdateRecord& r) {
             r.outcomeKnown = false;
             r.exitStatus = 0xC0000005;
         },
         "2026-12-08T11:04:44+09:00,10,,"
         "結果を伝えずにプロセスが終わりました(終了コード0xC0000005),127.0.0.10,ap,on,"
         "firmware.bin,,,15.3,1.0.0.0 win64,BENCH-7\r\n"},
        {"a box ended from the Task Manager: its exit status in decimal",
         [](UpdateRecord& r) {
             r.outcomeKnown = false;
             r.exitStatus = 1;
         },
         "2026-12-08T11:04:44+09:00,10,,結果を伝えずにプロセスが終わりました(終了コード1),"
         "127.0.0.10,ap,on,firmware.bin,,,15.3,1.0.0.0 win64,BENCH-7\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UpdateRecord record = Completed();
        c.change(record);
        const std::string line = RecordLine(record);
        if (!c.line.empty()) {
            EXPECT_EQ(line, c.line);
        }
        // The name's field as CsvField makes it, in its place; no control
        // character but the line's end; the code as the exit code.
        EXPECT_NE(line.find(CsvField(record.firmwareName) + ","), std::string::npos) << line;
        EXPECT_EQ(std::count_if(line.begin(), line.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20; }),
                  2)
            << line;
        const std::string code =
            std::to_string(record.outcomeKnown ? OutcomeCode(record.outcome) : kExitNoOutcome);
        EXPECT_EQ(line.substr(26, code.size() + 1), code + ",");
    }
}

TEST(RecordLine, FieldsAreQuotedAndDefusedAsSpreadsheetsNeed) {
    const struct {
        std::string text;
        std::string field;
    } cases[] = {
        {"plain.bin", "plain.bin"},
        {"", ""},
        {"new \"fw\",2.bin", "\"new \"\"fw\"\",2.bin\""},
        {"two\r\nlines", "two??lines"},
        {"\x1B[31m\x7F\xC2\x85\xC2\xA0", "?[31m??\xC2\xA0"},
        {"=HYPERLINK(\"x\").bin", "\"'=HYPERLINK(\"\"x\"\").bin\""},
        {"+1.bin", "'+1.bin"},
        {"-1.bin", "'-1.bin"},
        {"@SUM.bin", "'@SUM.bin"},
        {"\tx", "?x"},
        {" =1+1", "' =1+1"},
        {"　 =1+1", "'　 =1+1"},
        {"＝1+1", "'＝1+1"},
        {"＋1", "'＋1"},
        {"－1", "'－1"},
        {"＠SUM", "'＠SUM"},
        {"　－1,2", "\"'　－1,2\""},
        {"x =1", "x =1"},
        {"a=b", "a=b"},
        {"ファーム表.bin", "ファーム表.bin"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvField(c.text), c.field) << c.text;
    }
}

TEST(RecordLine, ACancelWhileTheDeviceWritesItsFlashHasItsOwnCode) {
    UpdateOutcome outcome;
    outcome.message = UpdateMessage::Interrupted;
    outcome.phase = UpdatePhase::Transferring;
    EXPECT_EQ(OutcomeCode(outcome), 7);
    outcome.phase = UpdatePhase::FlashWriting;
    EXPECT_EQ(OutcomeCode(outcome), 9);
}

TEST(RecordLine, HeaderNamesTheThirteenColumnsInJapanese) {
    const std::string header = RecordHeaderLine();
    EXPECT_EQ(header.rfind("日時,結果コード,メッセージ,詳細,", 0), 0u);
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), 12);
    EXPECT_EQ(header.substr(header.size() - 2), "\r\n");
}

}  // namespace
