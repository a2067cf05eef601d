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

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
fi
wineserver -p 60 # persistent between test programs, gone a minute after the last

mkdir -p artifacts
ctest --preset windows "$@"
