#!/usr/bin/env bash
# CPU time of the real EthBoxVup.exe under Wine, judged against what the
# device's schedule alone costs in the same session.
#
# 1. Against the floor: a whole update of 188415 bytes by EthBoxVup.exe and
#    the same update by schedule-floor.exe (bench/windows/schedule_floor.cpp:
#    a window, a themed bar stepped as the program steps it, the 30/50/1000 ms
#    timer, one plain receive and send per tick), built for the same
#    architecture with the same manifest, in turns, UPDATES of each per build.
#    For each turn the ratio program CPU / floor CPU, over the whole update
#    and over each phase; the median ratio and the absolute figures.
# 2. A receive that waits for a silent device: the CPU time per second of
#    waiting, for the product and for EthBoxVup-polling.exe, a benchmark
#    build whose receive asks the socket and the message queue again and
#    again as a Winsock 1.1 blocking hook would (bench/windows/polling_wait.h).
#
# CPU time is the kernel's account of the threads of the program's Linux
# process (/proc/PID/task/*/schedstat), and the same for the session's
# wineserver, which does under Wine much of what the Windows kernel does.
# Nothing looks at either program while an update is measured (see
# bench/README.md): the moments come from the device's log, read as it grows.
#
# Usage: bench/cpu.sh [--exe x64|x86]... [UPDATES [WAITS]]
#        (default both builds, 5 updates of the program and 5 of the floor
#        each, 5 silent waits each and 5 of the polling build)
source "$(dirname "${BASH_SOURCE[0]}")/windows/lib.sh"

updates=${1:-5}
waits=${2:-5}
image_size=188415
blocks=$((image_size / 512 + 1))
# The flash writing counted: eleven seconds from the last acknowledgement,
# which ends before the eleventh tick (at least 30 ms + 11 x 1000 ms after it,
# timers never being early) shows M6 or ends the floor.
flash_us=11000000
# A moment read later than this after the device logged it could miss the
# start of what it is meant to count.
late_limit_us=25000
# The looks of the driver cost the wineserver too: few of them here.
timeline_poll_ms=20

load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)

# A pause that is a builtin read from a pipe nobody writes, not a process.
exec {pause_fd}<> <(:)
pause() { read -r -t "$1" -u "$pause_fd" || true; }

# cpu_line NAME MOMENT_US PID: "NAME MOMENT_US READ_US PROGRAM_NS WINESERVER_NS"
cpu_line() {
    echo "$1 $2 ${EPOCHREALTIME/./} $(cpu_ns "$3") $(cpu_ns "$WINESERVER_PID")"
}

# follow_update PID: reads the device's log as it grows and takes the CPU
# times of PID and of the wineserver the moment the device logs the first
# request, the moment it logs the last acknowledgement, and flash_us after
# that; one cpu_line each (first, last, end). Fails when the update stalls.
follow_update() {
    local pid=$1 line stamp log_fd tail_pid first="" last_us="" left
    exec {log_fd}< <(exec tail -n +1 -f "$SIM_LOG")
    tail_pid=$!
    while IFS= read -r -t 60 -u "$log_fd" line; do
        stamp=${line%% *}
        stamp=${stamp/./}
        if [[ -z $first && $line == *" recv "*" -> :69 "* ]]; then
            cpu_line first "$stamp" "$pid"
            first=1
        elif [[ $line == *" send "*" ACK block=$blocks" ]]; then
            cpu_line last "$stamp" "$pid"
            last_us=$stamp
            break
        fi
    done
    kill "$tail_pid" 2>/dev/null
    exec {log_fd}<&-
    [[ -n $first && -n $last_us ]] || return 1
    left=$((last_us + flash_us - ${EPOCHREALTIME/./}))
    ((left <= 0)) || pause "$((left / 1000000)).$(printf '%06d' $((left % 1000000)))"
    cpu_line end $((last_us + flash_us)) "$pid"
}

# start_floor: the floor for the same firmware file and device, started as
# the program is; it starts its update by itself two seconds later.
start_floor() {
    local windows_firmware="Z:${FIRMWARE//\//\\}"
    "$ROOT/scripts/wine-exec.sh" "$APP" "$windows_firmware" "$DEVICE_ADDRESS" &
    LAUNCHER_PID=$!
    STARTED_PIDS+=("$LAUNCHER_PID")
    APP_PID=$(program_pid "$APP")
    STARTED_PIDS+=("$APP_PID")
}

