# Sourced after lib.sh by the tests that run updates: the program in a folder
# of its own beside its firmware file, the simulated device, the driver's
# watch of an update, and the texts the program shows.

SIM=${ETHBOX_SIM:-}
[[ -x "$SIM" ]] || fail "no native ethbox-sim at [$SIM]: ETHBOX_SIM names it, and the" \
    "e2e_native_simulator fixture builds it (cmake --build --preset native --target ethbox-sim)"

# The texts as the watch prints them: a line break is the two characters \n.
S1='ETHERNETボックスに接続しています...'
S2='ファームウェアを転送しています...'
S3='ファームウェアを更新しています...'
M1='ファームウェアファイルが読み込めません。\nバージョンアップの実行を中止します。'
M3='ETHERNETボックスに接続できませんでした。\n装置の接続状況を確認し、再度バージョンアップを\n実行してください。'
M4='バージョンアップに失敗しました。\n装置の接続状況を確認し、再度バージョンアップを\n実行してください。'
M5='データの転送に失敗しました。\nバージョンアップの実行を中止します。'
M6='バージョンアップが完了しました。'
M7='バージョンアップの実行を中断します。'
ADDRESS_MESSAGE='IPアドレスの指定が間違っています。\n「000.000.000.000」形式で指定してください。'

# The program looks for its firmware in its own folder: a copy of it in a
# folder of the test's, where the tests write the file they want it to send.
BUILT_APP=$APP

# place_program FOLDER FILE: the program copied into $WORK/FOLDER, and the
# firmware file it is to read there, FILE, as APP and FIRMWARE.
place_program() {
    mkdir -p "$WORK/$1"
    cp "$BUILT_APP" "$WORK/$1/EthBoxVup.exe"
    APP=$WORK/$1/EthBoxVup.exe
    FIRMWARE=$WORK/$1/$2
    mkdir -p "$(dirname "$FIRMWARE")"
}
place_program program fw.bin

# make_firmware SIZE: a firmware file of SIZE random bytes.
make_firmware() {
    head -c "$1" /dev/urandom >"$FIRMWARE"
}

declare -A SIM_PID=()

# start_sim NAME [SWITCH...]: the simulated device at 127.0.0.1:69 (another
# address with --bind), misbehaving as the switches say. Its log goes to
# $WORK/NAME.log and each image it keeps to $WORK/NAME.image.
start_sim() {
    local name=$1
    shift
    rm -f "$WORK/$name.log" "$WORK/$name.image"
    "$SIM" --port 69 --time-limit 600 --image-out "$WORK/$name.image" "$@" \
        >"$WORK/$name.log" 2>&1 &
    SIM_PID[$name]=$!
    HELPER_PIDS+=("$!")
    wait_until 5 sim_ready_or_ended "$name" && grep -q '^ready ' "$WORK/$name.log" ||
        fail "ethbox-sim $* ended, or was not ready within $(scaled 5) s: $(cat "$WORK/$name.log")"
}
sim_ready_or_ended() { grep -q '^ready ' "$WORK/$1.log" || has_ended "${SIM_PID[$1]}"; }

stop_sim() {
    end_own_child "${SIM_PID[$1]}"
    wait "${SIM_PID[$1]}" 2>/dev/null || true
}

# The datagrams the simulator NAME received, in order, one a line: ":69" for
# its request port, ":T" for a transfer's own port, then the packet as its
# log describes it, e.g. ":69 WRQ file=/ mode=octet", ":T DATA block=1 bytes=512".
received() {
    sed -nE 's/^recv [^ ]+ -> :69 len=[0-9]+ /:69 /p; s/^recv [^ ]+ -> :[0-9]+ len=[0-9]+ /:T /p' \
        "$WORK/$1.log"
}

# What a device must receive for a whole update of SIZE bytes; PROBE is yes
# when the program reads "/info.sys" first.
expected_wire() {
    local size=$1 probe=$2 block blocks=$(($1 / 512))
    if [[ $probe == yes ]]; then
        echo ':69 RRQ file=/info.sys mode=octet'
        echo ':T ACK block=1'
    fi
    echo ':69 WRQ file=/ mode=octet'
    for ((block = 1; block <= blocks; block++)); do
        echo ":T DATA block=$block bytes=512"
    done
    # The last block is short, empty when the size is a multiple of 512.
    echo ":T DATA block=$((blocks + 1)) bytes=$((size % 512))"
}

