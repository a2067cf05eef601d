#include "message_box.h"

#include "box_window.h"
#include "window_text.h"

void ShowMessageBox(HWND owner, const char* text, UINT iconFlag) {
    MessageBoxW(owner, WideFromUtf8(text).c_str(), WindowCaption().c_str(), iconFlag);
}
