#pragma once

#include "platform/native_path.h"

// Full path of the running executable, however long the system made it.
// False, with `path` empty, when it cannot be found.
bool GetExecutablePath(NativePath& path);
