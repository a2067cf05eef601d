#include "common/ui_texts.h"

// Plain literals hold the texts as UTF-8 under C++17 and C++20 alike (u8"..."
// turns into char8_t under C++20, which no const char* takes), as long as the
// compiler keeps the source's UTF-8 (MSVC needs /utf-8): this says so.
static_assert(sizeof("ー") == 4 && "ー"[0] == '\xE3', "texts must be compiled as UTF-8");

// Each text stays whole, line for line as the user sees it, so that a search
// of the source for what is on the screen finds it.
// clang-format off

const char kWindowCaption[] = "ETHERNETボックスバージョンアップ";

const char kAddressFormatMessage[] =
    "IPアドレスの指定が間違っています。\n"
    "「000.000.000.000」形式で指定してください。";

const char kBoxBusyMessage[] =
    "このアドレスのETHERNETボックスは、別のウィンドウでバージョンアップ中です。\n"
    "終わってから、もう一度実行してください。";

const char* MessageText(UpdateMessage message) {
    switch (message) {
        case UpdateMessage::FirmwareUnreadable:
            return "ファームウェアファイルが読み込めません。\n"
                   "バージョンアップの実行を中止します。";
        case UpdateMessage::SocketsFailed:
            return "Winsockの初期化に失敗しました。\n"
                   "バージョンアップの実行を中止します。";
        case UpdateMessage::NoConnection:
            return "ETHERNETボックスに接続できませんでした。\n"
                   "装置の接続状況を確認し、再度バージョンアップを\n"
                   "実行してください。";
        case UpdateMessage::UpdateFailed:
            return "バージョンアップに失敗しました。\n"
                   "装置の接続状況を確認し、再度バージョンアップを\n"
                   "実行してください。";
        case UpdateMessage::TransferFailed:
            return "データの転送に失敗しました。\n"
                   "バージョンアップの実行を中止します。";
        case UpdateMessage::Completed:
            return "バージョンアップが完了しました。";
        case UpdateMessage::Interrupted:
            return "バージョンアップの実行を中断します。";
    }
    return "";
}

const char* StatusTextOf(StatusText status) {
    switch (status) {
        case StatusText::Connecting:
            return "ETHERNETボックスに接続しています...";
        case StatusText::Transferring:
            return "ファームウェアを転送しています...";
        case StatusText::Updating:
            return "ファームウェアを更新しています...";
    }
    return "";
}

const char kRecordHeader[] =
    "日時,結果コード,メッセージ,詳細,IPアドレス,種別,種別確認,ファームウェア,"
    "サイズ(バイト),SHA-256,所要時間(秒),バージョン,コンピューター名";

