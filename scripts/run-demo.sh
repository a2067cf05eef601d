#!/usr/bin/env bash
# The README's run command: one whole firmware update, watched step by step.
# Installs what is missing, builds EthBoxVup.exe, the test driver and the
# simulated device, then, inside a network namespace of its own where only
# loopback exists, starts ethbox-sim at 127.0.0.1:69 and the program under
# Wine, types 127.0.0.1, presses 開始 and prints each step as it happens,
# ending with the SHA-256 of the image the device kept against the file's.
# Leaves screenshots of the address dialog, the progress window in
# mid-transfer and the completion message in the folder it names.
#
#   bash scripts/run-demo.sh [--headless] [--out DIR]
#
# With a reachable display (DISPLAY) the windows show there and you press OK
# on the last message yourself; without one, or with --headless, they show on
# a private Xvfb and the demo presses OK. Screenshots go to artifacts/demo
# unless --out says otherwise.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/report-failures.sh"
cd "$root"

inside=false
headless=false
out=$root/artifacts/demo
while (($#)); do
    case $1 in
        --in-namespace) inside=true ;;
        --headless) headless=true ;;
        --out)
            out=$(mkdir -p "$2" && cd "$2" && pwd)
            shift
            ;;
        *)
            echo "usage: bash scripts/run-demo.sh [--headless] [--out DIR]" >&2
            exit 2
            ;;
    esac
    shift
done

if ! $inside; then
    echo "== Installing what is missing"
    scripts/install-deps.sh
    echo "== Building the simulated device (native)"
    cmake --preset native >/dev/null
    cmake --build --preset native --target ethbox-sim
    echo "== Building EthBoxVup.exe and the test driver (Windows)"
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target EthBoxVup ethbox-driver
    args=(--out "$out")
    if $headless; then
        args+=(--headless)
    fi
    exec scripts/in-netns.sh bash "$root/scripts/run-demo.sh" --in-namespace "${args[@]}"
fi

# From here on inside the namespace.
scripts/netns-is-isolated.sh || {
    echo "run-demo: not in an isolated network namespace" >&2
    exit 1
}
exe=$root/build/windows/src/app/win32/EthBoxVup.exe
driver_exe=$root/build/windows/tests/driver/ethbox-driver.exe
sim=$root/build/native/tools/ethbox-sim/ethbox-sim
title='ETHERNETボックスバージョンアップ'
main=(--title "$title" --unowned --with-id 1005)
address=127.0.0.1
size=188415 # the largest image the program takes
work=$(mktemp -d)
mkdir -p "$out"

# A prefix of the demo's own, and a wineserver started here: Wine opens the
# program's sockets in the wineserver's network namespace, so one left over
# from outside would carry its datagrams out of this one.
export WINEPREFIX=$root/build/windows/demo-wineprefix
source scripts/wine-env.sh
source scripts/wine-prefix.sh

if ! $headless && [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
    stop_display() { :; }
else
    if ! $headless && [[ -n "${DISPLAY:-}" ]]; then
        # A display reached over the network is out of this namespace's reach.
        echo "The display $DISPLAY cannot be reached from the namespace: using Xvfb instead."
    fi
    headless=true
    source scripts/xvfb-start.sh
    stop_display() { xvfb_stop; }
fi
sim_pid=
launcher_pid=
finish() {
    [[ -z "$launcher_pid" ]] || kill "$launcher_pid" 2>/dev/null || true
    [[ -z "$sim_pid" ]] || kill "$sim_pid" 2>/dev/null || true
    # Ends the program too where it runs in a process of its own (below).
    wineserver -k 2>/dev/null || true
    stop_display
    rm -rf "$work"
}
trap finish EXIT

driver() { scripts/wine-exec.sh "$driver_exe" "$@"; }
seconds() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }

start_wine_prefix 10
tests/e2e/import-japanese-desktop.sh
# Xvfb has no window manager, and Wine would wait about 2 s for one each time
# a window is hidden; a real display has one.
managed=$($headless && echo N || echo Y)
scripts/wine-exec.sh reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f >/dev/null

# The program looks for the firmware file in its own folder.
program_dir=$root/build/windows/demo
mkdir -p "$program_dir"
cp "$exe" "$program_dir/EthBoxVup.exe"
# The record the program keeps beside itself: this demo's line alone.
rm -f "$program_dir/EthBoxVup-log.csv"
firmware=$program_dir/demo-firmware.bin
head -c "$size" < <(yes 'EthBoxVup demo firmware image') >"$firmware"

