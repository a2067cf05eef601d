#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hook/watch_channel_layout.h"

// The driver's end of the watch channel (hook/watch_channel_layout.h): the
// records the watch hook writes in a program's GUI thread, each the state of
// one of its top-level windows right after a message that may have changed
// it, in the order they happened. One watch of a program at a time.
class WatchChannel {
  public:
    // Makes the channel of `process` and has the hook run in its thread
    // `threadId`, held until the driver ends: set by the driver itself in a
    // 64-bit program, by the 32-bit rundll32 with the 32-bit hook in a 32-bit
    // one. False, with `error` set, when it cannot.
    bool Connect(HANDLE process, DWORD threadId, std::string& error);

    // Set after each record.
    HANDLE Ready() const { return ready_; }

    // Appends the records written since the last call. False, with `error`
    // set, when the ring had no room for some or a text did not fit: a watch
    // that missed a change must not pass for one that saw them all.
    bool Take(std::vector<watch_channel::Record>& records, std::string& error);

  private:
    bool HookByHelper(DWORD threadId, DWORD processId, std::string& error);

    watch_channel::Ring* ring_ = nullptr;
    HANDLE ready_ = nullptr;
};
