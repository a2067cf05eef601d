# Sourced by each Windows benchmark, inside a benchmark session
# (bench/windows/session.sh): the programs, the simulated device, the
# program's start and end, the clocks, and the arithmetic of the figures.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# The program may send datagrams: only in a namespace where loopback is all.
if [[ "${ETHBOX_BENCH_SESSION:-}" != 1 ]] || ! "$ROOT/scripts/netns-is-isolated.sh"; then
    echo "$(basename "$0"): run me through bench/windows/session.sh" >&2
    exit 1
fi

PRODUCT_EXE=$ROOT/build/windows/src/app/win32/EthBoxVup.exe
POLLING_EXE=$ROOT/build/windows/bench/windows/EthBoxVup-polling.exe
TIMER_PROBE_EXE=$ROOT/build/windows/bench/windows/timer-probe.exe
DRIVER_EXE=$ROOT/build/windows/tests/driver/ethbox-driver.exe
SIM=$ROOT/build/bench/tools/ethbox-sim/ethbox-sim
TITLE='ETHERNETボックスバージョンアップ'
MAIN=(--title "$TITLE" --unowned --with-id 1005)
DEVICE_ADDRESS=127.0.0.1

# The texts as the driver prints them: a line break is the two characters \n.
M3='ETHERNETボックスに接続できませんでした。\n装置の接続状況を確認し、再度バージョンアップを\n実行してください。'
M6='バージョンアップが完了しました。'
M7='バージョンアップの実行を中断します。'

WORK=$(mktemp -d)
# The logs that carry times (the simulator's, the driver's timelines) in memory
# where there is a tmpfs: each flushes a line per event, and a write that
# waits for a disk would hold up the next event and so the time it is given.
LOGS=$(mktemp -d -p /dev/shm ethbox-bench.XXXXXX 2>/dev/null || mktemp -d)
SIM_LOG=$LOGS/sim.log
STARTED_PIDS=()

bench_cleanup() {
    local pid
    for pid in "${STARTED_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK" "$LOGS"
}
trap bench_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

driver() {
    "$ROOT/scripts/wine-exec.sh" "$DRIVER_EXE" "$@"
}

# use_program EXE: the program to run, copied into a folder of the benchmark's
# where make_firmware puts the file it reads.
use_program() {
    mkdir -p "$WORK/program"
    cp "$1" "$WORK/program/EthBoxVup.exe"
    APP=$WORK/program/EthBoxVup.exe
    FIRMWARE=$WORK/program/fw.bin
}

# make_firmware SIZE: a firmware file of SIZE random bytes.
make_firmware() {
    head -c "$1" /dev/urandom >"$FIRMWARE"
}

# start_sim [SWITCH...]: the simulated device at 127.0.0.1:69, each line of
# its log ($SIM_LOG) led by the wall-clock time. At a real-time priority,
# so that it wakes the moment a datagram arrives even on a busy machine: its
# times are then the datagrams' own, not those of a moment the scheduler
# found for it. It sleeps in poll() between datagrams, so it takes nothing
# from the program.
start_sim() {
    local waited
    rm -f "$SIM_LOG" "$WORK/sim.image"
    chrt --fifo 20 "$SIM" --port 69 --time-limit 900 --timestamps --image-out "$WORK/sim.image" "$@" \
        >"$SIM_LOG" 2>&1 &
    SIM_PID=$!
    STARTED_PIDS+=("$SIM_PID")
    for ((waited = 0; waited < 100; waited++)); do
        grep -qs ' ready ' "$SIM_LOG" && return 0
        sleep 0.05
    done
    fail "ethbox-sim $* did not start: $(cat "$SIM_LOG")"
}

stop_sim() {
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
}

# start_app OPTION...: starts the program, waits for its address dialog and
# types the device's address. APP_PID is the Linux process of the program
# itself (wine-exec.sh and Wine's loader exec into it).
start_app() {
    "$ROOT/scripts/wine-exec.sh" "$APP" "$@" &
    APP_PID=$!
    STARTED_PIDS+=("$APP_PID")
    driver set-text "${MAIN[@]}" --timeout 30000 --id 1005 -- "$DEVICE_ADDRESS" >/dev/null ||
        fail "the address dialog did not come"
}

expect_app_exit() {
    local status=0
    wait "$APP_PID" || status=$?
    [[ $status == "$1" ]] || fail "EthBoxVup exited with $status, expected $1"
}

