#pragma once

// POSIX has no window messages. This queue stands in for the thread's message
// queue, so that the receive wait can be re-entered natively as it is on
// Windows: a task posted from any thread runs on the thread that waits in
// ReceiveDatagram (or calls RunOnePostedTask), in the order posted.

using PostedTask = void (*)(void* context);

// From any thread.
void PostTask(PostedTask task, void* context);

// Readable while a task is waiting: the receive wait polls it with its socket.
int PostedTaskSignal();

// Runs the oldest waiting task, if any. False when none was waiting.
bool RunOnePostedTask();
