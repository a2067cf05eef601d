#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hook/watch_channel_layout.h"

// The driver's end of the watch channel (hook/watch_channel_layout.h): the
// records that the watch hook writes in the GUI thread of a program, each the
// state of one of its top-level windows right after a message that may have
// changed it, in the order they happened. One watch of a program at a time.
class WatchChannel {
  public:
    // Makes the channel of `process` and has the hook run in its thread
    // `threadId`: set by the driver itself for a 64-bit program; for a 32-bit
    // one by the 32-bit rundll32 with the 32-bit hook, which holds it until
    // the driver ends. False, with `error` set, when it cannot.
    bool Connect(HANDLE process, DWORD threadId, std::string& error);

    // Set after each record.
    HANDLE Ready() const { return ready_; }

    // Appends the records written since the last call. False, with `error`
    // set, when the ring had no room for some or a text did not fit whole:
    // a watch that missed a change must not pass for one that saw them all.
    bool Take(std::vector<watch_channel::Record>& records, std::string& error);

  private:
    bool HookHere(DWORD threadId, std::string& error);
    bool HookByHelper(DWORD threadId, DWORD processId, std::string& error);

    watch_channel::Ring* ring_ = nullptr;
    HANDLE ready_ = nullptr;
};
