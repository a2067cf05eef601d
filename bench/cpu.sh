#!/usr/bin/env bash
# CPU while waiting: the CPU time of the real EthBoxVup.exe under Wine over a
# whole update of 188415 bytes, as a share of its wall time, and over a
# receive that waits for a silent device, per second of waiting. Both for the
# product, whose receive sleeps until the socket or the message queue wakes
# it, and for EthBoxVup-polling.exe, a benchmark build whose receive asks both
# again and again as a Winsock 1.1 blocking hook would (bench/windows/polling_wait.h).
# CPU time is the kernel's account of the threads of the program's Linux
# process (/proc/PID/task/*/schedstat), and the same for the session's
# wineserver, which does under Wine much of what the Windows kernel does.
#
# Usage: bench/cpu.sh [--exe x64|x86]... [UPDATES [WAITS]]
#        (default both builds and the polling one, 2 whole updates and 5 silent waits each)
source "$(dirname "${BASH_SOURCE[0]}")/windows/lib.sh"

updates=${1:-2}
waits=${2:-5}
image_size=188415
# The looks of the driver cost the wineserver too: few of them here.
timeline_poll_ms=20

# sample LABEL: one line "LABEL WALL_US PROGRAM_CPU_NS WINESERVER_CPU_NS".
sample() {
    echo "$1 $(now_us) $(cpu_ns "$APP_PID") $(cpu_ns "$WINESERVER_PID")"
}

# used_between LINE LINE: from two sample lines, "PROGRAM_MS WINESERVER_MS WALL_MS".
used_between() {
    awk -v from="$1" -v to="$2" 'BEGIN {
        split(from, a, " "); split(to, b, " ")
        printf("%.1f %.1f %.1f\n", (b[3] - a[3]) / 1e6, (b[4] - a[4]) / 1e6, (b[2] - a[2]) / 1e3) }'
}

# The CPU times at wall-clock time T_US, read off the samples in FILE (one
# line each 100 ms) by linear interpolation: "PROGRAM_NS WINESERVER_NS".
cpu_at() {
    awk -v t="$2" '
        { w[NR] = $2; p[NR] = $3; s[NR] = $4 }
        END {
            for (i = 2; i <= NR && w[i] < t; i++) {}
            if (i > NR) i = NR
            f = (w[i] == w[i - 1]) ? 0 : (t - w[i - 1]) / (w[i] - w[i - 1])
            printf("%.0f %.0f\n", p[i - 1] + f * (p[i] - p[i - 1]), s[i - 1] + f * (s[i] - s[i - 1]))
        }' "$1"
}

# used FROM_US TO_US: "PROGRAM_MS WINESERVER_MS WALL_MS" between two moments.
used() {
    local from to
    from=$(cpu_at "$WORK/samples" "$1")
    to=$(cpu_at "$WORK/samples" "$2")
    awk -v a="$from" -v b="$to" -v t0="$1" -v t1="$2" 'BEGIN {
        split(a, x, " "); split(b, y, " ")
        printf("%.1f %.1f %.1f\n", (y[1] - x[1]) / 1e6, (y[2] - x[2]) / 1e6, (t1 - t0) / 1e3) }'
}

# One whole update, from the click on 開始 to M6, with the CPU read every
# 100 ms meanwhile; appends "PROGRAM_MS WINESERVER_MS WALL_MS" of the whole
# update to $WORK/update-COLUMN, of the transfer (first request to last
# acknowledgement) to $WORK/transfer-COLUMN, and of the device's flash writing
# (last acknowledgement to M6) to $WORK/writing-COLUMN.
measure_update() {
    local column=$1 sampler click m6 first last_ack blocks=$((image_size / 512 + 1))
    make_firmware "$image_size"
    start_sim --kind ap
    start_app /fm1:fw.bin /type_ap
    while kill -0 "$APP_PID" 2>/dev/null; do
        sample at
        sleep 0.1
    done >"$WORK/samples" &
    sampler=$!
    driver timeline "${MAIN[@]}" --click-start --dismiss-after-ms 50 --poll "$timeline_poll_ms" \
        --timeout 90000 >"$LOGS/timeline"
    expect_app_exit 0
    wait "$sampler" || true
    stop_sim
    expect_image_kept
    click=$(event_time "$LOGS/timeline" click-start)
    m6=$(event_time "$LOGS/timeline" message-visible)
    first=$(sim_lines 'recv .* -> :69 ' | head -n 1 | cut -d' ' -f1)
    last_ack=$(sim_lines "send .* ACK block=$blocks\$" | tail -n 1 | cut -d' ' -f1)
    [[ -n "$click" && -n "$m6" && -n "$first" && -n "$last_ack" ]] || fail "a moment is missing"
    expect_clocks_agree "$click" "$first"
    used "$click" "$m6" >>"$WORK/update-$column"
    used "$first" "$last_ack" >>"$WORK/transfer-$column"
    used "$last_ack" "$m6" >>"$WORK/writing-$column"
}