# measure_update KIND BUILD ROUND: one whole update by the program or the
# floor of BUILD; appends "ROUND TRANSFER_MS FLASH_MS WS_TRANSFER_MS
# WS_FLASH_MS TRANSFER_WALL_MS WORST_LATE_MS" to $WORK/KIND-BUILD.
measure_update() {
    local kind=$1 build=$2 round=$3 follower
    if [[ $kind == program ]]; then
        use_program "${PRODUCT_EXE[$build]}"
    else
        mkdir -p "$WORK/program"
        cp "${FLOOR_EXE[$build]}" "$WORK/program/schedule-floor.exe"
        APP=$WORK/program/schedule-floor.exe
        FIRMWARE=$WORK/program/fw.bin
    fi
    make_firmware "$image_size"
    start_sim --kind ap
    if [[ $kind == program ]]; then
        start_app /fm1:fw.bin /type_ap
    else
        start_floor
    fi
    follow_update "$APP_PID" >"$WORK/edges" &
    follower=$!
    if [[ $kind == program ]]; then
        driver click "${MAIN[@]}" --id 1 >/dev/null
    fi
    wait "$follower" || fail "the $kind ($build) did not reach the last acknowledgement"
    if [[ $kind == program ]]; then
        # Only now is the program looked at: M6 must be the message, and dismissed.
        driver timeline "${MAIN[@]}" --dismiss-after-ms 0 --poll "$timeline_poll_ms" \
            --timeout 30000 >"$LOGS/timeline"
        grep -qF "message-text $M6" "$LOGS/timeline" || fail "M6 was not shown: $(cat "$LOGS/timeline")"
    fi
    expect_app_exit 0
    stop_sim
    expect_image_kept
    awk -v round="$round" -v limit="$late_limit_us" '
        { moment[$1] = $2; late[$1] = $3 - $2; cpu[$1] = $4; server[$1] = $5 }
        END {
            worst = 0
            for (name in late) if (late[name] > worst) worst = late[name]
            if (worst > limit) { printf("late %.1f\n", worst / 1000); exit }
            printf("%d %.2f %.2f %.2f %.2f %.1f %.1f\n", round,
                   (cpu["last"] - cpu["first"]) / 1e6, (cpu["end"] - cpu["last"]) / 1e6,
                   (server["last"] - server["first"]) / 1e6, (server["end"] - server["last"]) / 1e6,
                   (moment["last"] - moment["first"]) / 1e3, worst / 1000)
        }' "$WORK/edges" >"$WORK/figures"
    if grep -q '^late ' "$WORK/figures"; then
        fail "a moment of the $kind ($build) was read $(cut -d' ' -f2 "$WORK/figures") ms after the device logged it"
    fi
    cat "$WORK/figures" >>"$WORK/$kind-$build"
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
                pause 0.1
                cpu_line inside 0 "$APP_PID"
                pause 0.8
                cpu_line later 0 "$APP_PID"
            fi
        done >"$WORK/samples"
        [[ $(grep -c . "$WORK/samples") == 2 ]] || fail "the wait was not followed"
        awk '{ wall[NR] = $3; p[NR] = $4; s[NR] = $5 }
            END { printf("%.1f %.1f %.1f\n", (p[2] - p[1]) / 1e6, (s[2] - s[1]) / 1e6, (wall[2] - wall[1]) / 1e3) }' \
            "$WORK/samples" >>"$WORK/wait-$column"
        wait_dialog_back
    done
    quit_app
    stop_sim
}

start_window_manager
WINESERVER_PID=$(wineserver_pid)

echo "== CPU time: EthBoxVup.exe under Wine against schedule-floor.exe, and while a receive waits"
echo "command: $BENCH_COMMAND"
describe_builds
for build in "${BENCH_BUILDS[@]}"; do
    echo "$build floor: ${FLOOR_EXE[$build]#"$ROOT/"}"
done
echo "x64-polling: ${POLLING_EXE#"$ROOT/"} (the 64-bit build with the polling wait; waits only)"

