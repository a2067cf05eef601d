#pragma once

// Appends the line of the attempt that has just ended (updateAttempt) to
// EthBoxVup-log.csv: beside EthBoxVup.exe when that folder can be written,
// otherwise in %LOCALAPPDATA%\EthBoxVup\. While another program holds the
// record open, the line waits beside it in EthBoxVup-log.pending.csv and
// reaches that record, before the next line, the next time it can be written
// (DeliverRecordLine).
// Nothing about the record may change what the update did or showed: any
// failure to write it is swallowed.
void RecordAttempt();
