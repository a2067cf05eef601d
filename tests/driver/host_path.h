#pragma once

#include <string>

// Under Wine, test scripts hand the driver Linux paths ("/work/..."); Windows
// functions want drive paths. A path that starts with "/" is translated through
// Wine's own mapping; any other path, and every path on real Windows, is
// returned unchanged.
std::wstring WindowsPathFromHost(const std::wstring& path);