# expect_wire NAME EXPECTED WHAT: the simulator NAME received the datagrams
# EXPECTED (lines as `received` prints them). Its log orders datagrams that
# reach different ports at nearly the same moment (the program sends the
# probe's acknowledgement and the write request back to back) as its loop
# happens to read them, so the requests and the rest are each compared in
# their own order.
expect_wire() {
    expect_eq "$(received "$1" | requests_first)" "$(requests_first <<<"$2")" "$3"
}

requests_first() {
    local lines
    lines=$(cat)
    printf '%s' "$lines" | grep '^:69 ' || true
    printf '%s' "$lines" | grep -v '^:69 ' || true
}

# Checks that the simulator NAME kept exactly one image, the firmware file.
expect_image_kept() {
    local name=$1
    expect_eq "$(grep '^image ' "$WORK/$name.log")" \
        "image length=$(stat -c %s "$FIRMWARE") sha256=$(sha256sum "$FIRMWARE" | cut -d' ' -f1)" \
        "the image the device reported"
    cmp -s "$WORK/$name.image" "$FIRMWARE" || fail "the image the device kept differs from the file"
}

# type_address TEXT: puts TEXT into the address field, as typed.
type_address() {
    await_address_dialog
    driver set-text "${MAIN[@]}" --id 1005 -- "$1" || fail "could not type the address [$1]"
}

# Fails unless the address field holds an address in 127.0.0.0/8 or one that
# is not four groups of digits at all (which the program must refuse): a test
# must never make the program send anywhere else.
guard_address() {
    local text
    text=$(driver get-text "${MAIN[@]}" --id 1005) || fail "cannot read the address field"
    ! sends_outside_loopback "$text" ||
        fail "the address field holds [$text], outside 127.0.0.0/8: not pressing 開始"
}

# run_update NAME [WATCH OPTION...]: presses 開始, follows what happens until
# every window it opened is gone, pressing OK on each message; the watch's
# lines go to $WORK/NAME.watch and, indented, to the test's output.
run_update() {
    local name=$1
    shift
    guard_address
    driver watch "${MAIN[@]}" --click-start --dismiss --timeout 90000 "$@" >"$WORK/$name.watch" ||
        { sed 's/^/    /' "$WORK/$name.watch"; fail "$name: the watch of the update failed"; }
    sed 's/^/    /' "$WORK/$name.watch"
}

# The watch's lines about the status, the bar, 中止 and the messages, in
# order and without their times.
events() {
    sed -nE 's/^[0-9]+ ((status|position|cancel)=.*|message .*)$/\1/p' "$WORK/$1.watch"
}

# The message boxes seen, one a line: "icon=ICON text=TEXT".
messages() {
    sed -n 's/^[0-9]* message //p' "$WORK/$1.watch"
}

# expect_message NAME ICON TEXT [DETAIL]: the one message box of the watch
# NAME shows ICON and TEXT as it stands, then an empty line and a detail that
# matches the extended regular expression DETAIL; without DETAIL (M6), TEXT
# alone. As the watch prints it: a line break is \n, a backslash \\.
expect_message() {
    local seen head="icon=$2 text=$3" detail
    seen=$(messages "$1")
    [[ $seen != *$'\n'* ]] || fail "more than one message: [$seen]"
    if [[ -z ${4:-} ]]; then
        expect_eq "$seen" "$head" "the one message"
        return
    fi
    [[ $seen == "$head\\n\\n"* ]] ||
        fail "the one message: got [$seen], expected [$head], an empty line and the detail"
    detail=${seen#"$head\\n\\n"}
    [[ $detail =~ $4 ]] || fail "the message's detail [$detail] is not /$4/"
    echo "message detail: $detail"
}

# The first time (ms) at which the watch printed a line beginning with FACT.
time_of() {
    sed -n "s/^\([0-9]*\) $2.*/\1/p" "$WORK/$1.watch" | head -n 1
}

# Checks that the address dialog is back, enabled, with TEXT still in its field.
expect_dialog_back() {
    driver window-state "${MAIN[@]}" --until enabled=1 --timeout 5000 >/dev/null ||
        fail "the address dialog is not enabled again"
    expect_eq "$(driver get-text "${MAIN[@]}" --id 1005)" "$1" "the address field afterwards"
}

# The record every attempt that opened the progress window leaves: beside the
# program, or in %LOCALAPPDATA%\EthBoxVup of the session's prefix when that
# folder cannot be written.
RECORD_NAME=EthBoxVup-log.csv
record_beside() { echo "$(dirname "$APP")/$RECORD_NAME"; }
record_in_appdata() { echo "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/EthBoxVup/$RECORD_NAME"; }

# record_count FILE: the lines of FILE after its header (0 when there is none).
record_count() {
    [[ -f $1 ]] || {
        echo 0
        return
    }
    echo $(($(grep -c $'\r$' "$1") - 1))
}

# The program's version as its record gives it: the version resource and the
# architecture.
program_version() {
    local version architecture
    version=$("$ROOT/scripts/exe-version.sh" "$APP" | sed -n 's/^file-version-text=//p')
    case $(LC_ALL=C x86_64-w64-mingw32-objdump -f "$APP" | sed -n 's/.*file format //p') in
        pei-x86-64) architecture=win64 ;;
        *) architecture=win32 ;;
    esac
    echo "$version $architecture"
}

