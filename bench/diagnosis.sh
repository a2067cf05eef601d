#!/usr/bin/env bash
# The look at the PC's network: how long EthBoxVup takes, before the message
# box of an update that nothing answered, to read its adapters, neighbour
# table and route, and Windows Firewall through COM, and to judge why. Each
# look is a process of its own, as in the program, where nothing of it was
# loaded before (network-look.exe, the same code). The address is this PC's own, 127.0.0.1: in the session's
# namespace, loopback is all there is, and the look sends nothing.
#
# Usage: bench/diagnosis.sh [--exe x64|x86]... [LOOKS]   (default both builds, 5 looks each)
source "$(dirname "${BASH_SOURCE[0]}")/windows/lib.sh"

looks=${1:-5}
declare -A LOOK_EXE=(
    [x64]=$ROOT/build/windows/bench/windows/network-look.exe
    [x86]=$ROOT/build/windows-x86/bench/windows/network-look.exe
)

for build in "${BENCH_BUILDS[@]}"; do
    : >"$WORK/look-$build"
    for ((look = 1; look <= looks; look++)); do
        "$ROOT/scripts/wine-exec.sh" "${LOOK_EXE[$build]}" "$DEVICE_ADDRESS" >"$LOGS/look" 2>&1 ||
            fail "network-look.exe failed: $(cat "$LOGS/look")"
        grep -q '^detail=.*このPC自身のアドレスです' "$LOGS/look" ||
            fail "the look did not find $DEVICE_ADDRESS to be this PC's own: $(cat "$LOGS/look")"
        sed -n 's/^ms=\([0-9.]*\) .*/\1/p' "$LOGS/look" >>"$WORK/look-$build"
    done
done

echo "== The look at the PC's network before the message box: network-look.exe under Wine"
echo "command: $BENCH_COMMAND"
for build in "${BENCH_BUILDS[@]}"; do
    echo "$build: ${LOOK_EXE[$build]#"$ROOT/"} (${BUILD_NAME[$build]}, the program's own code for the look)"
done
table_row "" "${COLUMNS[@]}"
figure_row "one look, $looks processes, ms (median, range)" median_of look 1
