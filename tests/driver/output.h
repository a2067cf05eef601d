#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Everything the driver prints is UTF-8, one fact per line, so that shell
// scripts can compare it byte for byte.
void PrintLine(std::string_view utf8);
void PrintLine(std::wstring_view text);

// Writes "ethbox-driver: <message>" to stderr and returns the exit code of a failure.
int Fail(std::string_view message);

// A control's or window's text on one line: line breaks become the two
// characters \n (and \r becomes \r, a backslash \\).
std::string OneLine(std::wstring_view text);

// A window handle as the driver prints it and reads it back with --hwnd.
std::string HandleText(const void* handle);

// A rectangle as "left,top,right,bottom".
std::string RectText(const RECT& rect);
