#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "arguments.h"

// Which top-level window a command acts on. Our program's windows, its message
// boxes included, are all "#32770" dialogs with the same caption, so the
// selector can also ask for child ids and for an owner.
//   --hwnd H          exactly this window
//   --title T         caption (exact); --class C (default "#32770"; empty: any)
//   --with-id N       has a child with this id (repeatable); --without-id N likewise
//   --owned/--unowned has / has no owner window (a message box is owned)
//   --pid N           belongs to this process
//   --hidden-too      hidden windows count as well
struct WindowSelector {
    enum class Ownership { Any, Owned, Unowned };

    HWND handle = nullptr;
    std::optional<std::wstring> title;
    std::wstring className = L"#32770";
    std::vector<int> withIds;
    std::vector<int> withoutIds;
    Ownership ownership = Ownership::Any;
    DWORD processId = 0;
    bool hiddenToo = false;
};

// The flags the selector understands, for Arguments.
extern const wchar_t* const kSelectorFlags[];

// Reads the selector's options; empty (and `error` set) when they say nothing usable.
std::optional<WindowSelector> ReadSelector(const Arguments& arguments, std::string& error);

// True when `window` fits the selector.
bool Matches(const WindowSelector& selector, HWND window);

std::vector<HWND> MatchingWindows(const WindowSelector& selector);

// The selector as a failure names it: its title, ids, ownership and class.
std::string DescribeSelector(const WindowSelector& selector);

// Waits up to `timeoutMs` for exactly one matching window. Null, with `error`
// set, when none appeared or when several match.
HWND WaitForOneWindow(const WindowSelector& selector, DWORD timeoutMs, std::string& error);

// Waits up to `timeoutMs` until no window matches.
bool WaitUntilNoWindow(const WindowSelector& selector, DWORD timeoutMs);

// Window facts readable from another process.
std::wstring WindowTitle(HWND window);
std::wstring ClassNameOf(HWND window);

// The `nth` (1-based) child whose id is `id`, ids compared as 16-bit values so
// that -1 and 65535 name the same static text. Null when there is none.
HWND FindControl(HWND window, int id, int nth = 1);

// How long commands wait for a window that is not there yet, and for an
// answer, on a quiet machine (each scaled by WaitScale()).
constexpr DWORD kDefaultTimeoutMs = 5000;
constexpr UINT kAnswerTimeoutMs = 2000;
UINT AnswerTimeoutMs();
// How often a wait for a lasting state looks again: a window that appears
// and stays, one gone for good, a state that holds once reached. Looks cannot
// miss those, and no event tells them under Wine, which raises only
// EVENT_OBJECT_CREATE and EVENT_OBJECT_FOCUS. A state that may be short is
// told by the watch hook instead (watch_channel.h).
constexpr DWORD kPollMs = 20;

// A control's text through WM_GETTEXT; empty when there is no control or its
// window does not answer within `timeoutMs`, which tells a hung program from
// an empty field.
std::optional<std::wstring> ControlText(HWND control, UINT timeoutMs = AnswerTimeoutMs());

// The selector of a command's arguments, waited for up to --timeout (default
// kDefaultTimeoutMs). Null, with `error` set, on failure.
HWND WaitForSelectedWindow(const Arguments& arguments, std::string& error);

// The control named by --id N [--nth K] in that window (the K-th with that id,
// default the first). Null, with `error` set, on failure.
HWND WaitForSelectedControl(const Arguments& arguments, std::string& error);
