#pragma once

#include <string>
#include <vector>

// The run of several boxes: this program started once for each address, in
// the order given, each process with "/ip:ADDRESS /box:I/N" before the
// command line it was given itself (the first "/ip:" is the one that
// counts), so that each update keeps the pace and the single thread of one
// update alone. Waits for all of them; the exit code is 0 when every box
// completed, otherwise the code of the first box in the list that did not
// (-1 for one that could not be started).
int RunBoxesSideBySide(const std::vector<std::string>& addresses, const std::string& givenLine);
