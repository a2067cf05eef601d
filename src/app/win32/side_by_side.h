#pragma once

#include <string>
#include <vector>

// The run of several boxes, a round: this program started once for each
// address, in the order given, each process with "/ip:ADDRESS /box:I/N
// /report:H" before the command line it was given itself (the first "/ip:"
// is the one that counts), so that each update keeps the pace and the single
// thread of one update alone. This process owns the round: it hears each
// box's outcome through the box's channel (box_channel.h), writes the record
// line of a box that ended without telling it, shows the summary unless
// /quiet was given, and keeps the list to retry (EthBoxVup-retry.txt). The
// exit code is 0 when every box completed, otherwise the code of the first
// box in the list that did not (-1 for one that could not be started,
// kExitNoOutcome for one that never told its outcome); with the summary, the
// command ends when the summary is closed.
int RunBoxesSideBySide(const std::vector<std::string>& addresses, const std::string& givenLine);