# Presses 終了 and waits for the program to end.
quit_app() {
    driver click "${MAIN[@]}" --id 2 >/dev/null
    expect_app_exit 0
}

# Waits until the address dialog takes input again (after a failed attempt).
wait_dialog_back() {
    driver window-state "${MAIN[@]}" --until enabled=1 --timeout 10000 >/dev/null ||
        fail "the address dialog did not come back"
}

# A window manager on the session's display: evilwm, which places windows by
# itself and answers Wine's requests to withdraw a window at once. Without one,
# Wine waits 2 s for an answer that never comes each time a window is hidden.
start_window_manager() {
    evilwm -fn fixed >/dev/null 2>&1 &
    WM_PID=$!
    STARTED_PIDS+=("$WM_PID")
    sleep 0.5
    kill -0 "$WM_PID" 2>/dev/null || fail "evilwm did not start (scripts/install-deps.sh installs it)"
}

stop_window_manager() {
    kill "$WM_PID" 2>/dev/null || true
    wait "$WM_PID" 2>/dev/null || true
}

# ---- Clocks ----

# Microseconds since 1970 now, the clock of the simulator's and the driver's lines.
now_us() {
    local ns
    ns=$(date +%s%N)
    echo $((ns / 1000))
}

# CPU time in nanoseconds that process PID's threads have run (the kernel's
# own accounting, to the nanosecond, rather than the 10 ms ticks of /proc/PID/stat).
cpu_ns() {
    local total=0 ran _
    for task in /proc/"$1"/task/*/schedstat; do
        read -r ran _ <"$task" 2>/dev/null || continue
        total=$((total + ran))
    done
    echo "$total"
}

# The wineserver of this session: it does much of the program's work under
# Wine (message queues, timers, socket waits), as the Windows kernel would.
wineserver_pid() {
    local pid own
    own=$(readlink /proc/$$/ns/net)
    for pid in $(pidof wineserver64 wineserver 2>/dev/null); do
        if [[ $(readlink "/proc/$pid/ns/net") == "$own" ]]; then
            echo "$pid"
            return 0
        fi
    done
    fail "no wineserver in this namespace"
}

# ---- Reading the logs ----

# The simulator's lines whose text matches the extended regular expression,
# as "MICROSECONDS TEXT".
sim_lines() {
    grep -E "^[0-9]+\.[0-9]{6} ($1)" "$SIM_LOG" | sed -E 's/^([0-9]+)\.([0-9]{6}) /\1\2 /'
}

# The time of the first (or with "last", the last) driver line of EVENT in FILE.
event_time() {
    local file=$1 event=$2 which=${3:-first}
    if [[ $which == last ]]; then
        awk -v e="$event" '$2 == e { t = $1 } END { if (t != "") print t }' "$file"
    else
        awk -v e="$event" '$2 == e { print $1; exit }' "$file"
    fi
}

# expect_clocks_agree CLICK_US FIRST_REQUEST_US: the driver's click on 開始
# must come shortly before the first datagram the device logs, or the two
# programs do not read the same clock and no figure that mixes them means
# anything.
expect_clocks_agree() {
    (($2 > $1 && $2 - $1 < 5000000)) ||
        fail "the driver's click ($1) and the device's first datagram ($2) are not on one clock"
}

# Checks that the simulator kept exactly the firmware file.
expect_image_kept() {
    local line
    line=$(sim_lines 'image ' | cut -d' ' -f2-)
    [[ "$line" == "image length=$(stat -c %s "$FIRMWARE") sha256=$(sha256sum "$FIRMWARE" | cut -d' ' -f1)" ]] ||
        fail "the device did not keep the firmware file: [$line]"
}

# ---- Arithmetic ----

# Numbers on stdin, one a line: "median MIN-MAX" with DECIMALS places (1).
median_range() {
    sort -g | awk -v d="${1:-1}" '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "-"; exit }
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            f = "%." d "f"
            printf(f " (" f "-" f ")\n", m, v[1], v[NR])
        }'
}

# Numbers on stdin: "median worst" as used for latencies, in DECIMALS places.
median_worst() {
    sort -g | awk -v d="${1:-1}" '
        { v[NR] = $1 }
        END {
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            f = "%." d "f"
            printf("median " f ", worst " f " (n=%d)\n", m, v[NR], NR)
        }'
}

# ms FROM_US TO_US: the milliseconds between two microsecond times, 1 decimal.
ms_between() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf("%.1f\n", (b - a) / 1000) }'
}
