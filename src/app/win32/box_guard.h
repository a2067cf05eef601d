#pragma once

// Never two updates of one box: whoever updates an address holds a named
// mutex for it, system-wide, from before the first datagram until the
// update's end. Runs of /ip: take it for their one address; the address
// dialog takes it at 開始 and gives it back when the progress window ends.

// True when this process now holds the guard of `address` (a checked dotted
// address; 127.0.0.1 and 127.000.000.001 are one). False when another process
// holds it, or when it cannot be told (a guard this user may not open).
bool ClaimBoxGuard(const char* address);

// Gives the guard back, if held.
void ReleaseBoxGuard();
