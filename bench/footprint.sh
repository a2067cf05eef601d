#!/usr/bin/env bash
# Footprint and start: the size of EthBoxVup.exe and the DLLs it imports; its
# memory during a whole update of 188415 bytes (GetProcessMemoryInfo through
# the test driver, and Linux's view of the same process); and the time from
# its start (CreateProcess) to the address dialog being visible.
#
# Usage: bench/footprint.sh [STARTS]   (default 10)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [[ "${ETHBOX_BENCH_SESSION:-}" != 1 ]]; then
    bash "$here/windows/build.sh"
    exec bash "$here/windows/session.sh" bash "${BASH_SOURCE[0]}" "$@"
fi
source "$here/windows/lib.sh"

starts=${1:-10}
image_size=188415

# field KEY: the value of KEY=VALUE among the words on stdin.
field() {
    tr ' ' '\n' | sed -n "s/^$1=//p"
}

echo "== Footprint and start: EthBoxVup.exe (MinSizeRel, static) under Wine"
echo "command: bash bench/footprint.sh $starts"

size=$(stat -c %s "$PRODUCT_EXE")
echo "executable: $size bytes ($((size / 1024)) KiB)"
echo "imports (DLL: functions):"
x86_64-w64-mingw32-objdump -p "$PRODUCT_EXE" | awk '
    /DLL Name:/ { dll = $3; order[++n] = dll; next }
    dll != "" && /^\t[0-9a-f]+\t/ { count[dll]++ }
    /^$/ { dll = "" }
    END { for (i = 1; i <= n; i++) printf("  %-14s %d\n", order[i], count[order[i]]) }'

use_program "$PRODUCT_EXE"
make_firmware "$image_size"
start_window_manager

# Memory over a whole update; Linux's view of the process is read at the same
# moment as the driver's, when M6 shows.
start_sim --kind ap
start_app /fm1:fw.bin /type_ap
driver timeline "${MAIN[@]}" --click-start --dismiss-after-ms 50 --timeout 90000 |
    while read -r _ event rest; do
        case $event in
            memory) echo "driver $rest" ;;
            message-visible) echo "linux $(awk '/^(VmHWM|VmRSS|RssAnon|RssFile|RssShmem):/ { printf("%s=%s ", $1, $2) }' \
                "/proc/$APP_PID/status" | tr -d :)" ;;
        esac
    done >"$WORK/memory"
expect_app_exit 0
stop_sim
expect_image_kept
memory=$(sed -n 's/^driver //p' "$WORK/memory" | tail -n 1)
linux=$(sed -n 's/^linux //p' "$WORK/memory")
echo "memory over an update of $image_size bytes, until M6 (GetProcessMemoryInfo):"
echo "  peak working set  $(field peak-working-set-kib <<<"$memory") KiB"
echo "  private bytes     $(field peak-private-kib <<<"$memory") KiB (largest seen)"
echo "  Linux's view then: $linux(KiB)"

echo "start to a visible address dialog, $starts starts one after another:"
driver start-time --app "$APP" --cmdline 'EthBoxVup.exe /fm1:fw.bin /type_ap' --reps "$starts" \
    >"$WORK/starts"
echo "  first start       $(sed -n 1p "$WORK/starts" | field visible-ms) ms"
echo "  all starts        $(field visible-ms <"$WORK/starts" | median_range 1) ms (median, range)"
echo "  working set then  $(field working-set-kib <"$WORK/starts" | median_range 0) KiB," \
    "private bytes $(field private-kib <"$WORK/starts" | median_range 0) KiB"