const char* DetailTextOf(DetailText text) {
    switch (text) {
        case DetailText::NameRefused:     return "ファイル名として使えない名前です";
        case DetailText::FileNotFound:    return "ファイルが見つかりません";
        case DetailText::FileTooSmall:    return "ファイルが小さすぎます(%1バイト、5120バイト以上が必要)";
        case DetailText::FileTooLarge:    return "ファイルが大きすぎます(%1バイト、188415バイトまで)";
        case DetailText::FileReadError:   return "ファイルの読み込みエラー";
        case DetailText::SocketCall:      return "%1が失敗しました(WinSockエラー%2)";
        case DetailText::AddressTooLong:  return "IPアドレスが63文字を超えています";
        case DetailText::AtProbe:         return "\"/info.sys\"の読み出し: ";
        case DetailText::AtWriteRequest:  return "書き込み要求: ";
        case DetailText::AtBlock:         return "ブロック%1/%2: ";
        case DetailText::NoAnswer:        return "1秒以内に応答なし";
        case DetailText::PortRefused:     return "ポートが拒否されました(ICMP到達不能)";
        case DetailText::EmptyAnswer:     return "空の応答";
        case DetailText::ReceiveError:    return "受信エラー";
        case DetailText::ErrorPacket:     return "ERRORパケット(コード%1「%2」)";
        case DetailText::OtherPacket:     return "予期しないパケット(オペコード%1、番号%2)";
        case DetailText::OtherKind:       return "装置の種別が違います(先頭\"%1\"は%2)";
        case DetailText::NoKindByte:      return "種別が読み取れません(先頭0x%1)";
        case DetailText::EmptyAnswers:    return "空の応答が%1回続きました";
        case DetailText::AfterEmpty:      return "(空の応答%1回の後)";
        case DetailText::CancelledProbe:  return "装置の種別確認中に中止";
        case DetailText::CancelledBlock:  return "転送中(ブロック%1/%2)に中止";
        case DetailText::CancelledSecond: return "ファームウェア更新中(%1秒経過)に中止";
        case DetailText::Transferred:     return "%1ブロックを%2秒で転送";
        case DetailText::NoUpdate:        return "実行中の更新がありません";
        case DetailText::FirmwarePath:    return "。ファイルの場所: %1";
        case DetailText::SendRefused:     return "。送信できませんでした: 宛先への経路がありません(WinSockエラー%1)";
        case DetailText::SendFailed:      return "。送信できませんでした(WinSockエラー%1)";
        case DetailText::OwnAddress:      return "。%1はこのPC自身のアドレスです";
        case DetailText::OtherNetwork:    return "。%1を含むネットワークに接続したアダプターがありません。接続中: %2";
        case DetailText::NoConnectedAdapter: return "。接続中のネットワークアダプターがありません";
        case DetailText::AdapterDisconnected: return "。%1を含むネットワークのアダプター%2が接続されていません(ケーブル、Wi-Fi)";
        case DetailText::NoDevice:        return "。%1にはARPに応答する装置がありません";
        case DetailText::DeviceSilent:    return "。%1の装置はARPに応答しましたが、TFTPに応答しません。ファイアウォールか装置のモードが応答を止めている可能性があります";
        case DetailText::AdapterLost:     return "。転送中にアダプター%2の接続が切れました";
        case DetailText::DeviceGone:      return "。転送中に%1の装置がARPに応答しなくなりました";
        case DetailText::AdapterAddress:  return "「%1 %2」";
        case DetailText::EndedWithoutOutcome: return "結果を伝えずにプロセスが終わりました(終了コード%1)";
        case DetailText::BoxNotStarted:   return "プロセスを開始できませんでした(エラー%1)";
        case DetailText::NoProgressWindow: return "進行状況のウィンドウを開けませんでした";
        case DetailText::TwoAdapters:     return "。%1を含むネットワークに接続したアダプターが複数あります: %2。Windowsは%3から送信するため、ほかのアダプターにつないだ装置は応答できません";
        case DetailText::ViaGateway:      return "。%1はこのPCのネットワークの外(ルーターの先)にあり、アダプター%3からゲートウェイ%2を経由して送信しました";
        case DetailText::WriteIgnored:    return "。%1の装置は種別確認に応答しましたが、書き込み要求には応答しません";
        case DetailText::FirewallRuleBlocks: return "。%1の装置はARPに応答しましたが、Windows ファイアウォールの規則「%2」がこのプログラムへの受信をブロックしています(%3プロファイル)。管理者の権限で「Windows Defender ファイアウォール」→「詳細設定」からこの規則を変更できます";
        case DetailText::FirewallBlocksAll: return "。%1の装置はARPに応答しましたが、Windows ファイアウォールが%3プロファイルですべての着信接続をブロックしているため、応答が届きません。管理者の権限で「Windows Defender ファイアウォール」→「詳細設定」から変更できます";
        case DetailText::FirewallBlocksByDefault: return "。%1の装置はARPに応答しましたが、Windows ファイアウォールが%3プロファイルで受信を既定でブロックし、このプログラムを許可する規則がないため、応答が届きません。管理者の権限で「ファイアウォールを介したアプリまたは機能を許可」からこのプログラムを許可してください";
        case DetailText::FirewallNotTheCause: return "。%1の装置はARPに応答しましたが、TFTPに応答しません。Windows ファイアウォールは%3プロファイルで%2ので原因ではなく、装置自身がTFTPに応答していません";
        case DetailText::FirewallOffReason: return "無効な";
        case DetailText::FirewallAllowsReason: return "規則「%1」によりこのプログラムを許可している";
        case DetailText::FirewallOpenReason: return "受信を既定で許可している";
        case DetailText::ProfileDomain:   return "ドメイン";
        case DetailText::ProfilePrivate:  return "プライベート";
        case DetailText::ProfilePublic:   return "パブリック";
    }
    return "";
}

