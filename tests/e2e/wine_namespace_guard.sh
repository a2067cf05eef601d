#!/usr/bin/env bash
# wine-exec.sh runs a program only where its wineserver's network namespace is
# its own: Wine makes the program's sockets in the wineserver's namespace, so
# a server started elsewhere would carry them there.
#   bash wine_namespace_guard.sh PATH/TO/ethbox-sim.exe
# A wineserver for a scratch prefix is started in this test's namespace; the
# same wine-exec.sh call then runs from a second namespace nested in it (and
# must be refused before the program starts) and from this one (and must run).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
PROGRAM=${1:?usage: wine_namespace_guard.sh PATH/TO/ethbox-sim.exe}

if ! "$ROOT/scripts/netns-is-isolated.sh"; then
    echo "$(basename "$0"): refusing to run outside an isolated network namespace" \
        "(run the tests through scripts/in-netns.sh scripts/windows-test-session.sh)" >&2
    exit 1
fi

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

WORK=$(mktemp -d)
export WINEPREFIX=$WORK/prefix
source "$ROOT/scripts/wine-env.sh"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WORK"' EXIT
mkdir -p "$WINEPREFIX"
wineserver -p 60
own_server=$("$ROOT/scripts/wineserver-elsewhere.sh" "$WINEPREFIX") &&
    fail "the scratch prefix's wineserver (pid $own_server) counts as another namespace's"

# The same call from each namespace: the program prints its usage when it runs.
run_in_nested_namespace() {
    unshare --net -- bash -c 'ip link set lo up && exec "$@"' nested "$@"
}
run_here() {
    "$@"
}
cases=(
    # where                  exit status  program ran
    "run_in_nested_namespace 125          no"
    "run_here                0            yes"
)
for case in "${cases[@]}"; do
    read -r where expected_status expected_ran <<<"$case"
    echo "-- $where: expect exit status $expected_status, program ran: $expected_ran"
    status=0
    "$where" "$ROOT/scripts/wine-exec.sh" "$PROGRAM" --help >"$WORK/out" 2>"$WORK/err" || status=$?
    ran=no
    grep -q '^Usage: ethbox-sim' "$WORK/out" && ran=yes
    [[ $status == "$expected_status" && $ran == "$expected_ran" ]] ||
        fail "$where: exit status $status, program ran: $ran; stderr: $(cat "$WORK/err")"
    if [[ $expected_status == 125 ]]; then
        grep -q 'another network namespace' "$WORK/err" || fail "$where: no reason given: $(cat "$WORK/err")"
    fi
done
echo "PASS"
