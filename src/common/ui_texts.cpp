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

// clang-format on

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
