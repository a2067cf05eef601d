#pragma once

#include <string>

// `path` in a form that Windows opens whatever its length. Windows 7 to 11
// refuse a plain path of MAX_PATH (260) characters or more to a program that
// does not declare itself aware of long paths, as none can on Windows 7; a
// path with the "\\?\" prefix may be 32767 long. Windows takes such a path as
// it stands, without the reading it gives a plain one, so it is built here as
// Windows would have read the plain path: absolute, "\" alone as separator,
// no "." or ".." segments, no separator doubled. "C:\..." becomes
// "\\?\C:\...", and a UNC path "\\server\share\..." becomes
// "\\?\UNC\server\share\...". Names ending in a dot or a blank, which Windows
// trims in a plain path, are kept: so spelt they name no file, never another.
// A shorter path, one with the prefix already, or one that is not absolute
// comes back unchanged.
std::wstring ExtendedLengthPath(const std::wstring& path);

// The plain path a prefixed one stands for, as a person would type it:
// "\\?\C:\..." as "C:\...", "\\?\UNC\server\..." as "\\server\...". Any
// other path comes back unchanged.
std::wstring WithoutExtendedLengthPrefix(const std::wstring& path);
