#!/usr/bin/env bash
# Boxes side by side: one command, EthBoxVup.exe /ip:LIST /quiet, updating
# 1, 2, 4, 8, 16, 32 and 64 boxes at once, each a simulated device of its own
# on 127.0.0.1 to 127.0.0.64, with the largest image (188415 bytes) and the
# probe. The program starts itself once per box and waits for all; with
# /quiet nothing waits for a click, so each process ends with its update. For
# each command: its wall time from start to exit, that against the time of
# one box, each box's pace on the wire against the timer schedule, and the
# CPU time of all it started and of the wineserver. Prints figures; asserts
# nothing about speed. Fails when a box did not keep the image or the command
# did not exit with 0.
#
# Usage: bench/side_by_side.sh [--exe x64|x86]... [--boxes N,N,...] [REPETITIONS]
#        (default both builds, every number of boxes above, 1 command each;
#        --boxes measures only those numbers, 1 among them for the ratios)
source "$(dirname "${BASH_SOURCE[0]}")/windows/lib.sh"

box_counts=(1 2 4 8 16 32 64)
if [[ ${1:-} == --boxes ]]; then
    IFS=, read -ra box_counts <<<"${2:-}"
    [[ " ${box_counts[*]} " == *" 1 "* ]] || fail "--boxes: the list must hold 1, the measure of the others"
    shift 2
fi
repetitions=${1:-1}
image_size=188415
blocks=$((image_size / 512 + 1))
# With the probe: first request at 0, the last block's ACK at 30 ms a block
# plus the 50 ms wait after the write request's ACK (pacing.sh's specified_last_ack).
specified_ms=$((30 * blocks + 50))
load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)

# start_box_sims COUNT: a simulated device at each of 127.0.0.1 to
# 127.0.0.COUNT, port 69, started as start_sim starts the one device of the
# other benchmarks (real-time priority, timestamped log), each with a log
# ($LOGS/sim-I.log) and an image file of its own.
start_box_sims() {
    local box waited
    SIM_PIDS=()
    for ((box = 1; box <= $1; box++)); do
        rm -f "$LOGS/sim-$box.log" "$WORK/sim-$box.image"
        chrt --fifo 20 "$SIM" --bind "127.0.0.$box" --port 69 --time-limit 900 --timestamps \
            --image-out "$WORK/sim-$box.image" --kind ap >"$LOGS/sim-$box.log" 2>&1 &
        SIM_PIDS+=("$!")
        STARTED_PIDS+=("$!")
    done
    for ((box = 1; box <= $1; box++)); do
        for ((waited = 0; waited < 100; waited++)); do
            grep -qs ' ready ' "$LOGS/sim-$box.log" && continue 2
            sleep 0.05
        done
        fail "ethbox-sim at 127.0.0.$box did not start: $(cat "$LOGS/sim-$box.log")"
    done
}