const char* BoxWordText(BoxWord word) {
    switch (word) {
        case BoxWord::Running:                  return "実行中";
        case BoxWord::Completed:                return "完了";
        case BoxWord::FirmwareUnreadable:       return "ファームウェアファイルが読み込めません";
        case BoxWord::SocketsFailed:            return "Winsockの初期化に失敗しました";
        case BoxWord::NoConnection:             return "接続できませんでした";
        case BoxWord::UpdateFailed:             return "バージョンアップに失敗しました";
        case BoxWord::TransferFailed:           return "データの転送に失敗しました";
        case BoxWord::Interrupted:              return "中断しました";
        case BoxWord::InterruptedWhileFlashing: return "更新中に中断しました";
        case BoxWord::NotStarted:               return "開始できませんでした";
        case BoxWord::NoOutcome:                return "結果がわかりません";
    }
    return "";
}

// clang-format on

// The summary's and the list to retry's texts: no message of an update (the
// read-me quotes each of those, found in the block above, one by one), but
// the lines a round ends with, which the read-me describes with the summary.
const char kSummaryCaption[] = "結果 - ETHERNETボックスバージョンアップ";
const char kSummaryColumnAddress[] = "IPアドレス";
const char kSummaryColumnOutcome[] = "結果";
const char kSummaryColumnCause[] = "詳細";

const char kSummaryRunning[] = "%1台のうち%2台が終わりました。残りはバージョンアップ中です。";

const char kSummaryAllCompleted[] = "%1台すべてのバージョンアップが完了しました。";

const char kSummaryRetryWritten[] =
    "%1台のうち%2台は完了しませんでした。そのアドレスを次のファイルに書き出しました。\n"
    "%3\n"
    "/ip:@EthBoxVup-retry.txt で、その装置だけをもう一度バージョンアップできます。";

const char kSummaryRetryWrittenElsewhere[] =
    "%1台のうち%2台は完了しませんでした。EthBoxVup.exe "
    "のフォルダには書けなかったので、そのアドレスを"
    "次のファイルに書き出しました。\n"
    "%3\n"
    "EthBoxVup.exe と同じフォルダにコピーすると、/ip:@EthBoxVup-retry.txt "
    "で、その装置だけをもう一度"
    "バージョンアップできます。";

const char kSummaryOldRetryListLeft[] =
    "\nEthBoxVup.exe のフォルダの EthBoxVup-retry.txt は前の回のもので、消せませんでした。"
    "/ip:@EthBoxVup-retry.txt はその古い一覧を読みます。";

const char kSummaryRetryNotWritten[] =
    "%1台のうち%2台は完了しませんでした。\n"
    "やり直す装置の一覧 (EthBoxVup-retry.txt) は書き出せませんでした。";

const char kRetryListHeading[] = "# %1 ファームウェア %2 で完了しなかった装置 (%4台のうち%3台)";
const char kRetryListCommand[] = "# EthBoxVup.exe /fm1:%1 /type_%2%3 /ip:@EthBoxVup-retry.txt";

MessageIcon MessageIconOf(UpdateMessage message) {
    switch (message) {
        case UpdateMessage::TransferFailed:
            return MessageIcon::Stop;
        case UpdateMessage::Completed:
            return MessageIcon::None;
        default:
            return MessageIcon::Exclamation;
    }
}
