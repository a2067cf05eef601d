// ethbox-driver: drives EthBoxVup's windows from outside, for the end-to-end
// tests. One subcommand per run; see README.md for the list.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "arguments.h"
#include "bench/bench_commands.h"
#include "commands.h"
#include "output.h"
#include "window_search.h"
#include "window_text.h"

namespace {

// What a command acts on, found before it runs: nothing, the selected window,
// the control --id names in it, or that control when --id is given and the
// window otherwise.
enum class Target { None, Window, Control, ControlOrWindow };

struct Command {
    const wchar_t* name;
    Target target;
    int (*run)(const Arguments&, HWND);
    std::set<std::wstring> ownFlags;  // switches that take no value
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {L"find-window", Target::Window, FindWindowCommand, {}},
        {L"no-window", Target::None, NoWindowCommand, {}},
        {L"wait-gone", Target::None, WaitGoneCommand, {}},
        {L"window-state", Target::Window, WindowStateCommand, {}},
        {L"minimize", Target::Window, MinimizeCommand, {}},
        {L"close", Target::Window, CloseCommand, {}},
        {L"foreground", Target::None, ForegroundCommand, {}},
        {L"desktop-rect", Target::None, DesktopRectCommand, {}},
        {L"controls", Target::Window, ControlsCommand, {}},
        {L"get-text", Target::Control, GetTextCommand, {}},
        {L"set-text", Target::Control, SetTextCommand, {}},
        {L"click", Target::Control, ClickCommand, {L"send"}},
        {L"key", Target::ControlOrWindow, KeyCommand, {}},
        {L"launch", Target::None, LaunchCommand, {L"wait", L"watch-windows"}},
        {L"end-process", Target::Window, EndProcessCommand, {}},
        {L"copy-text", Target::Window, CopyTextCommand, {}},
        {L"hold-foreground", Target::None, HoldForegroundCommand, {}},
        {L"keep-desktop", Target::None, KeepDesktopCommand, {}},
        {L"hold-file", Target::None, HoldFileCommand, {}},
        {L"screenshot", Target::None, ScreenshotCommand, {L"screen"}},
        {L"watch", Target::Window, WatchCommand, {L"click-start", L"dismiss"}},
        // For the benchmarks only.
        {L"timeline", Target::Window, TimelineCommand, {L"click-start"}},
        {L"start-time", Target::None, StartTimeCommand, {}},
    };
    return commands;
}

// The window or control the command acts on; null, with `error` set, when it
// cannot be found, and for a command that acts on none.
HWND FindTarget(const Command& command, const Arguments& arguments, std::string& error) {
    switch (command.target) {
        case Target::None:
            return nullptr;
        case Target::Window:
            return WaitForSelectedWindow(arguments, error);
        case Target::ControlOrWindow:
            if (!arguments.Has(L"id")) {
                return WaitForSelectedWindow(arguments, error);
            }
            [[fallthrough]];
        case Target::Control:
            return WaitForSelectedControl(arguments, error);
    }
    return nullptr;
}

int Usage() {
    std::string names;
    for (const auto& command : Commands()) {
        names += " " + Utf8FromWide(command.name);
    }
    return Fail("usage: ethbox-driver COMMAND [OPTIONS]; commands:" + names);
}

}  // namespace

// wmain's arguments are the UTF-16 command line split up, never the ANSI one,
// which Windows makes with best fit: under code page 1252 a full-width "１"
// handed to set-text or --cmdline would otherwise arrive as an ASCII "1".
int wmain(int argc, wchar_t** argv) {
    // Bytes out as they are: UTF-8 text and no CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    if (argc < 2) {
        return Usage();
    }
    const std::wstring name = argv[1];
    for (const auto& command : Commands()) {
        if (name != command.name) {
            continue;
        }
        std::set<std::wstring> flags = command.ownFlags;
        for (const wchar_t* const* flag = kSelectorFlags; *flag != nullptr; ++flag) {
            flags.insert(*flag);
        }
        const Arguments arguments(std::vector<std::wstring>(argv + 2, argv + argc), flags);
        if (!arguments.Error().empty()) {
            return Fail(arguments.Error());
        }
        std::string error;
        HWND target = FindTarget(command, arguments, error);
        if (command.target != Target::None && target == nullptr) {
            return Fail(error);
        }
        return command.run(arguments, target);
    }
    Fail("unknown command: " + Utf8FromWide(name));
    return Usage();
}
