#!/usr/bin/env bash
# Runs once before the end-to-end tests that show windows (a CTest fixture):
# makes the Wine prefix show the program as Japanese Windows would.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

"$ROOT/tests/e2e/import-japanese-desktop.sh" || fail "could not prepare the Wine prefix"
# Xvfb has no window manager. Wine would still treat our windows as managed
# and, each time one is hidden (a dismissed message box, an ended dialog),
# wait about 2 s for a manager to confirm it, the program's thread answering
# nothing meanwhile. Unmanaged, they go at once, as they do on Windows.
wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null ||
    fail "could not switch off window management"
echo "PASS"
