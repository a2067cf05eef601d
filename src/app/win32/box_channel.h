#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/round_of_boxes.h"
#include "platform/native_path.h"

// How a box of a round tells the process that started it its outcome: an
// anonymous pipe for each box, whose writing end that box alone inherits and
// finds named on its command line ("/report:H", beside "/box:I/N"). Whatever
// the box wrote reaches the starter however its process ends; a box that
// wrote nothing, or less than a whole report, gave no outcome. (The record is
// no such channel: another program may hold it, and a line there names no
// process.)

// The starter's side of one box's channel.
struct BoxChannel {
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;  // the box's end, until its process has it
};

// A new channel; false when none could be made.
bool OpenBoxChannel(BoxChannel& channel);

// The option that names the channel's writing end to the box.
std::wstring BoxChannelOption(const BoxChannel& channel);

// Starts `program` with the command line `line`, its process inheriting the
// channel's writing end and no other handle of ours; the starter's copy of
// that end is closed either way. The process, or null (GetLastError says why).
HANDLE StartWithChannel(const NativePath& program, std::wstring line, BoxChannel& channel);

// Once the box's process has ended: the report it gave, if a whole one. Closes
// the channel.
std::optional<BoxReport> ReceiveBoxReport(BoxChannel& channel);

// The box's side: tells the starter that /report: names, if any, and closes
// the channel. Nothing happens in a run that has no starter to tell, nor at a
// second call: the first report is the box's.
void TellStarter(const BoxReport& report);
