# Sourced by every end-to-end test: bash lib.sh-using-test.sh EthBoxVup.exe ethbox-driver.exe
# Checks the namespace, names the programs, and gives the helpers below.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Everything here runs Windows programs that may open sockets: only inside a
# Windows session of the test's own (scripts/wine-session.sh), whose network
# namespace has nothing but loopback and whose wineserver ends, with every
# program of the test, when the test does.
if [[ -z ${ETHBOX_WINE_SESSION:-} ]] || ! "$ROOT/scripts/netns-is-isolated.sh"; then
    echo "$(basename "$0"): refusing to run outside a Windows session of its own" \
        "(scripts/in-netns.sh scripts/windows-test-session.sh -R TEST runs one)" >&2
    exit 1
fi

source "$ROOT/scripts/wine-env.sh"

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

# Succeeds while PID is a process this shell started that has not ended.
# Bash reaps a child the moment it ends, and its number may then go to any
# process on the machine, another test's among them: a number kept from
# before must never be taken for the process it named, to wait on or to end.
is_own_child() {
    local stat state ppid
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
    read -r state ppid _ <<<"${stat##*) }" # after the name, which may hold blanks
    [[ $ppid == "$$" && $state != Z ]]
}
end_own_child() { ! is_own_child "$1" || kill "$1" 2>/dev/null || true; }
has_ended() { ! is_own_child "$1"; }

cleanup() {
    local pid
    # The session's wineserver ends the Windows programs; these are the Linux
    # processes the test started.
    for pid in "${APP_PIDS[@]}" "${HELPER_PIDS[@]}"; do
        end_own_child "$pid"
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    explain_program_end >&2
    exit 1
}

# Says whether the program started last still runs or how it ended, with what
# Wine printed for it: a program that never came up then explains the failure.
explain_program_end() {
    local status=0
    [[ -n ${APP_PID:-} ]] || return 0
    if is_own_child "$APP_PID"; then
        echo "  EthBoxVup ${APP_ARGS} still runs; Wine said so far:"
    else
        wait "$APP_PID" 2>/dev/null || status=$?
        echo "  EthBoxVup ${APP_ARGS} had ended, status $status; Wine said:"
        APP_PID=
    fi
    # In the console's code page, 932 under the Japanese locale.
    if iconv -f UTF-8 -t UTF-8 "$APP_LOG" >/dev/null 2>&1; then
        sed 's/^/    /' "$APP_LOG"
    else
        iconv -f CP932 -t UTF-8 -c "$APP_LOG" | sed 's/^/    /'
    fi 2>/dev/null || true
}

step() {
    echo "-- $*"
}

wine_run() {
    "$ROOT/scripts/wine-exec.sh" "$@"
}

