#pragma once

#include "arguments.h"

// One function per subcommand. Each returns the driver's exit code: 0 when
// the command did what it says, nonzero (after a message on stderr) otherwise.

// Windows (window_commands.cpp)
int FindWindowCommand(const Arguments& arguments);
int NoWindowCommand(const Arguments& arguments);
int WaitGoneCommand(const Arguments& arguments);
int WindowStateCommand(const Arguments& arguments);
int MinimizeCommand(const Arguments& arguments);
int CloseCommand(const Arguments& arguments);
int ForegroundCommand(const Arguments& arguments);
int DesktopRectCommand(const Arguments& arguments);

// Controls (control_commands.cpp)
int ControlsCommand(const Arguments& arguments);
int GetTextCommand(const Arguments& arguments);
int SetTextCommand(const Arguments& arguments);
int ClickCommand(const Arguments& arguments);
int KeyCommand(const Arguments& arguments);
int ProgressPosCommand(const Arguments& arguments);

// Processes (process_commands.cpp)
int LaunchCommand(const Arguments& arguments);

// A foreground window of the driver's own (foreground_window_command.cpp)
int HoldForegroundCommand(const Arguments& arguments);

// Wine's desktop kept alive for a test session (keep_desktop_command.cpp)
int KeepDesktopCommand(const Arguments& arguments);

// Following an update: the progress window and message boxes (watch_command.cpp)
int WatchCommand(const Arguments& arguments);

// Pictures (screenshot_command.cpp)
int ScreenshotCommand(const Arguments& arguments);
