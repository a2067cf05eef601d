#pragma once

#include <string>

// EthBoxVup-retry.txt, beside the record: `text` (RetryListText) written to
// the first of the record's folders that takes it, and an older list removed
// from the others, so that only the list of the latest round is found. With
// no text (every box completed), the list is removed from all of them. The
// path written, as a person would type it (UTF-8), or empty when none was.
std::string KeepRetryList(const std::string& text);
