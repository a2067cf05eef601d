# Sourced by every end-to-end test: bash lib.sh-using-test.sh EthBoxVup.exe ethbox-driver.exe
# Checks the namespace, names the programs, and gives the helpers below.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Everything here runs Windows programs that may open sockets: only inside a
# network namespace of this test run where loopback is all there is.
if ! "$ROOT/scripts/netns-is-isolated.sh"; then
    echo "$(basename "$0"): refusing to run outside an isolated network namespace" \
        "(run the tests through scripts/in-netns.sh scripts/windows-test-session.sh)" >&2
    exit 1
fi

if (($# < 2)); then
    echo "usage: $(basename "$0") PATH/TO/EthBoxVup.exe PATH/TO/ethbox-driver.exe" >&2
    exit 2
fi
APP=$1
DRIVER=$2
TITLE='ETHERNETボックスバージョンアップ'
ARTIFACTS=$ROOT/artifacts
WORK=$(mktemp -d)
APP_PIDS=()
HELPER_PIDS=() # Linux programs a test starts beside, such as the simulated device

cleanup() {
    local status=$? pid
    for pid in "${APP_PIDS[@]}" "${HELPER_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    # A failed test may leave an instance behind, started through the driver,
    # that would hold the single-instance mutex against the next test.
    if ((status != 0)); then
        wine_run taskkill /F /IM EthBoxVup.exe >/dev/null 2>&1 || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

step() {
    echo "-- $*"
}

wine_run() {
    "$ROOT/scripts/wine-exec.sh" "$@"
}

driver() {
    wine_run "$DRIVER" "$@"
}

# The locale that gives Wine the ANSI code page CODE_PAGE.
locale_of_code_page() {
    case $1 in
        932) echo ja_JP.UTF-8 ;;
        1252) echo en_US.UTF-8 ;;
        *) fail "no locale known for code page $1" ;;
    esac
}

# Starts EthBoxVup with the given arguments (Wine builds its command line from
# them) in the background; the pid of the wine started goes to APP_PID. With
# 32-bit Wine installed that is the program's own process for a 32-bit exe
# but start.exe for a 64-bit one, which runs the program in a process of its
# own; either ends when the program ends and exits with its exit status, all
# that these tests read from it.
start_app() {
    wine_run "$APP" "$@" &
    APP_PID=$!
    APP_PIDS+=("$APP_PID")
}

# Waits for the background program APP_PID and checks its exit status.
expect_app_exit() {
    local expected=$1 status=0
    wait "$APP_PID" || status=$?
    [[ $status == "$expected" ]] || fail "EthBoxVup exited with $status, expected $expected"
}

expect_eq() {
    local actual=$1 expected=$2 what=$3
    [[ "$actual" == "$expected" ]] || fail "$what: got [$actual], expected [$expected]"
}

# The one value of KEY in the KEY=VALUE lines on stdin.
value_of() {
    sed -n "s/^$1=//p"
}

# The address dialog: the program's unowned window with the address field.
MAIN=(--title "$TITLE" --unowned --with-id 1005)

GUIDANCE=$'ETHERNETボックスのIPアドレスを設定してください。\n[開始]ボタンでバージョンアップを開始します。'

# Checks the address dialog's caption and texts, and ADDRESS in its field.
expect_address_dialog_texts() {
    local address=$1 state
    state=$(driver window-state "${MAIN[@]}" --timeout 10000) || fail "the address dialog did not appear"
    expect_eq "$(value_of title <<<"$state")" "$TITLE" "caption"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 1005)" "$address" "proposed address in 1005"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 1)" "開始" "button 1"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 2)" "終了" "button 2"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 65535 --nth 1)" "IPアドレス" "field label"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 65535 --nth 2)" "$GUIDANCE" "guidance text"
}