stop_box_sims() {
    local pid
    for pid in "${SIM_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}

# reaping FIGURES COMMAND...: runs COMMAND under a child subreaper. Wine
# starts each Windows process through a double fork, so the boxes' processes
# are orphans that init would reap, their CPU time lost to us; here this
# process reaps them, and the kernel's account of its children holds the CPU
# time of every process COMMAND started, once all have ended. Writes
# "STATUS WALL_MS CHILDREN_CPU_NS" to FIGURES: COMMAND's exit status and the
# ms from its start to its exit.
reaping() {
    python3 - "$@" <<'PYTHON'
import ctypes, os, resource, signal, sys, time
figures, command = sys.argv[1], sys.argv[2:]
signal.alarm(300)  # a command, or a process of it, that never ends: no figure
PR_SET_CHILD_SUBREAPER = 36
if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
    sys.exit(f"prctl: {os.strerror(ctypes.get_errno())}")
started = time.monotonic_ns()
launcher = os.spawnvp(os.P_NOWAIT, command[0], command)
status = wall_ms = None
while True:
    try:
        pid, wait_status = os.wait()
    except ChildProcessError:
        break
    if pid == launcher:
        wall_ms = (time.monotonic_ns() - started) / 1e6
        status = os.waitstatus_to_exitcode(wait_status)
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
with open(figures, "w") as out:
    print(status, f"{wall_ms:.1f}", round((usage.ru_utime + usage.ru_stime) * 1e9), file=out)
PYTHON
}

# run_boxes BUILD COUNT: one command updating COUNT boxes; appends to the
# files of COUNT and BUILD in $WORK its wall time, its CPU, and each box's pace.
run_boxes() {
    local build=$1 count=$2 addresses box server_before server_after status wall_ms children_ns started_us
    local kept first last_ack
    addresses=$(seq -s, -f '127.0.0.%g' 1 "$count")
    start_box_sims "$count"
    server_before=$(cpu_ns "$WINESERVER_PID")
    started_us=$(now_us)
    reaping "$LOGS/figures" "$ROOT/scripts/wine-exec.sh" "$APP" /fm1:fw.bin /type_ap "/ip:$addresses" /quiet \
        >"$LOGS/wine.log" 2>&1 ||
        fail "EthBoxVup /ip:$addresses, or a process it started, did not end: $(tail -n 5 "$LOGS/wine.log")"
    server_after=$(cpu_ns "$WINESERVER_PID")
    stop_box_sims
    read -r status wall_ms children_ns <"$LOGS/figures"
    [[ $status == 0 ]] || fail "EthBoxVup /ip:$addresses /quiet ($build) exited with $status, expected 0"
    : >"$WORK/firsts"
    for ((box = 1; box <= count; box++)); do
        SIM_LOG=$LOGS/sim-$box.log
        kept=$(sim_lines 'image ' | cut -d' ' -f2-)
        [[ $kept == "image length=$image_size sha256=$(sha256sum "$FIRMWARE" | cut -d' ' -f1)" ]] ||
            fail "the device at 127.0.0.$box did not keep the firmware file ($build, $count boxes): [$kept]"
        first=$(sim_lines 'recv .* -> :69 ' | head -n 1 | cut -d' ' -f1)
        last_ack=$(sim_lines "send .* ACK block=$blocks\$" | tail -n 1 | cut -d' ' -f1)
        [[ -n $first && -n $last_ack ]] || fail "a moment is missing from the log of 127.0.0.$box"
        echo "$first" >>"$WORK/firsts"
        awk -v a="$first" -v b="$last_ack" -v s="$specified_ms" \
            'BEGIN { printf("%.4f\n", (b - a) / 1000 / s) }' >>"$WORK/pace-$count-$build"
    done
    echo "$wall_ms" >>"$WORK/wall-$count-$build"
    sort -n "$WORK/firsts" | awk 'NR == 1 { a = $1 } END { printf("%.1f\n", ($1 - a) / 1000) }' \
        >>"$WORK/spread-$count-$build"
    sort -n "$WORK/firsts" | awk -v s="$started_us" 'END { printf("%.1f\n", ($1 - s) / 1000) }' \
        >>"$WORK/last-first-$count-$build"
    awk -v c="$children_ns" -v a="$server_before" -v b="$server_after" \
        'BEGIN { printf("%.3f\n", (c + b - a) / 1e9) }' >>"$WORK/cpu-$count-$build"
    awk -v a="$server_before" -v b="$server_after" 'BEGIN { printf("%.3f\n", (b - a) / 1e9) }' \
        >>"$WORK/server-$count-$build"
}

# Without a window manager, Wine waits 2 s to hide each progress window at its end.
start_window_manager
WINESERVER_PID=$(wineserver_pid)

for ((run = 1; run <= repetitions; run++)); do
    for build in "${BENCH_BUILDS[@]}"; do
        use_program "${PRODUCT_EXE[$build]}"
        make_firmware "$image_size"
        for count in "${box_counts[@]}"; do
            run_boxes "$build" "$count"
        done
    done
done

echo "== Boxes side by side: EthBoxVup.exe /fm1:fw.bin /type_ap /ip:LIST /quiet under Wine, one ethbox-sim" \
    "per box, $repetitions command(s) per number of boxes"
echo "command: $BENCH_COMMAND"
describe_builds
echo "Image of $image_size bytes ($blocks blocks) to each box, with the probe. Goals: 8 boxes within 1.1 times the"
echo "wall time of one, 64 within 1.2 with each box's pace within 1.1. Pace: first request to last ACK on the"
echo "box's device, measured / specified ($specified_ms ms)."
echo "CPU: every Linux process the command started (the program and its boxes' processes, as the kernel"
echo "accounts for them when they are reaped) and the session's wineserver over the same time; not X's."

median() { median_range 3 <"$1" | cut -d' ' -f1; }
to_one() {
    awk -v n="$(median "$WORK/wall-$1-$2")" -v one="$(median "$WORK/wall-1-$2")" \
        'BEGIN { printf("x %.3f\n", n / one) }'
}
pace() { median_worst 4 <"$WORK/pace-$1-$2" | sed 's/^median //; s/ (n=.*//'; }
table_row "" "${COLUMNS[@]}"
for count in "${box_counts[@]}"; do
    figure_row "$count box(es): wall ms, start to exit (median, range)" median_of "wall-$count" 0
    figure_row "  wall against 1 box (medians)" to_one "$count"
    figure_row "  pace of each box, measured / specified (median, worst)" pace "$count"
    figure_row "  first request, first box to last box (ms)" median_of "spread-$count" 1
    figure_row "  command's start to the last box's first request (ms)" median_of "last-first-$count" 1
    figure_row "  CPU s, all (median, range)" median_of "cpu-$count" 2
    figure_row "    of which the wineserver" median_of "server-$count" 2
done
echo "load average at the start: $load_at_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
