#pragma once

// Numeric resource ids, shared by the resource script and the Win32 shell.

// Templates and the icon.
#define IDD_ADDRESS_DIALOG 102
#define IDD_PROGRESS_DIALOG 119
#define IDD_ROUND_SUMMARY 120
#define IDI_ETHBOX 103

// Controls of the address dialog. The start and quit buttons carry the ids the
// dialog manager gives Enter and Esc (IDOK, IDCANCEL).
#define IDC_START_BUTTON 1
#define IDC_QUIT_BUTTON 2
#define IDC_ADDRESS_EDIT 1005

// Controls of the progress window. Its cancel button is IDCANCEL too, so Esc
// and the close box cancel.
#define IDC_ABORT_BUTTON 2
#define IDC_STATUS_TEXT 1003
#define IDC_PROGRESS_BAR 1051

// Controls of the summary of a round of boxes. Its close button is IDCANCEL
// too, so Esc and the close box close it once it may be closed.
#define IDC_SUMMARY_CLOSE 2
#define IDC_SUMMARY_HEADING 1101
#define IDC_SUMMARY_LIST 1102

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
