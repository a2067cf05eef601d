#!/usr/bin/env bash
# Runs once before the end-to-end tests that show windows (a CTest fixture):
# makes the Wine prefix show the program as Japanese Windows would.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

"$ROOT/tests/e2e/import-japanese-desktop.sh" || fail "could not prepare the Wine prefix"
echo "PASS"
