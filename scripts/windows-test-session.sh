#!/usr/bin/env bash
# Runs the Windows test preset under Wine and Xvfb. Must run inside an isolated
# network namespace; starts its own wineserver there, because Wine creates
# sockets in the wineserver's namespace, not the calling program's.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

if ! scripts/netns-is-isolated.sh; then
    echo "windows-test-session: run me through scripts/in-netns.sh" >&2
    exit 125
fi
source scripts/wine-env.sh

# A wineserver left over from outside the namespace would carry our sockets out.
wineserver -k 2>/dev/null || true

source scripts/xvfb-start.sh
trap 'wineserver -k 2>/dev/null || true; xvfb_stop' EXIT

# The persistent server first: "wineserver -p" fails while another one runs,
# and wineboot leaves one running for a few seconds.
mkdir -p "$WINEPREFIX"
wineserver -p 60 # persistent between test programs, gone a minute after the last
# Creates the prefix if needed, and starts Wine's background processes here
# with their output going nowhere: started by the first test program, they
# would hold its output pipe open and CTest would wait for them until the time-out.
wineboot --init >/dev/null 2>&1
# Wine ends its desktop a few seconds after the last window is gone, and the
# next program then waits up to ten seconds for a new one: keep it alive, so a
# test's first window appears as quickly as every later one.
driver=build/windows/tests/driver/ethbox-driver.exe
if [[ -f "$driver" ]]; then
    wine "$driver" keep-desktop >/dev/null 2>&1 &
fi

mkdir -p artifacts
ctest --preset windows "$@"