echo "== The simulated device: ethbox-sim at $address:69"
"$sim" --bind "$address" --port 69 --time-limit 600 --image-out "$work/kept.bin" --quiet \
    >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in {1..100}; do
    grep -q '^ready ' "$work/sim.log" && break
    sleep 0.05
done
grep -q '^ready ' "$work/sim.log" || {
    cat "$work/sim.log" >&2
    exit 1
}

echo "== Starting: EthBoxVup.exe /fm1:demo-firmware.bin /type_ap ($size bytes)"
# With 32-bit Wine installed, the wine started here is not always the program's
# own process (a 64-bit program runs in one that start.exe creates), but it
# ends when the program ends and passes its exit status on.
scripts/wine-exec.sh "$program_dir/EthBoxVup.exe" /fm1:demo-firmware.bin /type_ap &
launcher_pid=$!
driver find-window "${main[@]}" --timeout 30000 >/dev/null
driver set-text "${main[@]}" --id 1005 "$address"
# Never press 開始 on any other address than the one typed here.
[[ "$(driver get-text "${main[@]}" --id 1005)" == "$address" ]] || {
    echo "run-demo: the address field does not hold $address" >&2
    exit 1
}
echo "Typed $address into the address field."
driver screenshot "${main[@]}" --out "$work/address-dialog.bmp"

echo "== Pressing 開始; seconds since then:"
watch_args=(--click-start
    --screenshot-at position=50 --screenshot-out "$work/progress.bmp"
    --screenshot-at message --screenshot-out "$work/message.bmp")
if $headless; then
    watch_args+=(--dismiss --timeout 120000)
else
    watch_args+=(--timeout 600000)
    echo "(The windows are on your display; press OK on the last message to finish.)"
fi
driver watch "${main[@]}" "${watch_args[@]}" | tee "$work/watch.log" | while read -r ms fact; do
    case $fact in
        action=click-start) what="開始 pressed" ;;
        progress-window=*) what="the progress window opens" ;;
        status=*) what="status: ${fact#status=}" ;;
        position=*) what="progress bar at ${fact#position=} %" ;;
        cancel=disabled) what="中止 greyed out while the device writes its flash" ;;
        message*) what="message ($(sed 's/^icon=\([a-z]*\).*/\1/' <<<"${fact#message }") icon): $(sed 's/^icon=[a-z]* text=//; s/\\n/ /g' <<<"${fact#message }")" ;;
        action=dismiss) what="OK pressed" ;;
        gone=progress-window) what="the progress window closes" ;;
        *) continue ;;
    esac
    printf '%8s s  %s\n' "$(seconds "$ms")" "$what"
done

status=0
wait "$launcher_pid" || status=$?
launcher_pid=
echo "EthBoxVup exited with $status"

echo "== What the device kept"
kept=$(sed -n 's/^image //p' "$work/sim.log")
echo "device:   ${kept:-nothing}"
echo "the file: length=$size sha256=$(sha256sum "$firmware" | cut -d' ' -f1)"
if [[ "$kept" == "length=$size sha256=$(sha256sum "$firmware" | cut -d' ' -f1)" ]]; then
    echo "The device kept exactly the firmware file."
else
    echo "The device did NOT keep the firmware file." >&2
    status=1
fi

echo "== The program's record of it ($program_dir/EthBoxVup-log.csv)"
sed 's/\r$//; 1s/^\xEF\xBB\xBF//' "$program_dir/EthBoxVup-log.csv" 2>/dev/null || echo "(none)"

# The schedule the device relies on: the probe's tick, the write request's,
# 50 ms after its acknowledgement, one tick per further block, then eleven
# one-second ticks while it writes its flash.
blocks=$((size / 512 + 1))
scheduled=$((30 + 30 + 50 + 30 * (blocks - 1) + 11 * 1000))
completed=$(sed -n 's/^\([0-9]*\) message .*/\1/p' "$work/watch.log" | head -n 1)
echo "Completion message after $(seconds "${completed:-0}") s; the schedule asks for" \
    "$(seconds "$scheduled") s ($blocks blocks)."

for picture in address-dialog progress message; do
    [[ -f "$work/$picture.bmp" ]] && convert "$work/$picture.bmp" "$out/$picture.png"
done
echo "Screenshots (address dialog, progress window in mid-transfer, completion message): $out"
exit "$status"
