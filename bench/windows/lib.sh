# Sourced first by each Windows benchmark, as its first command:
#
#   source "$(dirname "${BASH_SOURCE[0]}")/windows/lib.sh"
#
# Outside a benchmark session it builds what the benchmarks run and starts the
# benchmark again inside a session (bench/windows/session.sh). Inside, it takes
# the options every Windows benchmark has off the benchmark's arguments:
#
#   --exe x64|x86   measure only that build (repeatable; both by default):
#                   x64 the windows preset's EthBoxVup.exe, x86 the
#                   windows-x86 preset's 32-bit one
#
# and gives the programs, the simulated device, the program's start and end,
# the clocks, and the arithmetic and layout of the figures.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/report-failures.sh"

BENCH_BUILDS=()
BENCH_COMMAND="bash bench/$(basename "$0")${*:+ $*}"
_bench_args=("$@")
while [[ ${1:-} == --exe ]]; do
    case ${2:-} in
        x64 | x86) BENCH_BUILDS+=("$2") ;;
        *)
            echo "$(basename "$0"): --exe takes x64 or x86" >&2
            exit 2
            ;;
    esac
    shift 2
done
((${#BENCH_BUILDS[@]})) || BENCH_BUILDS=(x64 x86)

if [[ "${ETHBOX_BENCH_SESSION:-}" != 1 ]]; then
    bash "$ROOT/bench/windows/build.sh"
    exec bash "$ROOT/bench/windows/session.sh" bash "$0" "${_bench_args[@]}"
fi
# The program may send datagrams: only in a namespace where loopback is all.
"$ROOT/scripts/netns-is-isolated.sh" || {
    echo "$(basename "$0"): not in an isolated network namespace; run me through bench/windows/session.sh" >&2
    exit 1
}

# The product of each build, and the timer probe built beside it.
declare -A PRODUCT_EXE=(
    [x64]=$ROOT/build/windows/src/app/win32/EthBoxVup.exe
    [x86]=$ROOT/build/windows-x86/src/app/win32/EthBoxVup.exe
)
declare -A TIMER_PROBE_EXE=(
    [x64]=$ROOT/build/windows/bench/windows/timer-probe.exe
    [x86]=$ROOT/build/windows-x86/bench/windows/timer-probe.exe
)
# What the device's schedule alone costs, built beside each (bench/windows/schedule_floor.cpp).
declare -A FLOOR_EXE=(
    [x64]=$ROOT/build/windows/bench/windows/schedule-floor.exe
    [x86]=$ROOT/build/windows-x86/bench/windows/schedule-floor.exe
)
declare -A BUILD_NAME=([x64]="64-bit, windows preset" [x86]="32-bit, windows-x86 preset")
# The reference for the sleeping wait, in the 64-bit build only.
POLLING_EXE=$ROOT/build/windows/bench/windows/EthBoxVup-polling.exe
# The 64-bit driver works the windows of either build.
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
# types the device's address. LAUNCHER_PID is the wine we started, whose exit
# status is the program's; APP_PID the Linux process of the program itself.
start_app() {
    "$ROOT/scripts/wine-exec.sh" "$APP" "$@" &
    LAUNCHER_PID=$!
    STARTED_PIDS+=("$LAUNCHER_PID")
    driver set-text "${MAIN[@]}" --timeout 30000 --id 1005 -- "$DEVICE_ADDRESS" >/dev/null ||
        fail "the address dialog did not come"
    APP_PID=$(program_pid "$APP")
    STARTED_PIDS+=("$APP_PID")
}

# program_pid EXE: the Linux process that runs the Windows program EXE in this
# session. With 32-bit Wine installed, wine starts every program through its
# 32-bit loader: a 32-bit program then runs in the process we started, but a
# 64-bit one in a new process that start.exe (the one we started) creates and
# waits for, passing its exit status on. Whichever it is, the program's own
# process is the one with EXE's file mapped.
program_pid() {
    local exe own pid tries found
    exe=$(realpath "$1")
    own=$(readlink /proc/$$/ns/net)
    for ((tries = 0; tries < 50; tries++)); do
        found=()
        for pid in $(pgrep -f -- "$(basename "$exe")" || true); do
            [[ $(readlink "/proc/$pid/ns/net" 2>/dev/null) == "$own" ]] || continue
            if grep -qsF -- "$exe" "/proc/$pid/maps"; then
                found+=("$pid")
            fi
        done
        if ((${#found[@]} == 1)); then
            echo "${found[0]}"
            return 0
        fi
        sleep 0.1
    done
    fail "found ${#found[@]} processes running $exe, not one: ${found[*]}"
}

# The status the program ended with, as the wine we started passes it on.
expect_app_exit() {
    local status=0
    wait "$LAUNCHER_PID" || status=$?
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

# median_summary DECIMALS STYLE: of the numbers on stdin, one a line, with
# DECIMALS places: for STYLE range "MEDIAN (MIN-MAX)", for worst "median
# MEDIAN, worst MAX (n=COUNT)" as used for latencies; "-" when there are none.
median_summary() {
    sort -g | awk -v d="$1" -v style="$2" '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "-"; exit }
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            f = "%." d "f"
            if (style == "range") printf(f " (" f "-" f ")\n", m, v[1], v[NR])
            else printf("median " f ", worst " f " (n=%d)\n", m, v[NR], NR)
        }'
}
median_range() { median_summary "${1:-1}" range; }
median_worst() { median_summary "${1:-1}" worst; }

# ms FROM_US TO_US: the milliseconds between two microsecond times, 1 decimal.
ms_between() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf("%.1f\n", (b - a) / 1000) }'
}

# ---- Layout ----

# The columns of a benchmark's table: the builds measured, unless the
# benchmark measures other programs beside them.
COLUMNS=("${BENCH_BUILDS[@]}")

# padded WIDTH TEXT: TEXT and blanks to fill WIDTH columns of a terminal, where
# each Japanese character takes two columns (and three bytes, where ASCII
# takes one of each).
padded() {
    local bytes
    bytes=$(LC_ALL=C && echo "${#2}")
    printf '%s%*s' "$2" $(($1 - (bytes + ${#2}) / 2)) ''
}

# table_row LABEL VALUE...: one row of the table, a value in each column.
table_row() {
    padded 62 "$1"
    shift
    while (($# > 1)); do
        printf ' | '
        padded 30 "$1"
        shift
    done
    printf ' | %s\n' "${1:-}"
}

# figure_row LABEL COMMAND [ARG...]: a row with, in each column, what
# COMMAND ARG... COLUMN prints.
figure_row() {
    local label=$1 column values=()
    shift
    for column in "${COLUMNS[@]}"; do
        values+=("$("$@" "$column")")
    done
    table_row "$label" "${values[@]}"
}

# median_of NAME DECIMALS COLUMN: median_range of the file $WORK/NAME-COLUMN.
median_of() {
    median_range "$2" <"$WORK/$1-$3"
}

# The builds measured, as the results name them.
describe_builds() {
    local build
    for build in "${BENCH_BUILDS[@]}"; do
        echo "$build: ${PRODUCT_EXE[$build]#"$ROOT/"} (${BUILD_NAME[$build]})"
    done
}
