#include "platform/path_text.h"

#include "platform/extended_length_path.h"
#include "platform/windows/utf8_from_wide.h"

std::string PathAsTyped(const NativePath& path) {
    return Utf8FromWide(WithoutExtendedLengthPrefix(path));
}
