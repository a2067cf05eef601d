#!/usr/bin/env bash
# Runs the Windows tests under Wine: the unit tests of the 64-bit and of the
# 32-bit tree, and the end-to-end tests, side by side. Must run inside an
# isolated network namespace (scripts/in-netns.sh), where it makes the shared
# Wine prefix ready once; every test then runs in a session of its own
# (scripts/wine-session.sh) on a private view of that prefix.
#
#   scripts/in-netns.sh scripts/windows-test-session.sh [CTEST ARGUMENTS...]
#
# CTest arguments (-R REGEX, -L LABEL, ...) go to each of the three runs; a
# run they leave without tests is skipped. Without them, a run that finds no
# test fails (the presets' noTestsAction): a tree that lost its tests never
# passes. ETHBOX_E2E_JOBS sets how many
# end-to-end tests run at once (5: they mostly wait on the device's pace; with
# 4, the run took longer than its longest test, the release builds).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/report-failures.sh"
cd "$root"

if ! scripts/netns-is-isolated.sh; then
    echo "windows-test-session: run me through scripts/in-netns.sh" >&2
    exit 125
fi
source scripts/wine-env.sh
source scripts/wine-prefix.sh

# The shared prefix: made once, given the Japanese desktop, then left with no
# wineserver, as every session's copy-on-write view of it requires.
prepare_shared_prefix() {
    local stamp=$WINEPREFIX/.ethbox-desktop wanted
    wanted=$(cat tests/e2e/japanese-desktop.reg tests/e2e/import-japanese-desktop.sh | sha256sum)
    start_wine_prefix 5
    if [[ $(cat "$stamp" 2>/dev/null) != "$wanted" ]]; then
        tests/e2e/import-japanese-desktop.sh
        # Xvfb has no window manager. Wine would still treat our windows as
        # managed and, each time one is hidden (a dismissed message box, an
        # ended dialog), wait about 2 s for a manager to confirm it, the
        # program's thread answering nothing meanwhile. Unmanaged, they go at
        # once, as they do on Windows.
        scripts/wine-exec.sh reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
        echo "$wanted" >"$stamp"
    fi
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
prepare_shared_prefix
export ETHBOX_PREFIX_TEMPLATE=$WINEPREFIX

if (($# > 0)); then
    set -- --no-tests=ignore "$@"
fi

mkdir -p artifacts
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# run NAME LOG COMMAND...: its output to LOG, or to ours when LOG is empty;
# its status to $logs/NAME.status.
run() {
    local name=$1 log=$2 status=0
    shift 2
    if [[ -n $log ]]; then
        "$@" >"$log" 2>&1 || status=$?
    else
        "$@" || status=$?
    fi
    echo "$status" >"$logs/$name.status"
}

# Unit tests: one session for each tree, each test program started in it by
# CTest through scripts/wine-exec.sh.
run unit "$logs/unit.log" scripts/wine-session.sh ctest --preset windows -LE e2e "$@" &
unit=$!
run unit-x86 "$logs/unit-x86.log" scripts/wine-session.sh ctest --preset windows-x86 "$@" &
unit_x86=$!
# End-to-end tests: each starts a session of its own. Only their folder of
# the tree is read: a CTest run of the whole tree would also list each unit
# test program's tests, running it under Wine here, outside any session, on
# the shared prefix that the sessions' views are made of.
run e2e "" ctest --preset windows --test-dir build/windows/tests/e2e -L e2e -j "${ETHBOX_E2E_JOBS:-5}" "$@"
wait "$unit" "$unit_x86" || true

status=0
for name in unit unit-x86; do
    printf '\n== Windows unit tests (%s) ==\n' "$name"
    cat "$logs/$name.log"
done
for name in e2e unit unit-x86; do
    run_status=$(cat "$logs/$name.status")
    if ((run_status != 0)); then
        echo "windows-test-session: the $name tests failed (status $run_status)" >&2
        status=1
    fi
done
exit "$status"
