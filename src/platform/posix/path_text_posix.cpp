#include "platform/path_text.h"

std::string PathAsTyped(const NativePath& path) {
    return path;
}