# expect_record FILE COUNT CODE DETAIL: FILE holds COUNT lines after its
# header, the last one for the attempt of the program started last, at
# 127.0.0.1, that ended with outcome CODE, its detail matching the extended
# regular expression DETAIL. Every column is checked: the time within the
# program's run with the offset of the zone it ran in (TZ), the kind and the
# probe as its options say, the name as /fm1: gave it (letter case aside, and
# "?" for a character the code page lacks), the size and SHA-256 of the firmware file
# (neither when CODE is 1: nothing was loaded), seconds within the run, the
# version and the computer's name as Wine gives it.
expect_record() {
    local file=$1 count=$2 code=$3 detail=$4 size='' sha='' kind=e2 probe=on name
    [[ -f $file ]] || fail "no record at $file"
    expect_eq "$(record_count "$file")" "$count" "lines in the record after its header"
    [[ $APP_ARGS == */type_ap* ]] && kind=ap
    [[ $APP_ARGS == */chkoff* ]] && probe=off
    name=$(sed -n 's|.*/fm1:\([^ ]*\).*|\1|p' <<<"$APP_ARGS")
    if [[ $code != 1 ]]; then
        size=$(stat -c %s "$FIRMWARE")
        sha=$(sha256sum "$FIRMWARE" | cut -d' ' -f1)
    fi
    python3 - "$file" "$APP_STARTED" "$(date +%s)" "$code" "$detail" "$kind" "$probe" "$name" \
        "$size" "$sha" "$(program_version)" "$(hostname | cut -c 1-15)" <<'PYTHON' ||
import csv, datetime, re, sys
path, started, ended, code, detail, kind, probe, name, size, sha, version, computer = sys.argv[1:]
with open(path, encoding="utf-8-sig", newline="") as record:
    fields = list(csv.reader(record))[-1]
problems = []
def check(column, ok, what):
    if not ok:
        problems.append(f"column {column + 1} [{fields[column]}]: not {what}")
if len(fields) != 13:
    sys.exit(f"the record's last line has {len(fields)} fields, not 13: {fields}")
when = datetime.datetime.fromisoformat(fields[0])
check(0, int(started) - 1 <= when.timestamp() <= int(ended) + 1, f"within {started} to {ended}")
zone = datetime.datetime.fromtimestamp(when.timestamp()).astimezone().utcoffset()
check(0, when.utcoffset() == zone, f"at the zone's offset {zone}")
check(1, fields[1] == code, code)
check(3, re.search(detail, fields[3]) is not None, f"/{detail}/")
check(4, fields[4] == "127.0.0.1", "127.0.0.1")
check(5, fields[5] == kind, kind)
check(6, fields[6] == probe, probe)
# A name that is no text of the code page keeps its ASCII, the rest as "?".
given, kept = name.casefold(), fields[7].casefold()
check(7, len(given) == len(kept) and all(k in (g, "?") for g, k in zip(given, kept)), name)
check(8, fields[8] == size, f"[{size}]")
check(9, fields[9] == sha, f"[{sha}]")
check(10, re.fullmatch(r"\d+\.\d", fields[10]) is not None
      and float(fields[10]) <= int(ended) - int(started) + 1, "seconds within the run")
check(11, fields[11] == version, version)
check(12, fields[12] == computer.upper(), computer.upper())
print("\n".join(problems) if problems else f"record: {fields[1]} {fields[3]} at {fields[0]}")
sys.exit(1 if problems else 0)
PYTHON
        fail "the record's last line, in $file"
}

