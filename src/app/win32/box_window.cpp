#include "box_window.h"

#include "app/box_tiles.h"
#include "common/launch_options.h"
#include "common/typed_address.h"
#include "common/ui_texts.h"
#include "window_text.h"

std::wstring WindowCaption() {
    std::wstring caption = WideFromUtf8(kWindowCaption);
    if (launchOptions.boxCount > 0) {
        caption = WideFromUtf8(typedAddress) + L" - " + caption;
    }
    return caption;
}

void PlaceBoxWindow(HWND window) {
    RECT work{};
    RECT own{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window, &own);
    const TileArea area{work.left, work.top, work.right - work.left, work.bottom - work.top};
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const TileOrigin origin = BoxTileOrigin(area, width, height, launchOptions.boxNumber);
    SetWindowPos(window, HWND_TOP, origin.x, origin.y, width, height, SWP_SHOWWINDOW);
}
