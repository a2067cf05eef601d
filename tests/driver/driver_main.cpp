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
#include "commands.h"
#include "output.h"
#include "window_search.h"
#include "window_text.h"

namespace {

struct Command {
    const wchar_t* name;
    int (*run)(const Arguments&);
    std::set<std::wstring> ownFlags;  // switches that take no value
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {L"find-window", FindWindowCommand, {}},
        {L"no-window", NoWindowCommand, {}},
        {L"wait-gone", WaitGoneCommand, {}},
        {L"window-state", WindowStateCommand, {}},
        {L"minimize", MinimizeCommand, {}},
        {L"close", CloseCommand, {}},
        {L"foreground", ForegroundCommand, {}},
        {L"desktop-rect", DesktopRectCommand, {}},
        {L"controls", ControlsCommand, {}},
        {L"get-text", GetTextCommand, {}},
        {L"set-text", SetTextCommand, {}},
        {L"click", ClickCommand, {L"send"}},
        {L"key", KeyCommand, {}},
        {L"progress-pos", ProgressPosCommand, {}},
        {L"launch", LaunchCommand, {L"wait", L"watch-windows"}},
        {L"hold-foreground", HoldForegroundCommand, {}},
        {L"keep-desktop", KeepDesktopCommand, {}},
        {L"screenshot", ScreenshotCommand, {L"screen"}},
        {L"watch", WatchCommand, {L"click-start", L"dismiss"}},
    };
    return commands;
}

int Usage() {
    std::string names;
    for (const auto& command : Commands()) {
        names += " " + Utf8FromWide(command.name);
    }
    return Fail("usage: ethbox-driver COMMAND [OPTIONS]; commands:" + names);
}

}  // namespace

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
        return command.run(arguments);
    }
    Fail("unknown command: " + Utf8FromWide(name));
    return Usage();
}
