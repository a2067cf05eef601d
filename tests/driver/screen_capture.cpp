#include "screen_capture.h"

namespace {

std::size_t StrideOf(const BITMAPINFOHEADER& header) {
    return (static_cast<std::size_t>(header.biWidth) * 3 + 3) & ~std::size_t{3};
}

}  // namespace

ScreenPicture CaptureScreen(const RECT& area) {
    ScreenPicture picture;
    if (area.right <= area.left || area.bottom <= area.top) {
        return picture;
    }
    BITMAPINFOHEADER& header = picture.header;
    header.biSize = sizeof(header);
    header.biWidth = area.right - area.left;
    header.biHeight = area.bottom - area.top;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage =
        static_cast<DWORD>(StrideOf(header) * static_cast<std::size_t>(header.biHeight));

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
            picture.pixels.assign(first, first + header.biSizeImage);
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

bool WriteBmp(const std::wstring& path, const ScreenPicture& picture) {
    const BITMAPINFOHEADER& header = picture.header;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(picture.pixels.size());
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
         WriteFile(out, picture.pixels.data(), static_cast<DWORD>(picture.pixels.size()), &written,
                   nullptr) &&
         written == picture.pixels.size();
    CloseHandle(out);
    return ok;
}

void RepaintNow(HWND window, UINT timeoutMs) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // A message sent after the repaint request is answered only once the
    // window's thread has got that far.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &ignored);
}
