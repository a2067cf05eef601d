#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A copy of part of the screen: what the user sees there, whichever process
// drew it. Rows run bottom-up, three bytes a pixel (blue, green, red), each
// row padded to four bytes, as a 24-bit DIB holds them.
struct ScreenPicture {
    BITMAPINFOHEADER header{};
    std::vector<std::uint8_t> pixels;
};

// Empty pixels when the area is empty or the screen cannot be read.
ScreenPicture CaptureScreen(const RECT& area);

bool WriteBmp(const std::wstring& path, const ScreenPicture& picture);

// Asks `window` to repaint itself and everything on it now, and waits (at
// most `timeoutMs`) until its thread has done so, so that a picture taken
// next shows its present state.
void RepaintNow(HWND window, UINT timeoutMs);
