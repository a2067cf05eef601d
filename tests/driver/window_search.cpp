#include "window_search.h"

#include <cstdint>
#include <iterator>

#include "window_text.h"

const wchar_t* const kSelectorFlags[] = {L"owned", L"unowned", L"hidden-too", nullptr};

namespace {

bool HasControl(HWND window, int id) {
    return FindControl(window, id) != nullptr;
}

struct Search {
    const WindowSelector* selector;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectMatching(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    if (Matches(*search->selector, window)) {
        search->found.push_back(window);
    }
    return TRUE;
}

struct ChildSearch {
    int id;
    int remaining;
    HWND found;
};

BOOL CALLBACK FindNthChild(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    if ((GetDlgCtrlID(child) & 0xFFFF) == (search->id & 0xFFFF) && --search->remaining == 0) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::optional<WindowSelector> ReadSelector(const Arguments& arguments, std::string& error) {
    WindowSelector selector;
    if (const auto handle = arguments.Number(L"hwnd")) {
        selector.handle = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*handle));
    }
    selector.title = arguments.Value(L"title");
    if (selector.handle == nullptr && !selector.title) {
        error = "say which window: --title TEXT or --hwnd HANDLE";
        return std::nullopt;
    }
    if (const auto className = arguments.Value(L"class")) {
        selector.className = *className;
    }
    for (const long long id : arguments.Numbers(L"with-id")) {
        selector.withIds.push_back(static_cast<int>(id));
    }
    for (const long long id : arguments.Numbers(L"without-id")) {
        selector.withoutIds.push_back(static_cast<int>(id));
    }
    if (arguments.Has(L"owned") && arguments.Has(L"unowned")) {
        error = "--owned and --unowned exclude each other";
        return std::nullopt;
    }
    if (arguments.Has(L"owned")) {
        selector.ownership = WindowSelector::Ownership::Owned;
    } else if (arguments.Has(L"unowned")) {
        selector.ownership = WindowSelector::Ownership::Unowned;
    }
    selector.processId = static_cast<DWORD>(arguments.NumberOr(L"pid", 0));
    selector.hiddenToo = arguments.Has(L"hidden-too");
    return selector;
}

bool Matches(const WindowSelector& selector, HWND window) {
    if (!IsWindow(window)) {
        return false;
    }
    if (selector.handle != nullptr && window != selector.handle) {
        return false;
    }
    if (!selector.hiddenToo && !IsWindowVisible(window)) {
        return false;
    }
    if (selector.processId != 0) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId != selector.processId) {
            return false;
        }
    }
    if (selector.title && WindowTitle(window) != *selector.title) {
        return false;
    }
    if (selector.handle == nullptr && !selector.className.empty() &&
        ClassNameOf(window) != selector.className) {
        return false;
    }
    const bool owned = GetWindow(window, GW_OWNER) != nullptr;
    if ((selector.ownership == WindowSelector::Ownership::Owned && !owned) ||
        (selector.ownership == WindowSelector::Ownership::Unowned && owned)) {
        return false;
    }
    for (const int id : selector.withIds) {
        if (!HasControl(window, id)) {
            return false;
        }
    }
    for (const int id : selector.withoutIds) {
        if (HasControl(window, id)) {
            return false;
        }
    }
    return true;
}

std::vector<HWND> MatchingWindows(const WindowSelector& selector) {
    if (selector.handle != nullptr) {
        return Matches(selector, selector.handle) ? std::vector<HWND>{selector.handle}
                                                  : std::vector<HWND>{};
    }
    Search search{&selector, {}};
    EnumWindows(CollectMatching, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string DescribeSelector(const WindowSelector& selector) {
    std::string text = "[";
    if (selector.title) {
        text += "title \"" + Utf8FromWide(*selector.title) + "\" ";
    }
    for (const int id : selector.withIds) {
        text += "with id " + std::to_string(id) + " ";
    }
    if (selector.ownership != WindowSelector::Ownership::Any) {
        text += selector.ownership == WindowSelector::Ownership::Owned ? "owned " : "unowned ";
    }
    text += "class \"" + Utf8FromWide(selector.className) + "\"]";
    return text;
}

UINT AnswerTimeoutMs() {
    return static_cast<UINT>(kAnswerTimeoutMs * WaitScale());
}

HWND WaitForOneWindow(const WindowSelector& selector, DWORD timeoutMs, std::string& error) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const auto found = MatchingWindows(selector);
        if (found.size() == 1) {
            return found.front();
        }
        if (found.size() > 1) {
            error = std::to_string(found.size()) + " windows match; narrow the selector";
            return nullptr;
        }
        if (GetTickCount64() >= deadline) {
            error = "no window " + DescribeSelector(selector) + " appeared within " +
                    std::to_string(timeoutMs) + " ms";
            return nullptr;
        }
        Sleep(kPollMs);
    }
}

bool WaitUntilNoWindow(const WindowSelector& selector, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!MatchingWindows(selector).empty()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

std::wstring WindowTitle(HWND window) {
    // GetWindowText reads another process's caption without waiting on that process.
    wchar_t title[512] = {};
    GetWindowTextW(window, title, static_cast<int>(std::size(title)));
    return title;
}

std::wstring ClassNameOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

HWND FindControl(HWND window, int id, int nth) {
    ChildSearch search{id, nth, nullptr};
    if (nth >= 1) {
        EnumChildWindows(window, FindNthChild, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

std::optional<std::wstring> ControlText(HWND control, UINT timeoutMs) {
    DWORD_PTR length = 0;
    if (control == nullptr || !SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0,
                                                   SMTO_ABORTIFHUNG, timeoutMs, &length)) {
        return std::nullopt;
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, text.size(),
                             reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, timeoutMs,
                             &copied)) {
        return std::nullopt;
    }
    text.resize(copied);
    return text;
}

HWND WaitForSelectedWindow(const Arguments& arguments, std::string& error) {
    const auto selector = ReadSelector(arguments, error);
    if (!selector) {
        return nullptr;
    }
    const long long timeout = arguments.WaitMs(L"timeout", kDefaultTimeoutMs);
    return WaitForOneWindow(*selector, static_cast<DWORD>(timeout), error);
}

HWND WaitForSelectedControl(const Arguments& arguments, std::string& error) {
    HWND window = WaitForSelectedWindow(arguments, error);
    const auto id = arguments.Number(L"id");
    const long long nth = arguments.NumberOr(L"nth", 1);
    if (window == nullptr || !id) {
        error = window == nullptr ? error : "say which control: --id N";
        return nullptr;
    }
    HWND control = FindControl(window, static_cast<int>(*id), static_cast<int>(nth));
    if (control == nullptr) {
        error = "the window has no control number " + std::to_string(nth) + " with id " +
                std::to_string(*id);
    }
    return control;
}
