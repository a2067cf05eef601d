#pragma once

#include <string>

#include "platform/native_path.h"

// `path` as a person would type it, in UTF-8: on Windows without the "\\?\"
// prefix that a long path may carry ("\\?\UNC\server\..." as
// "\\server\..."), elsewhere as it is.
std::string PathAsTyped(const NativePath& path);
