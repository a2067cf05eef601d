#!/usr/bin/env bash
# Footprint and start: the size of EthBoxVup.exe and the DLLs it imports; its
# memory during a whole update of 188415 bytes (GetProcessMemoryInfo through
# the test driver, and Linux's view of the same process); and the time from
# its start (CreateProcess) to the address dialog being visible.
#
# Usage: bench/footprint.sh [--exe x64|x86]... [STARTS]   (default both builds, 10 starts each)
source "$(dirname "${BASH_SOURCE[0]}")/windows/lib.sh"

starts=${1:-10}
image_size=188415

# field KEY: the value of KEY=VALUE among the words on stdin.
field() {
    tr ' ' '\n' | sed -n "s/^$1=//p"
}

# measure BUILD: the figures of one build, in $WORK/*-BUILD.
measure() {
    local build=$1 exe=${PRODUCT_EXE[$1]}
    stat -c %s "$exe" >"$WORK/size-$build"
    # The DLLs it imports, with the number of functions from each.
    x86_64-w64-mingw32-objdump -p "$exe" | awk '
        /DLL Name:/ { dll = $3; order[++n] = dll; next }
        dll != "" && /^\t[0-9a-f]+\t/ { count[dll]++ }
        /^$/ { dll = "" }
        END { for (i = 1; i <= n; i++) printf("%s%s (%d)", i > 1 ? ", " : "", order[i], count[order[i]]) }' \
        >"$WORK/imports-$build"

    use_program "$exe"
    make_firmware "$image_size"
    # Memory over a whole update; Linux's view of the process is read at the
    # same moment as the driver's, when M6 shows.
    start_sim --kind ap
    start_app /fm1:fw.bin /type_ap
    driver timeline "${MAIN[@]}" --click-start --dismiss-after-ms 50 --timeout 90000 |
        while read -r _ event rest; do
            case $event in
                memory) echo "driver $rest" ;;
                message-visible) echo "linux $(awk '/^(VmHWM|VmRSS|RssAnon|RssFile|RssShmem):/ { printf("%s=%s ", $1, $2) }' \
                    "/proc/$APP_PID/status" | tr -d :)" ;;
            esac
        done >"$WORK/memory-$build"
    expect_app_exit 0
    stop_sim
    expect_image_kept

    driver start-time --app "$APP" --cmdline 'EthBoxVup.exe /fm1:fw.bin /type_ap' --reps "$starts" \
        >"$WORK/starts-$build"
}

start_window_manager
for build in "${BENCH_BUILDS[@]}"; do
    measure "$build"
done

exe_size() { echo "$(cat "$WORK/size-$1") bytes ($(($(cat "$WORK/size-$1") / 1024)) KiB)"; }
# memory KEY BUILD: the largest value the driver read over the update.
memory() { sed -n 's/^driver //p' "$WORK/memory-$2" | tail -n 1 | field "$1"; }
# linux KEY BUILD: Linux's view of the program's process when M6 showed.
linux_view() { sed -n 's/^linux //p' "$WORK/memory-$2" | field "$1"; }
first_start() { sed -n 1p "$WORK/starts-$1" | field visible-ms; }
# starts KEY DECIMALS BUILD: median and range over the starts.
over_starts() { field "$1" <"$WORK/starts-$3" | median_range "$2"; }

echo "== Footprint and start: EthBoxVup.exe (MinSizeRel, static) under Wine"
echo "command: $BENCH_COMMAND"
describe_builds
table_row "" "${COLUMNS[@]}"
figure_row "executable" exe_size
echo "memory over an update of $image_size bytes, until M6 (GetProcessMemoryInfo), KiB:"
figure_row "  peak working set" memory peak-working-set-kib
figure_row "  private bytes (largest seen)" memory peak-private-kib
echo "  Linux's view of the program's process then, KiB:"
for key in VmHWM VmRSS RssAnon RssFile RssShmem; do
    figure_row "    $key" linux_view "$key"
done
echo "start to a visible address dialog, $starts starts one after another, ms:"
figure_row "  first start" first_start
figure_row "  all starts (median, range)" over_starts visible-ms 1
figure_row "  working set then, KiB" over_starts working-set-kib 0
figure_row "  private bytes then, KiB" over_starts private-kib 0
echo "imports (DLL (functions)):"
for build in "${BENCH_BUILDS[@]}"; do
    echo "  $build: $(cat "$WORK/imports-$build")"
done