# A driver that fails says why itself; one that ends without a word (a loaded
# run's get-text did) leaves its status and Wine's errors to tell.
driver() {
    local status errors attempt
    errors=$(mktemp -p "$WORK" driver.XXXXXX)
    for attempt in 1 2; do
        status=0
        WINEDEBUG=fixme-all,err+all "$ROOT/scripts/wine-exec.sh" "$DRIVER" "$@" 2>"$errors" || status=$?
        cat "$errors" >&2
        # Now and then, on a loaded machine, Wine cannot set up a new process
        # at all ("failed to map the shared user data", two loaded runs): the
        # command never ran, so it runs again, once.
        ((status != 0)) && grep -q 'failed to map the shared user data' "$errors" || break
        echo "  (ethbox-driver $1 did not start under Wine: once more)" >&2
    done
    rm -f "$errors"
    ((status == 0)) || echo "  (ethbox-driver $1 ended with status $status)" >&2
    return "$status"
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
# them) in the background; its pid goes to APP_PID (the program's own process:
# wine-exec.sh starts a 64-bit one through the 64-bit loader), what Wine
# prints for it to APP_LOG (with APP_WINEDEBUG's channels too, if set). The
# program started before must have ended: a row never meets the program of
# the row before.
APP_STARTS=0
start_app() {
    if [[ -n ${APP_PID:-} ]] && is_own_child "$APP_PID"; then
        fail "the program started before (${APP_ARGS}) still runs"
    fi
    guard_ip_option "$*"
    APP_STARTS=$((APP_STARTS + 1))
    APP_LOG=$WORK/program.$APP_STARTS.log
    APP_ARGS="$*"
    APP_STARTED=$(date +%s)
    # Wine's errors are kept: a program that never came up says why.
    WINEDEBUG=err+all${APP_WINEDEBUG:+,$APP_WINEDEBUG} wine_run "$APP" "$@" >"$APP_LOG" 2>&1 &
    APP_PID=$!
    APP_PIDS+=("$APP_PID")
}

# wait_until SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds,
# for at most SECONDS times ETHBOX_WAIT_SCALE; fails if it never does. The
# caller's failure names what it waited for, and for $(scaled SECONDS) s.
wait_until() {
    local tries=$(($1 * ETHBOX_WAIT_SCALE * 20))
    shift
    until "$@"; do
        ((tries-- > 0)) || return 1
        sleep 0.05
    done
}
scaled() { echo $(($1 * ETHBOX_WAIT_SCALE)); }

# expect_app_exit STATUS [SECONDS]: waits, at most SECONDS (20) times
# ETHBOX_WAIT_SCALE, for the background program APP_PID to end, and checks
# its exit status.
expect_app_exit() {
    local expected=$1 seconds=${2:-20} status=0
    wait_until "$seconds" has_ended "$APP_PID" ||
        fail "EthBoxVup did not end within $(scaled "$seconds") s (expected exit status $expected)"
    wait "$APP_PID" || status=$?
    APP_PID=
    [[ $status == "$expected" ]] || fail "EthBoxVup exited with $status, expected $expected"
}

# Succeeds when TEXT, blanks aside, is four groups of digits whose first is
# not 127: an address outside 127.0.0.0/8 that the program would send to.
# Anything else it sends nowhere: 127.x, or no address it would take.
sends_outside_loopback() {
    local first
    [[ ${1// /} =~ ^([0-9]+)\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || return 1
    first=$(sed 's/^0*//' <<<"${BASH_REMATCH[1]}")
    [[ $first != 127 ]]
}

# Fails unless TEXT, a command line or its part, gives /ip: only addresses
# the program sends nowhere but to loopback: one, a list joined by commas, or
# the lines of @FILE beside the program. A file it cannot read as the program
# would (a plain name of a file that is there) is refused too.
guard_ip_option() {
    local option name address addresses
    [[ $1 =~ /[iI][pP]:(@\"[^\"]*\"?|[^[:space:]]*) ]] || return 0
    option=${BASH_REMATCH[1]}
    if [[ $option == @* ]]; then
        name=${option#@}
        name=${name//\"/}
        [[ $name =~ ^[A-Za-z0-9._\ -]+$ && -f $(dirname "$APP")/$name ]] ||
            fail "/ip:$option: no file of that plain name beside the program to check: not starting the program"
        # As the program reads it: UTF-16 by its byte-order mark, a UTF-8
        # one left out, a last Ctrl-Z dropped, "#" lines left out.
        option=$(python3 - "$(dirname "$APP")/$name" <<'PYTHON'
import sys
data = open(sys.argv[1], "rb").read()
if data[:2] in (b"\xff\xfe", b"\xfe\xff"):
    text = data[2:].decode("utf-16-le" if data[0] == 0xFF else "utf-16-be", errors="replace")
else:
    text = data.removeprefix(b"\xef\xbb\xbf").decode("latin-1")
lines = text.replace("\0", "").removesuffix("\x1a").split("\n")
print(",".join(line for line in lines if not line.strip(" \t\r").startswith("#")))
PYTHON
        ) || fail "/ip:$option: the file could not be read to check it: not starting the program"
    fi
    IFS=, read -ra addresses <<<"$option"
    for address in "${addresses[@]}"; do
        ! sends_outside_loopback "${address//[[:space:]]/}" ||
            fail "/ip: names $address, outside 127.0.0.0/8: not starting the program"
    done
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

# Waits, at most 10 s (scaled), for the address dialog of the program started last,
# and fails at once, with what Wine said, if that program ends first: one
# that never came up must not hold the test up, nor leave it to the time-out.
await_address_dialog() {
    local finder
    driver find-window "${MAIN[@]}" --timeout 10000 >/dev/null 2>"$WORK/finder.err" &
    finder=$!
    while is_own_child "$finder"; do
        if [[ -n ${APP_PID:-} ]] && has_ended "$APP_PID"; then
            end_own_child "$finder"
            wait "$finder" 2>/dev/null || true
            fail "EthBoxVup ended before its address dialog appeared"
        fi
        sleep 0.05
    done
    # The driver says why: nothing within the time, or more than one such
    # window (one left by the program before, say).
    wait "$finder" || fail "no address dialog to work: $(cat "$WORK/finder.err")"
}

GUIDANCE=$'ETHERNETボックスのIPアドレスを設定してください。\n[開始]ボタンでバージョンアップを開始します。'

# Checks the address dialog's caption and texts, and ADDRESS in its field.
expect_address_dialog_texts() {
    local address=$1 state
    await_address_dialog
    state=$(driver window-state "${MAIN[@]}" --timeout 10000) || fail "the address dialog did not appear"
    expect_eq "$(value_of title <<<"$state")" "$TITLE" "caption"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 1005)" "$address" "proposed address in 1005"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 1)" "開始" "button 1"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 2)" "終了" "button 2"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 65535 --nth 1)" "IPアドレス" "field label"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 65535 --nth 2)" "$GUIDANCE" "guidance text"
}
