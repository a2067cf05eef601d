#!/usr/bin/env bash
# The README's run command: installs what is missing, builds EthBoxVup.exe and
# runs it under Wine, inside a network namespace of its own where only
# loopback exists. With a reachable display it shows the program there and
# waits until you close it; without one it runs under Xvfb, saves a screenshot
# to artifacts/ and closes the program itself.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

exe=$root/build/windows/src/app/win32/EthBoxVup.exe
driver_exe=$root/build/windows/tests/driver/ethbox-driver.exe
title='ETHERNETボックスバージョンアップ'
firmware=demo-firmware.bin

if [[ "${1:-}" != --in-namespace ]]; then
    echo "== Installing what is missing"
    scripts/install-deps.sh
    echo "== Building the Windows programs"
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j2 --target EthBoxVup ethbox-driver
    exec scripts/in-netns.sh bash "$root/scripts/run-demo.sh" --in-namespace
fi

# From here on inside the namespace. A prefix of the demo's own, and a
# wineserver started here: Wine opens sockets in the wineserver's namespace.
export WINEPREFIX=$root/build/windows/demo-wineprefix
source scripts/wine-env.sh
wineserver -k 2>/dev/null || true

if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
    headless=false
    stop_display() { :; }
else
    headless=true
    source scripts/xvfb-start.sh
    stop_display() { xvfb_stop; }
fi
trap 'wineserver -k 2>/dev/null || true; stop_display' EXIT

# The persistent server first: "wineserver -p" fails while another one runs,
# and wineboot leaves one running for a few seconds.
mkdir -p "$WINEPREFIX"
wineserver -p 10
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "== Preparing a Wine prefix in $WINEPREFIX (once)"
    wineboot --init >/dev/null 2>&1
fi
tests/e2e/import-japanese-desktop.sh

# The firmware lies beside the executable, where the program looks for it.
if [[ ! -f "$(dirname "$exe")/$firmware" ]]; then
    head -c 65536 < <(yes 'EthBoxVup demo firmware image') >"$(dirname "$exe")/$firmware"
fi

echo "== Starting: EthBoxVup.exe /fm1:$firmware /type_ap"
scripts/wine-exec.sh "$exe" "/fm1:$firmware" /type_ap &
program=$!
driver() { scripts/wine-exec.sh "$driver_exe" "$@"; }
driver find-window --title "$title" --unowned --timeout 30000 >/dev/null

if $headless; then
    mkdir -p artifacts
    bmp=$(mktemp --suffix=.bmp)
    driver screenshot --title "$title" --unowned --out "$bmp"
    convert "$bmp" artifacts/demo-address-dialog.png
    rm -f "$bmp"
    echo "The address dialog, as shown under Xvfb: $root/artifacts/demo-address-dialog.png"
    driver click --title "$title" --unowned --id 2
else
    echo "The address dialog is on your display; press 終了 to finish."
fi
status=0
wait "$program" || status=$?
echo "EthBoxVup exited with $status"
exit "$status"