# Waits on a silent device: the probe's receive waits its whole second, and
# the CPU is read 100 ms and 900 ms after the progress window showed, well
# inside that second. Appends "PROGRAM_MS WINESERVER_MS WALL_MS" per wait.
measure_waits() {
    local column=$1 wait
    start_sim --silent
    start_app /fm1:fw.bin /type_ap
    for ((wait = 1; wait <= waits; wait++)); do
        driver timeline "${MAIN[@]}" --click-start --dismiss-after-ms 50 --poll "$timeline_poll_ms" \
            --timeout 30000 | while read -r _ event _; do
            if [[ $event == progress-visible ]]; then
                sleep 0.1
                sample inside
                sleep 0.8
                sample later
            fi
        done >"$WORK/samples"
        [[ $(grep -c . "$WORK/samples") == 2 ]] || fail "the wait was not followed"
        used_between "$(sed -n 1p "$WORK/samples")" "$(sed -n 2p "$WORK/samples")" >>"$WORK/wait-$column"
        wait_dialog_back
    done
    quit_app
    stop_sim
}

# The product of each build, and beside the 64-bit one the same program with
# the polling wait, to show what the sleeping wait saves.
COLUMNS=("${BENCH_BUILDS[@]}")
declare -A PROGRAM
for build in "${BENCH_BUILDS[@]}"; do
    PROGRAM[$build]=${PRODUCT_EXE[$build]}
done
if [[ -n "${PROGRAM[x64]:-}" ]]; then
    COLUMNS+=(x64-polling)
    PROGRAM[x64-polling]=$POLLING_EXE
fi

start_window_manager
WINESERVER_PID=$(wineserver_pid)

echo "== CPU while waiting: EthBoxVup.exe under Wine, sleeping wait (product) and polling wait (benchmark build)"
echo "command: $BENCH_COMMAND"
describe_builds
if [[ -n "${PROGRAM[x64-polling]:-}" ]]; then
    echo "x64-polling: ${POLLING_EXE#"$ROOT/"} (the 64-bit build with the polling wait)"
fi
for column in "${COLUMNS[@]}"; do
    use_program "${PROGRAM[$column]}"
    for figures in update transfer writing wait; do
        : >"$WORK/$figures-$column"
    done
    for ((run = 1; run <= updates; run++)); do
        measure_update "$column"
    done
    measure_waits "$column"
done

blocks=$((image_size / 512 + 1))
# figure NAME FIELD DECIMALS COLUMN: median_range of field FIELD of
# $WORK/NAME-COLUMN (1 program ms, 2 wineserver ms, 3 wall ms).
figure() { awk -v f="$2" '{ print $f }' "$WORK/$1-$4" | median_range "$3"; }
# share NAME COLUMN: the program's CPU as a share of the wall time, in %.
share() { awk '{ printf("%.3f\n", 100 * $1 / $3) }' "$WORK/$1-$2" | median_range 3; }
per_tick() { awk -v n="$blocks" '{ printf("%.0f\n", 1000 * $1 / n) }' "$WORK/transfer-$1" | median_range 0; }
# per_second FIELD COLUMN: ms of CPU per second of waiting.
per_second() { awk -v f="$1" '{ printf("%.2f\n", 1000 * $f / $3) }' "$WORK/wait-$2" | median_range 2; }
table_row "" "${COLUMNS[@]}"
echo "whole update of $image_size bytes, click on 開始 to M6 ($updates run(s)):"
figure_row "  wall ms" figure update 3 0
figure_row "  program CPU ms" figure update 1 1
figure_row "  program share %" share update
figure_row "  wineserver CPU ms" figure update 2 1
echo "  of which the transfer (first request to last ACK, $blocks ticks):"
figure_row "    program CPU ms" figure transfer 1 1
figure_row "    program CPU per tick, us" per_tick
echo "  and the flash writing (last ACK to M6):"
figure_row "    program CPU ms" figure writing 1 1
figure_row "    program share %" share writing
echo "receive waiting for a silent device, CPU ms per second of waiting ($waits waits):"
figure_row "  program" per_second 1
figure_row "  wineserver" per_second 2
