#pragma once

#include <cstddef>

// Full path of the running executable, NUL-terminated. False when it cannot be
// found or does not fit in `size` bytes.
bool GetExecutablePath(char* buffer, std::size_t size);
