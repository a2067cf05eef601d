#include "round_summary_window.h"

#include <commctrl.h>

#include "common/ui_texts.h"
#include "process_handles.h"
#include "resource.h"
#include "window_text.h"

namespace {

enum Column : int { kAddressColumn, kOutcomeColumn, kCauseColumn };

const std::vector<BoxResult>& BoxesOf(HWND summary) {
    return *reinterpret_cast<const std::vector<BoxResult>*>(GetWindowLongPtrW(summary, DWLP_USER));
}

HWND ListOf(HWND summary) {
    return GetDlgItem(summary, IDC_SUMMARY_LIST);
}

void AddColumn(HWND list, int column, const char* title, int width) {
    const std::wstring text = WideFromUtf8(title);
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    header.pszText = const_cast<wchar_t*>(text.c_str());
    header.cx = width;
    header.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&header));
}

void SetCell(HWND list, std::size_t row, int column, const std::wstring& text) {
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

// The row of a box: the three fields of its summary line.
void ShowRow(HWND list, std::size_t row, const BoxResult& box) {
    const std::wstring line = WideFromUtf8(SummaryLine(box));
    const std::size_t first = line.find(L'\t');
    const std::size_t second = line.find(L'\t', first + 1);
    SetCell(list, row, kOutcomeColumn, line.substr(first + 1, second - first - 1));
    SetCell(list, row, kCauseColumn, line.substr(second + 1));
}

// The causes are long: their column takes the rest of the list's width, or
// more, with a scroll bar, when one is longer, so that each can be read whole.
void FitCauseColumn(HWND list) {
    RECT area{};
    GetClientRect(list, &area);
    const int rest = area.right - area.left -
                     static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, kAddressColumn, 0)) -
                     static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, kOutcomeColumn, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, kCauseColumn, LVSCW_AUTOSIZE);
    if (SendMessageW(list, LVM_GETCOLUMNWIDTH, kCauseColumn, 0) < rest) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, kCauseColumn, rest);
    }
}

void FillList(HWND summary) {
    const HWND list = ListOf(summary);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_GRIDLINES);
    RECT area{};
    GetClientRect(list, &area);
    const int width = area.right - area.left - GetSystemMetrics(SM_CXVSCROLL);
    AddColumn(list, kAddressColumn, kSummaryColumnAddress, width * 20 / 100);
    AddColumn(list, kOutcomeColumn, kSummaryColumnOutcome, width * 26 / 100);
    AddColumn(list, kCauseColumn, kSummaryColumnCause, width * 54 / 100);
    const std::vector<BoxResult>& boxes = BoxesOf(summary);
    for (std::size_t row = 0; row < boxes.size(); ++row) {
        const std::wstring address = WideFromUtf8(boxes[row].address);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(row);
        item.pszText = const_cast<wchar_t*>(address.c_str());
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        ShowRow(list, row, boxes[row]);
    }
}

void ShowHeading(HWND summary, const RetryListPlace& retryList) {
    SetDlgItemTextW(summary, IDC_SUMMARY_HEADING,
                    WideFromUtf8(SummaryHeading(BoxesOf(summary), retryList)).c_str());
}

// Bottom right of the primary screen's work area: the boxes' windows fill
// it from the top left.
void PlaceInCorner(HWND summary) {
    RECT work{};
    RECT own{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(summary, &own);
    SetWindowPos(summary, HWND_TOP, work.right - (own.right - own.left),
                 work.bottom - (own.bottom - own.top), 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

// The lines on the clipboard as Unicode text, as a technician pastes them
// into a report.
void CopyLines(HWND summary) {
    const std::wstring text = WideFromUtf8(SummaryText(BoxesOf(summary)));
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* const locked = memory != nullptr ? GlobalLock(memory) : nullptr;
    bool taken = false;
    if (locked != nullptr) {
        CopyMemory(locked, text.c_str(), bytes);
        GlobalUnlock(memory);
        if (OpenClipboard(summary)) {
            EmptyClipboard();
            // The clipboard owns the memory once it has taken it.
            taken = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            CloseClipboard();
        }
    }
    if (memory != nullptr && !taken) {
        // Not freed twice: SetClipboardData took nothing when it failed.
        // cppcheck-suppress doubleFree
        GlobalFree(memory);
    }
}

INT_PTR CALLBACK SummaryProc(HWND summary, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(summary, DWLP_USER, lParam);
            SetWindowTextW(summary, WideFromUtf8(kSummaryCaption).c_str());
            SendMessageW(summary, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
            FillList(summary);
            ShowHeading(summary, {});
            return FALSE;
        case WM_COPY:
            CopyLines(summary);
            return TRUE;
        case WM_COMMAND:
            // 閉じる, Esc and the close box, once it is enabled.
            if (LOWORD(wParam) == IDC_SUMMARY_CLOSE &&
                IsWindowEnabled(GetDlgItem(summary, IDC_SUMMARY_CLOSE))) {
                DestroyWindow(summary);
            }
            return TRUE;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

HWND OpenRoundSummary(const std::vector<BoxResult>& boxes) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    return CreateDialogParamW(
        appInstance, MAKEINTRESOURCEW(IDD_ROUND_SUMMARY), nullptr, SummaryProc,
        reinterpret_cast<LPARAM>(const_cast<std::vector<BoxResult>*>(&boxes)));
}

void ShowBoxEnded(HWND summary, std::size_t index) {
    ShowRow(ListOf(summary), index, BoxesOf(summary)[index]);
    FitCauseColumn(ListOf(summary));
    ShowHeading(summary, {});
    if (!IsWindowVisible(summary)) {
        PlaceInCorner(summary);
    }
}

void ShowRoundEnded(HWND summary, const RetryListPlace& retryList) {
    ShowHeading(summary, retryList);
    const HWND close = GetDlgItem(summary, IDC_SUMMARY_CLOSE);
    EnableWindow(close, TRUE);
    if (!IsWindowVisible(summary)) {
        PlaceInCorner(summary);
    }
    SetForegroundWindow(summary);
    SendMessageW(summary, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(close), TRUE);
}

bool SummaryTakesMessage(HWND summary, MSG& message) {
    const bool inSummary = message.hwnd == summary || IsChild(summary, message.hwnd);
    if (inSummary && message.message == WM_KEYDOWN && message.wParam == 'C' &&
        GetKeyState(VK_CONTROL) < 0) {
        CopyLines(summary);
        return true;
    }
    return IsDialogMessageW(summary, &message) != FALSE;
}
