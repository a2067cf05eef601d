#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Appends the line of the attempt that has just ended (updateAttempt) to
// EthBoxVup-log.csv: beside EthBoxVup.exe when that folder can be written,
// otherwise in %LOCALAPPDATA%\EthBoxVup\. While another program holds the
// record open, the line waits beside it in EthBoxVup-log.pending.csv and
// reaches that record, before the next line, the next time it can be written
// (DeliverRecordLine).
// Nothing about the record may change what the update did or showed: any
// failure to write it is swallowed.
void RecordAttempt();

// The line of a box of several whose process ended without telling its
// outcome, written by the process that started it, the same way: no outcome,
// the process's exit status, and the seconds from its start to its end.
void RecordBoxWithoutOutcome(const char* address, std::uint32_t exitStatus,
                             std::int64_t tenthsFromStart);

// The program's own folder, ended by a separator; empty when Windows does not
// say.
std::wstring ExecutableFolder();

// The folders the record may be in, each ended by a separator: beside the
// program first, then %LOCALAPPDATA%\EthBoxVup\. What lies beside the
// record (the list to retry a round) goes to the first that can be written.
std::vector<std::wstring> RecordFolders();

// The firmware name of the command line in UTF-8, as the record gives it: a
// name that is no text of the code page (the update refused it) keeps its
// ASCII, the rest as "?".
std::string FirmwareNameUtf8();
