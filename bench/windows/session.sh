#!/usr/bin/env bash
# Usage: bench/windows/session.sh COMMAND [ARG...]
# Runs COMMAND in a benchmark session: a network namespace of its own where
# only loopback exists, a private Xvfb, and the wineserver of the benchmarks'
# own Wine prefix, started inside that namespace (Wine makes a program's
# sockets in its wineserver's namespace). Inside a session already, it just
# runs COMMAND.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/report-failures.sh"

if [[ "${ETHBOX_BENCH_SESSION:-}" == 1 ]] && "$root/scripts/netns-is-isolated.sh"; then
    exec "$@"
fi
if ! "$root/scripts/netns-is-isolated.sh"; then
    exec "$root/scripts/in-netns.sh" bash "${BASH_SOURCE[0]}" "$@"
fi

export WINEPREFIX=$root/build/windows/bench-wineprefix
source "$root/scripts/wine-env.sh"
# One session per prefix at a time: a second one would end the first one's
# wineserver (it is reached through a socket in the file system, from any
# namespace) and with it the program being measured. The lock is held by
# flock itself, not handed down to the programs the session starts.
lock=$WINEPREFIX.lock
if [[ "${ETHBOX_BENCH_LOCKED:-}" != "$lock" ]]; then
    mkdir -p "$(dirname "$lock")"
    status=0
    ETHBOX_BENCH_LOCKED=$lock flock --nonblock --conflict-exit-code 75 --close "$lock" \
        bash "${BASH_SOURCE[0]}" "$@" || status=$?
    if ((status == 75)); then
        echo "bench: another benchmark session is running in this work tree; wait for it to end" >&2
    fi
    exit "$status"
fi
source "$root/scripts/wine-prefix.sh"
source "$root/scripts/xvfb-start.sh"
trap 'wineserver -k 2>/dev/null || true; xvfb_stop' EXIT

start_wine_prefix 60
"$root/tests/e2e/import-japanese-desktop.sh"
# Wine ends its desktop a few seconds after the last window is gone, and the
# next program then waits for a new one: that wait is not the program's.
"$root/scripts/wine-exec.sh" "$root/build/windows/tests/driver/ethbox-driver.exe" keep-desktop \
    >/dev/null 2>&1 &

export ETHBOX_BENCH_SESSION=1
"$@"
