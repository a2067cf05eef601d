#!/usr/bin/env bash
# Runs the Windows test preset under Wine and Xvfb. Must run inside an isolated
# network namespace; starts its own wineserver there, because Wine creates
# sockets in the wineserver's namespace, not the calling program's.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/report-failures.sh"
cd "$root"

if ! scripts/netns-is-isolated.sh; then
    echo "windows-test-session: run me through scripts/in-netns.sh" >&2
    exit 125
fi
source scripts/wine-env.sh
source scripts/wine-prefix.sh

source scripts/xvfb-start.sh
trap 'wineserver -k 2>/dev/null || true; xvfb_stop' EXIT

# Our own wineserver, started in this namespace (one left over from outside it
# would carry our sockets out), persistent between test programs and gone a
# minute after the last.
start_wine_prefix 60
# Wine ends its desktop a few seconds after the last window is gone, and the
# next program then waits up to ten seconds for a new one: keep it alive, so a
# test's first window appears as quickly as every later one.
driver=build/windows/tests/driver/ethbox-driver.exe
if [[ -f "$driver" ]]; then
    wine "$driver" keep-desktop >/dev/null 2>&1 &
fi

mkdir -p artifacts
# The 64-bit tree runs its unit tests and every end-to-end test, of both
# programs; the 32-bit tree its own unit tests, where 32-bit size_t, packing
# and unwinding live. Both run, whatever the first gives.
status=0
ctest --preset windows "$@" || status=$?
ctest --preset windows-x86 "$@" || status=$?
exit "$status"
