#include "message_box.h"

#include "common/ui_texts.h"
#include "window_text.h"

void ShowMessageBox(HWND owner, const char* text, UINT iconFlag) {
    MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(kWindowCaption).c_str(), iconFlag);
}
