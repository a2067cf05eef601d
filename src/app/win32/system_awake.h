#pragma once

// A PC that goes to sleep in the middle of an update leaves the device with
// half an image: while an update runs, Windows is asked to keep the system
// (not the display, which may sleep) awake, and the request is given back
// when it ends. The request is this thread's, and goes with it.

// From the start of an update. Asking again while asked changes nothing.
void KeepSystemAwake();

// When the update has ended, however it ended. Nothing when not asked.
void LetSystemSleep();
