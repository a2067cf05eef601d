#pragma once

#include <windows.h>

#include "arguments.h"

// One function per subcommand of the end-to-end tests and the scripts, given
// its arguments and the window or control they select: the table in
// driver_main.cpp says which a command acts on, and finds it (or fails) before
// the command runs; a command that selects nothing is given null. Each returns
// the driver's exit code: 0 when the command did what it says, nonzero (after
// a message on stderr) otherwise. The benchmarks' own commands are in
// bench/bench_commands.h.

// Windows (window_commands.cpp)
int FindWindowCommand(const Arguments& arguments, HWND window);
int NoWindowCommand(const Arguments& arguments, HWND);
int WaitGoneCommand(const Arguments& arguments, HWND);
int WindowStateCommand(const Arguments& arguments, HWND window);
int MinimizeCommand(const Arguments& arguments, HWND window);
int CloseCommand(const Arguments& arguments, HWND window);
int ForegroundCommand(const Arguments& arguments, HWND);
int DesktopRectCommand(const Arguments& arguments, HWND);
int CopyTextCommand(const Arguments& arguments, HWND window);

// Controls (control_commands.cpp)
int ControlsCommand(const Arguments& arguments, HWND window);
int GetTextCommand(const Arguments& arguments, HWND control);
int SetTextCommand(const Arguments& arguments, HWND control);
int ClickCommand(const Arguments& arguments, HWND button);
int KeyCommand(const Arguments& arguments, HWND controlOrWindow);

// Processes (process_commands.cpp)
int LaunchCommand(const Arguments& arguments, HWND);
int EndProcessCommand(const Arguments& arguments, HWND window);

// A foreground window of the driver's own (foreground_window_command.cpp)
int HoldForegroundCommand(const Arguments& arguments, HWND);

// Wine's desktop kept alive for a test session (keep_desktop_command.cpp)
int KeepDesktopCommand(const Arguments& arguments, HWND);

// A file held open as a spreadsheet holds it (hold_file_command.cpp)
int HoldFileCommand(const Arguments& arguments, HWND);

// Following an update: the progress window and message boxes (watch_command.cpp)
int WatchCommand(const Arguments& arguments, HWND addressDialog);

// Pictures (screenshot_command.cpp)
int ScreenshotCommand(const Arguments& arguments, HWND);
