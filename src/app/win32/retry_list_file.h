#pragma once

#include <string>

#include "app/round_of_boxes.h"

// EthBoxVup-retry.txt, beside the record: `text` (RetryListText) written to
// the first of the record's folders that takes it, and an older list removed
// from the others, so that only the list of the latest round is found. With
// no text (every box completed), the list is removed from all of them.
RetryListPlace KeepRetryList(const std::string& text);