# In turns, so that whatever else the machine does falls on both alike: the
# floor first in odd rounds, the program first in even ones.
for ((round = 1; round <= updates; round++)); do
    for build in "${BENCH_BUILDS[@]}"; do
        if ((round % 2)); then
            measure_update floor "$build" "$round"
            measure_update program "$build" "$round"
        else
            measure_update program "$build" "$round"
            measure_update floor "$build" "$round"
        fi
    done
done

declare -A WAIT_PROGRAM
WAIT_COLUMNS=("${BENCH_BUILDS[@]}")
for build in "${BENCH_BUILDS[@]}"; do
    WAIT_PROGRAM[$build]=${PRODUCT_EXE[$build]}
done
if [[ " ${BENCH_BUILDS[*]} " == *" x64 "* ]]; then
    WAIT_COLUMNS+=(x64-polling)
    WAIT_PROGRAM[x64-polling]=$POLLING_EXE
fi
for column in "${WAIT_COLUMNS[@]}"; do
    use_program "${WAIT_PROGRAM[$column]}"
    : >"$WORK/wait-$column"
    measure_waits "$column"
done

# kind_figure KIND EXPRESSION DECIMALS BUILD: median_range over the updates of
# KIND of EXPRESSION, an awk expression of t (transfer CPU ms), f (flash
# writing CPU ms), st, sf (the same for the wineserver), w (transfer wall ms).
kind_figure() {
    awk "{ t = \$2; f = \$3; st = \$4; sf = \$5; w = \$6; printf(\"%.3f\\n\", $2) }" "$WORK/$1-$4" |
        median_range "$3"
}
# ratio PART BUILD: median_range over the rounds of the program's CPU over
# PART (whole, transfer or flash) divided by the floor's in the same round.
ratio() {
    local expression
    case $1 in
        whole) expression='$2 + $3' ;;
        transfer) expression='$2' ;;
        flash) expression='$3' ;;
    esac
    awk "FNR == NR { floor[\$1] = $expression; next }
        (\$1 in floor) && floor[\$1] > 0 { printf(\"%.3f\\n\", ($expression) / floor[\$1]) }" \
        "$WORK/floor-$2" "$WORK/program-$2" | median_range 2
}
both() { echo "$(kind_figure program "$1" "$2" "$3") / $(kind_figure floor "$1" "$2" "$3")"; }
per_tick() { kind_figure "$1" "1000 * t / $((blocks + 1))" 0 "$2"; }
worst_late() { cat "$WORK/program-$1" "$WORK/floor-$1" | awk '{ print $7 }' | sort -g | tail -n 1; }

COLUMNS=("${BENCH_BUILDS[@]}")
table_row "" "${COLUMNS[@]}"
echo "whole update of $image_size bytes, $updates by the program and $updates by the floor in turns:"
echo "  the whole: from the first request to 11 s after the last ACK"
figure_row "    program CPU / floor CPU, median of $updates rounds" ratio whole
figure_row "    program CPU ms" kind_figure program 't + f' 1
figure_row "    floor CPU ms" kind_figure floor 't + f' 1
figure_row "    wineserver CPU ms, program's / floor's" both 'st + sf' 1
echo "  the transfer: first request to last ACK ($((blocks + 1)) ticks)"
figure_row "    program CPU / floor CPU" ratio transfer
figure_row "    program CPU ms" kind_figure program t 1
figure_row "    floor CPU ms" kind_figure floor t 1
figure_row "    per tick, us: program" per_tick program
figure_row "                  floor" per_tick floor
figure_row "    wall ms, program's / floor's" both w 0
echo "  the flash writing: the 11 s from the last ACK (ten steps of the bar)"
figure_row "    program CPU / floor CPU" ratio flash
figure_row "    program CPU ms" kind_figure program f 1
figure_row "    floor CPU ms" kind_figure floor f 1
figure_row "  moments read after the device logged them, worst ms" worst_late

# per_second FIELD COLUMN: ms of CPU per second of waiting.
per_second() { awk -v f="$1" '{ printf("%.2f\n", 1000 * $f / $3) }' "$WORK/wait-$2" | median_range 2; }
COLUMNS=("${WAIT_COLUMNS[@]}")
table_row "" "${COLUMNS[@]}"
echo "receive waiting for a silent device, CPU ms per second of waiting ($waits waits):"
figure_row "  program" per_second 1
figure_row "  wineserver" per_second 2
echo "load average at the start: $load_at_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
