#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/round_of_boxes.h"

// The one window that ends an attended round of boxes: a line for each box
// in the order given (address, outcome in a word or two, cause), the boxes
// still running shown as running, and above them how far the round is and
// where the list to retry went. It appears when the first box ends, without
// taking the focus from the boxes still running, so that a box that failed
// early is seen at once; it may be closed once every box has ended. Ctrl+C
// in it, and WM_COPY sent to it, copy its lines as text (SummaryText).
// `boxes` must outlive the window.

// The window, hidden; null when it cannot be made (no desktop).
HWND OpenRoundSummary(const std::vector<BoxResult>& boxes);

// Box `index` has ended: its line and the line above the list are brought up
// to date, and the window is shown if it was not yet.
void ShowBoxEnded(HWND summary, std::size_t index);

// Every box has ended: the line above the list says how the round went and
// where the list to retry went, and the window comes to the front, ready to
// be closed.
void ShowRoundEnded(HWND summary, const RetryListPlace& retryList);

// Gives the window a message of the thread's loop first: its dialog keys,
// and Ctrl+C. True when it took the message.
bool SummaryTakesMessage(HWND summary, MSG& message);
