#include "app/ui_texts.h"

const char kWindowCaption[] = u8"ETHERNETボックスバージョンアップ";

const char kAddressFormatMessage[] =
    u8"IPアドレスの指定が間違っています。\n「000.000.000.000」形式で指定してください。";

const char* MessageText(UpdateMessage message) {
    switch (message) {
        case UpdateMessage::FirmwareUnreadable:
            return u8"ファームウェアファイルが読み込めません。\nバージョンアップの実行を中止します"
                   u8"。";
        case UpdateMessage::SocketsFailed:
            return u8"Winsockの初期化に失敗しました。\nバージョンアップの実行を中止します。";
        case UpdateMessage::NoConnection:
            return u8"ETHERNETボックスに接続できませんでした。\n装置の接続状況を確認し、再度バージ"
                   u8"ョンアップを\n実行してください。";
        case UpdateMessage::UpdateFailed:
            return u8"バージョンアップに失敗しました。\n装置の接続状況を確認し、再度バージョンアッ"
                   u8"プを\n実行してください。";
        case UpdateMessage::TransferFailed:
            return u8"データの転送に失敗しました。\nバージョンアップの実行を中止します。";
        case UpdateMessage::Completed:
            return u8"バージョンアップが完了しました。";
        case UpdateMessage::Interrupted:
            return u8"バージョンアップの実行を中断します。";
    }
    return "";
}

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

const char* StatusTextOf(StatusText status) {
    switch (status) {
        case StatusText::Connecting:
            return u8"ETHERNETボックスに接続しています...";
        case StatusText::Transferring:
            return u8"ファームウェアを転送しています...";
        case StatusText::Updating:
            return u8"ファームウェアを更新しています...";
    }
    return "";
}