# expect_box_lines FILE ADDRESS=CODE...: FILE holds one line for each box of a
# run of several, in any order, each of 13 fields with its address and outcome.
expect_box_lines() {
    local file=$1
    shift
    [[ -f $file ]] || fail "no record at $file"
    python3 - "$file" "$@" <<'PYTHON' || fail "the record of the boxes, in $file: $(cat "$file")"
import csv, sys
with open(sys.argv[1], encoding="utf-8-sig", newline="") as record:
    lines = list(csv.reader(record))[1:]
expected = sorted(tuple(box.split("=")) for box in sys.argv[2:])
seen = sorted((fields[4], fields[1]) for fields in lines if len(fields) == 13)
if len(seen) != len(lines) or seen != expected:
    sys.exit(f"lines (address, outcome) {seen} of {len(lines)}, expected {expected}")
print(f"record: {seen}")
PYTHON
}

# expect_box_detail FILE ADDRESS MESSAGE DETAIL: the line of ADDRESS in FILE
# has MESSAGE in its message column and a detail that matches the extended
# regular expression DETAIL.
expect_box_detail() {
    python3 - "$@" <<'PYTHON' || fail "the line of $2 in $1: $(cat "$1")"
import csv, re, sys
path, address, message, detail = sys.argv[1:]
with open(path, encoding="utf-8-sig", newline="") as record:
    lines = [fields for fields in list(csv.reader(record))[1:] if fields[4] == address]
if len(lines) != 1 or lines[0][2] != message or not re.search(detail, lines[0][3]):
    sys.exit(f"lines of {address}: {lines}, expected one with [{message}] and /{detail}/")
print(f"record of {address}: {lines[0][1]} [{lines[0][2]}] {lines[0][3]}")
PYTHON
}

# A Linux path as the program names it: Wine's drive Z: is /.
wine_path() {
    echo "Z:${1//\//\\}"
}

# The summary of a watched round of boxes: the window of the list.
SUMMARY=(--title "結果 - $TITLE" --with-id 1102)

# Waits, at most 90 s (scaled), until the summary may be closed: every box
# has ended.
summary_closable() {
    driver controls "${SUMMARY[@]}" --timeout 1000 2>/dev/null | grep -q $'^id=2\t.*\tenabled=1\t'
}
await_round_end() {
    wait_until 90 summary_closable || fail "the summary of the round was not ready to close within" \
        "$(scaled 90) s: $(driver controls "${SUMMARY[@]}" 2>&1)"
}

# expect_summary LINE...: the summary copies itself (WM_COPY) as these lines,
# one a box in the order given, each matching its extended regular expression.
expect_summary() {
    local copied line index=0
    copied=$(driver copy-text "${SUMMARY[@]}") || fail "the summary did not copy itself"
    sed 's/^/    summary: /' <<<"$copied"
    expect_eq "$(wc -l <<<"$copied")" "$#" "lines of the summary"
    while IFS= read -r line; do
        index=$((index + 1))
        [[ $line =~ ^${!index}$ ]] || fail "the summary's line $index [$line] is not /${!index}/"
    done <<<"$copied"
}

# expect_retry_list FILE ADDRESS...: FILE is the list to retry a round, its
# "#" lines first, then exactly these addresses, one a line.
expect_retry_list() {
    local file=$1
    shift
    [[ -f $file ]] || fail "no list to retry at $file"
    sed 's/^/    retry: /' "$file"
    expect_eq "$(sed '1s/^\xEF\xBB\xBF//' "$file" | grep -v '^#' | tr -d '\r')" "$(printf '%s\n' "$@")" \
        "the addresses of the list to retry"
    expect_eq "$(sed '1s/^\xEF\xBB\xBF//' "$file" | head -n 2 | cut -c 1-2 | tr -d '\n')" "# # " \
        "the list's two comment lines"
}
