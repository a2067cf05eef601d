// Pictures of a window or of the whole screen, for people to look at.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "commands.h"
#include "host_path.h"
#include "output.h"
#include "window_search.h"

namespace {

// The pixels of `area` of the screen as a bottom-up 24-bit DIB, rows padded to 4 bytes.
std::vector<std::uint8_t> CaptureScreen(const RECT& area, BITMAPINFOHEADER& header) {
    header = {};
    header.biSize = sizeof(header);
    header.biWidth = area.right - area.left;
    header.biHeight = area.bottom - area.top;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const std::size_t stride = (static_cast<std::size_t>(header.biWidth) * 3 + 3) & ~std::size_t{3};
    header.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(header.biHeight));

    std::vector<std::uint8_t> pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, header.biWidth, header.biHeight, screen, area.left, area.top,
                   SRCCOPY | CAPTUREBLT)) {
            GdiFlush();
            const auto* first = static_cast<const std::uint8_t*>(bits);
            pixels.assign(first, first + header.biSizeImage);
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool WriteBmp(const std::wstring& path, const BITMAPINFOHEADER& header,
              const std::vector<std::uint8_t>& pixels) {
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) && written == sizeof(file);
    ok = ok && WriteFile(out, &header, sizeof(header), &written, nullptr) &&
         written == sizeof(header);
    ok = ok &&
         WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr) &&
         written == pixels.size();
    CloseHandle(out);
    return ok;
}

}  // namespace

// screenshot (SELECTOR | --screen) --out FILE.bmp: saves what the screen shows
// of the window (its whole rectangle, frame included) or the whole screen, as
// a 24-bit BMP. The window is repainted and given a moment first.
int ScreenshotCommand(const Arguments& arguments) {
    const auto out = arguments.Value(L"out");
    if (!out) {
        return Fail("say where to: --out FILE.bmp");
    }
    RECT area{};
    if (arguments.Has(L"screen")) {
        GetWindowRect(GetDesktopWindow(), &area);
    } else {
        std::string error;
        HWND window = WaitForSelectedWindow(arguments, error);
        if (window == nullptr) {
            return Fail(error);
        }
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &ignored);
        Sleep(300);
        GetWindowRect(window, &area);
    }
    if (area.right <= area.left || area.bottom <= area.top) {
        return Fail("nothing to capture: the area is empty");
    }
    BITMAPINFOHEADER header{};
    const auto pixels = CaptureScreen(area, header);
    if (pixels.empty()) {
        return Fail("could not copy the screen");
    }
    if (!WriteBmp(WindowsPathFromHost(*out), header, pixels)) {
        return Fail("could not write the picture");
    }
    return 0;
}
