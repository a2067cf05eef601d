#!/usr/bin/env bash
# Each way an update can fail shows exactly one message, with its icon, and
# leaves the address dialog open with the address as typed; the attempts of a
# group run one after the other in the same dialog, and the last one, after
# all those failures, completes. The firmware file is read afresh each time.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$ROOT/tests/e2e/update-lib.sh"

# Where the program looks for its firmware, as it names the path (Wine's
# drive Z: is /) and the watch prints it (a backslash doubled), as a regular
# expression that matches it alone.
FIRMWARE_SHOWN=$(sed 's|/|\\\\|g; s|^|Z:|; s/[][\\.*^$()+?{}|]/\\&/g' <<<"$FIRMWARE")

# What the device must have received, against the datagrams of a whole update:
#   lines:N  the first N of them and nothing more
#   cut      some of them, the transfer stopped before its end
#   whole    all of them, the device keeping the file
# Under the message, after an empty line, the detail (an extended regular
# expression); the device at 127.0.0.1 is at this PC's own address, which is
# why nothing answered there, but not why a transfer that had begun broke off.
# name | simulated device | image size | watch options | icon and message | detail | wire
ANSWERED_NOTHING='1秒以内に応答なし。127\.0\.0\.1はこのPC自身のアドレスです$'
# The kind check answered, the write request not: the device was there, at
# that address and past the firewall, a moment before.
WRITE_IGNORED='^書き込み要求: 1秒以内に応答なし。127\.0\.0\.1の装置は種別確認に応答しましたが、書き込み要求には応答しません$'
WITH_PROBE=(
    "the file is too short|--kind e2|5119||exclamation $M1|^ファイルが小さすぎます\(5119バイト、5120バイト以上が必要\)。ファイルの場所: $FIRMWARE_SHOWN\$|lines:0"
    "nothing answers at this PC's own address|--silent|5120||exclamation $M3|^\"/info.sys\"の読み出し: $ANSWERED_NOTHING|lines:1"
    "the device is of the other kind|--kind ap|5120||exclamation $M3|^\"/info.sys\"の読み出し: 装置の種別が違います\(先頭\"1\"はap\)\$|lines:2"
    "the device has no /info.sys|--kind none|5120||exclamation $M3|^\"/info.sys\"の読み出し: ERRORパケット\(コード1「|lines:1"
    "the kind check answered, the write request not|--kind e2 --fault ack0:drop|5120||exclamation $M4|$WRITE_IGNORED|lines:3"
    "an acknowledgement is lost|--kind e2 --drop-ack 3|5120||stop $M5|^ブロック3/11: 1秒以内に応答なし\$|lines:6"
    "中止 during the transfer|--kind e2|45668|--cancel-at status=$S2|exclamation $M7|^転送中\(ブロック[0-9]+/90\)に中止\$|cut"
    "the close box while the device writes its flash|--kind e2|5120|--close-at status=$S3|exclamation $M7|^ファームウェア更新中\([0-9]+秒経過\)に中止\$|whole"
    "then an attempt that completes|--kind e2|5120||none $M6||whole"
)
# The device's silence keeps the first tick waiting for its answer from about
# 30 ms to 1030 ms: 中止 or the close box at 300 ms comes inside that wait,
# which must end without a second message (the dialog manager answers the
# close box with a 中止 of its own as well).
WITHOUT_PROBE=(
    "silence to the write request|--silent|5120||exclamation $M4|^書き込み要求: $ANSWERED_NOTHING|lines:1"
    "中止 while the program waits for an answer|--silent|5120|--cancel-at ms=300|exclamation $M7|^転送中\(ブロック0/11\)に中止\$|lines:1"
    "the close box while the program waits for an answer|--silent|5120|--close-at ms=300|exclamation $M7|^転送中\(ブロック0/11\)に中止\$|lines:1"
)

# With /ip: each attempt is a program of its own that ends with it, its exit
# code the outcome's; the record's detail tells apart what one message
# covers. With /quiet nothing is shown; without it the watch, which follows
# the progress window from when it starts, presses OK. Where the record's
# folder beside the program is blocked (a folder named as the file), the
# line goes to %LOCALAPPDATA%\EthBoxVup instead; where it is written beside
# the program, %LOCALAPPDATA% gets nothing. A place may name the zone the
# program runs in: Newfoundland's offset is negative and not whole hours, so
# that a sign error shows.
# name | options | simulated device | image size | watch options | exit code | detail | record
UNATTENDED=(
    "no answer to the probe, in Newfoundland|/type_e2 /ip:127.0.0.1 /quiet|--silent|5120||3|^\"/info.sys\"の読み出し: $ANSWERED_NOTHING|beside TZ=America/St_Johns"
    "the device is of the other kind|/type_e2 /ip:127.0.0.1 /quiet|--kind ap|5120||3|^\"/info.sys\"の読み出し: 装置の種別が違います|appdata"
    "silence to the write request|/type_ap /chkoff /ip:127.0.0.1 /quiet|--silent|5120||4|^書き込み要求: $ANSWERED_NOTHING|beside"
    "the kind check answered, the write request not|/type_e2 /ip:127.0.0.1 /quiet|--kind e2 --fault ack0:drop|5120||4|$WRITE_IGNORED|beside"
    "an acknowledgement is lost, its message shown|/type_e2 /ip:127.0.0.1|--kind e2 --drop-ack 3|5120|--dismiss|5|^ブロック3/11: 1秒以内に応答なし$|beside"
    "中止 during the transfer|/type_e2 /ip:127.0.0.1 /quiet|--kind e2|45668|--cancel-at status=$S2|7|^転送中\(ブロック[0-9]+/90\)に中止$|beside"
    "the close box while the device writes its flash|/type_ap /ip:127.0.0.1 /quiet|--kind ap|5120|--close-at status=$S3|9|^ファームウェア更新中\([0-9]+秒経過\)に中止$|beside"
)

# Each update asks Windows to keep the system awake from its start, and gives
# that back when it ends, however it ends, before any message waits for its
# OK. Wine's relay trace of the program, kept to the calls that tell it
# (RelayInclude), shows them in order, a letter each: W the request
# (ES_CONTINUOUS | ES_SYSTEM_REQUIRED), R its release (ES_CONTINUOUS alone),
# X any other such call, S datagrams sent (a run of them as one), M a message
# box.
wine_run reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /f \
    /d 'kernel32.SetThreadExecutionState;ws2_32.sendto;user32.MessageBoxW' >/dev/null ||
    fail "could not keep Wine's relay trace to the calls of the wake request"
export APP_WINEDEBUG=+relay
wake_trace() {
    sed -nE '
        s/^([0-9a-f]+:)+Call kernel32\.SetThreadExecutionState\(0*80000001\).*/W/Ip; t
        s/^([0-9a-f]+:)+Call kernel32\.SetThreadExecutionState\(0*80000000\).*/R/Ip; t
        s/^([0-9a-f]+:)+Call kernel32\.SetThreadExecutionState\(.*/X/Ip; t
        s/^([0-9a-f]+:)+Call ws2_32\.sendto\(.*/S/Ip; t
        s/^([0-9a-f]+:)+Call user32\.MessageBoxW\(.*/M/Ip' "$APP_LOG" | tr -d '\n' | tr -s S
}

# expect_kept_awake UPDATES: the program started last, now ended, kept the
# system awake through each of its UPDATES updates, every datagram sent
# while it was, and let it sleep again before any message.
expect_kept_awake() {
    local trace requests
    trace=$(wake_trace)
    requests=${trace//[^W]/}
    [[ $trace =~ ^(WS?RM?)+$ ]] && ((${#requests} == $1)) ||
        fail "the wake requests of $1 updates, in Wine's relay trace: [$trace]"
    echo "kept awake: $trace"
}

# check_wire NAME WIRE SIZE PROBE: the datagrams the simulator NAME received.
check_wire() {
    local name=$1 wire=$2 whole received_count
    whole=$(expected_wire "$3" "$4")
    case $wire in
        lines:*)
            expect_wire "$name" "$(head -n "${wire#lines:}" <<<"$whole")" \
                "the datagrams the device received"
            ;;
        cut)
            received_count=$(received "$name" | wc -l)
            expect_wire "$name" "$(head -n "$received_count" <<<"$whole")" \
                "the datagrams the device received, in order"
            ((received_count < $(wc -l <<<"$whole"))) || fail "the transfer was not cut short"
            echo "the device received $received_count of $(wc -l <<<"$whole") datagrams"
            ;;
        whole)
            expect_wire "$name" "$whole" "the datagrams the device received"
            expect_image_kept "$name"
            ;;
    esac
}

# run_attempts OPTIONS PROBE ROW...: one program, one attempt per row.
run_attempts() {
    local options=$1 probe=$2 row name switches size watch_options message detail wire
    shift 2
    local updates=$#
    # shellcheck disable=SC2086 # the options are separate arguments
    start_app /fm1:fw.bin $options
    type_address 127.0.0.1
    for row in "$@"; do
        IFS='|' read -r name switches size watch_options message detail wire <<<"$row"
        step "$options: $name ($switches, $size bytes)"
        make_firmware "$size"
        start_sim attempt $switches
        # shellcheck disable=SC2086 # moment texts hold no blanks
        run_update attempt $watch_options
        expect_message attempt "${message%% *}" "${message#* }" "$detail"
        if [[ $watch_options == "--close-at status=$S3" ]]; then
            grep -q '^[0-9]* cancel=disabled$' "$WORK/attempt.watch" ||
                fail "中止 was not greyed out when the close box was used"
        fi
        check_wire attempt "$wire" "$size" "$probe"
        stop_sim attempt
        if [[ $message == "none $M6" ]]; then
            expect_app_exit 0
            expect_kept_awake "$updates"
            return
        fi
        expect_dialog_back 127.0.0.1
    done
    driver click "${MAIN[@]}" --id 2
    expect_app_exit 0
    expect_kept_awake "$updates"
}

# run_unattended ROW...: one program per row, with no one at the address dialog.
run_unattended() {
    local row name options switches size watch_options code detail place record
    for row in "$@"; do
        IFS='|' read -r name options switches size watch_options code detail place <<<"$row"
        step "unattended, $options: $name ($switches, $size bytes): exit code $code"
        make_firmware "$size"
        rm -rf "$(record_beside)" "$(dirname "$(record_in_appdata)")" "$WORK/attempt.watch"
        record=$(record_beside)
        if [[ $place == appdata ]]; then
            mkdir "$(record_beside)"
            record=$(record_in_appdata)
        fi
        start_sim attempt $switches
        # shellcheck disable=SC2086 # the options are separate arguments
        in_zone "$place" start_app /fm1:fw.bin $options
        if [[ -n $watch_options ]]; then
            # shellcheck disable=SC2086 # moment texts hold no blanks
            driver watch --title "$TITLE" --with-id 1051 --timeout 30000 $watch_options \
                >"$WORK/attempt.watch" || fail "$name: the watch of the update failed"
            sed 's/^/    /' "$WORK/attempt.watch"
        fi
        expect_app_exit "$code"
        expect_kept_awake 1
        if [[ $options == */quiet* ]] && [[ -f $WORK/attempt.watch ]]; then
            expect_eq "$(messages attempt)" "" "message boxes under /quiet"
        fi
        in_zone "$place" expect_record "$record" 1 "$code" "$detail"
        if [[ $place == beside* ]] && [[ -e $(dirname "$(record_in_appdata)") ]]; then
            fail "a record beside the program left $(ls -R "$(dirname "$(record_in_appdata)")")"
        fi
        stop_sim attempt
    done
    rm -rf "$(record_beside)"
}

# A send the socket layer refuses: in this test's own namespace, loopback
# made to hold 127.0.0.1/32 alone leaves no route to 127.0.0.5, and the
# program is told so at once (10051), which is why nothing answered. Last, as
# the namespace stays so.
refused_send() {
    step "unattended, /ip:127.0.0.5 with no route to it: the refused send under M3"
    ip addr del 127.0.0.1/8 dev lo
    ip addr add 127.0.0.1/32 dev lo
    make_firmware 5120
    start_app /fm1:fw.bin /type_e2 /ip:127.0.0.5
    driver watch --title "$TITLE" --with-id 1051 --timeout 30000 --dismiss >"$WORK/unrouted.watch" ||
        fail "the watch of the update to 127.0.0.5 failed"
    sed 's/^/    /' "$WORK/unrouted.watch"
    expect_app_exit 3
    expect_message unrouted exclamation "$M3" \
        '^"/info.sys"の読み出し: 1秒以内に応答なし。送信できませんでした: 宛先への経路がありません\(WinSockエラー10051\)$'
}

# in_zone PLACE COMMAND...: COMMAND in the zone PLACE names with TZ=ZONE, if any.
in_zone() {
    local place=$1
    shift
    if [[ $place == *TZ=* ]]; then
        TZ=${place#*TZ=} "$@"
    else
        "$@"
    fi
}

# The codes of FILE's lines after its header, in order.
record_codes() {
    python3 -c 'import csv, sys
print(" ".join(row[1] for row in list(csv.reader(open(sys.argv[1], encoding="utf-8-sig", newline="")))[1:]))' "$1"
}

# A record that another program holds open as Excel does (reading, others
# may not write): the line waits beside it, the record untouched, while a
# program in another folder (another stick) writes its own record without
# it; the waiting line reaches its own record before the next line once the
# file is let go.
run_held_record() {
    local record pending holder
    record=$(record_beside)
    pending=$(dirname "$record")/EthBoxVup-log.pending.csv
    step "a record held open by another program: its line waits beside it, reaches no other" \
        "program's record, then reaches its own in order"
    rm -rf "$record" "$pending" "$(dirname "$(record_in_appdata)")"
    make_firmware 5120
    start_sim attempt --silent
    start_app /fm1:fw.bin /type_e2 /ip:127.0.0.1 /quiet
    expect_app_exit 3
    cp "$record" "$WORK/record.before"
    # Run directly, so that its pid is the driver's own (wine-exec.sh execs).
    "$ROOT/scripts/wine-exec.sh" "$DRIVER" hold-file --path "$record" >"$WORK/hold.out" 2>&1 &
    holder=$!
    HELPER_PIDS+=("$holder")
    wait_until 10 grep -q '^held' "$WORK/hold.out" ||
        fail "the driver did not hold the record within $(scaled 10) s: $(cat "$WORK/hold.out")"
    start_app /fm1:fw.bin /type_ap /chkoff /ip:127.0.0.1 /quiet
    expect_app_exit 4
    cmp -s "$record" "$WORK/record.before" || fail "the held record was changed"
    expect_record "$pending" 1 4 "^書き込み要求: $ANSWERED_NOTHING"
    cp "$pending" "$WORK/pending.before"
    place_program other fw.bin
    make_firmware 5120
    start_app /fm1:fw.bin /type_e2 /ip:127.0.0.1 /quiet
    expect_app_exit 3
    expect_record "$(record_beside)" 1 3 "応答なし"
    cmp -s "$pending" "$WORK/pending.before" ||
        fail "the waiting line was moved when another folder's record was written"
    place_program program fw.bin
    make_firmware 5120
    end_own_child "$holder"
    wait "$holder" 2>/dev/null || true
    start_app /fm1:fw.bin /type_e2 /ip:127.0.0.1 /quiet
    expect_app_exit 3
    expect_record "$record" 3 3 "応答なし"
    expect_eq "$(record_codes "$record")" "3 4 3" "the record's codes, in the order of the attempts"
    [[ ! -e $pending ]] || fail "the waiting line stayed after it reached the record"
    [[ ! -e $(dirname "$(record_in_appdata)") ]] ||
        fail "lines went to %LOCALAPPDATA%: $(ls -R "$(dirname "$(record_in_appdata)")")"
    stop_sim attempt
    rm -rf "$record"
}

run_attempts /type_e2 yes "${WITH_PROBE[@]}"
run_attempts "/type_ap /chkoff" no "${WITHOUT_PROBE[@]}"
run_unattended "${UNATTENDED[@]}"

# A watched round of four boxes. The second box's write request goes
# unanswered (4, about a second in), the third is of the other kind (3,
# within its first ticks: the first to fail, with the lowest code), the
# fourth loses the acknowledgement of block 50 of 60 (5, the last to fail,
# with the highest code, the last in the list). Only the rule "the first box
# in the list that did not complete" gives 4; the record, whose lines come in
# the order the boxes ended, shows that order. Each box's window shows its
# outcome in place and ends with no message box; then the summary is the one
# window left, with a line for each box, and the list to retry beside the
# program names the three that did not complete.
step "four boxes side by side, watched: the second, third and fourth fail, the third first," \
    "the fourth last: exit 4, one summary, the list to retry"
make_firmware 30500
rm -f "$(record_beside)" "$(dirname "$APP")/EthBoxVup-retry.txt"
start_sim box1 --bind 127.0.0.1 --kind e2
start_sim box2 --bind 127.0.0.2 --kind e2 --drop-ack 0
start_sim box3 --bind 127.0.0.3 --kind ap
start_sim box4 --bind 127.0.0.4 --kind e2 --drop-ack 50
start_app /fm1:fw.bin /type_e2 /ip:127.0.0.1,127.0.0.2,127.0.0.3,127.0.0.4
driver watch --title "127.0.0.1 - $TITLE" --with-id 1051 --timeout 60000 >"$WORK/box1.watch" &
box1_watch=$!
driver watch --title "127.0.0.4 - $TITLE" --with-id 1051 --timeout 60000 >"$WORK/box4.watch" ||
    fail "the watch of the fourth box failed: $(cat "$WORK/box4.watch")"
wait "$box1_watch" || fail "the watch of the first box failed: $(cat "$WORK/box1.watch")"
for box in box1 box4; do
    sed 's/^/    /' "$WORK/$box.watch"
    expect_eq "$(messages "$box")" "" "message boxes of $box"
done
expect_eq "$(events box1 | grep '^status=' | tail -n 1)" "status=完了" "the first box's outcome, in place"
expect_eq "$(events box4 | grep '^status=' | tail -n 1)" "status=データの転送に失敗しました" \
    "the fourth box's outcome, in place"
await_round_end
for box in 127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4; do
    driver no-window --title "$box - $TITLE" --class '' || fail "a window of $box is still open"
done
expect_summary "127.0.0.1	完了	60ブロックを[0-9]+\.[0-9]秒で転送" \
    "127.0.0.2	バージョンアップに失敗しました	書き込み要求: 1秒以内に応答なし.*" \
    "127.0.0.3	接続できませんでした	\"/info\.sys\"の読み出し: 装置の種別が違います\(先頭\"1\"はap\)" \
    "127.0.0.4	データの転送に失敗しました	ブロック50/60: 1秒以内に応答なし.*"
expect_eq "$(driver get-text "${SUMMARY[@]}" --id 1101)" \
    "4台のうち3台は完了しませんでした。そのアドレスを次のファイルに書き出しました。
$(wine_path "$(dirname "$APP")/EthBoxVup-retry.txt")
/ip:@EthBoxVup-retry.txt で、その装置だけをもう一度バージョンアップできます。" "the summary's heading"
expect_retry_list "$(dirname "$APP")/EthBoxVup-retry.txt" 127.0.0.2 127.0.0.3 127.0.0.4
driver click "${SUMMARY[@]}" --id 2
expect_app_exit 4
expect_image_kept box1
expect_box_lines "$(record_beside)" 127.0.0.1=0 127.0.0.2=4 127.0.0.3=3 127.0.0.4=5
expect_eq "$(record_codes "$(record_beside)")" "3 4 5 0" "the codes in the order the boxes ended"
for box in box1 box2 box3 box4; do
    stop_sim $box
done

# The list to retry, read beside the program as "/ip:@FILE": exactly the
# boxes it names are updated, the first box's device hears nothing, and a
# round in which every box completed leaves no list behind.
step "/ip:@EthBoxVup-retry.txt: the three boxes again, now answering; no list left"
for box in 1 2 3 4; do
    start_sim "box$box" --bind "127.0.0.$box" --kind e2
done
start_app /fm1:fw.bin /type_e2 /ip:@EthBoxVup-retry.txt /quiet
expect_app_exit 0 90
expect_eq "$(received box1)" "" "the datagrams the first box's device received"
for box in box2 box3 box4; do
    expect_image_kept $box
    stop_sim $box
done
stop_sim box1
[[ ! -e $(dirname "$APP")/EthBoxVup-retry.txt ]] || fail "the list to retry stayed after a round that completed"
rm -f "$(record_beside)"

# A box ended from outside, as the Task Manager's End task ends it: it told
# nothing, so the starter gives it its own code and writes its line.
step "two boxes, the second ended from outside: exit 10, its line with no outcome, the summary says so"
start_sim box1 --bind 127.0.0.1 --kind e2
start_sim box2 --bind 127.0.0.2 --kind e2
start_app /fm1:fw.bin /type_e2 /ip:127.0.0.1,127.0.0.2
driver end-process --title "127.0.0.2 - $TITLE" --with-id 1051 --timeout 20000 ||
    fail "the second box's process could not be ended"
await_round_end
expect_summary "127.0.0.1	完了	60ブロックを[0-9]+\.[0-9]秒で転送" \
    "127.0.0.2	結果がわかりません	結果を伝えずにプロセスが終わりました\(終了コード1\)"
driver close "${SUMMARY[@]}"
expect_app_exit 10
expect_box_lines "$(record_beside)" 127.0.0.1=0 127.0.0.2=10
expect_box_detail "$(record_beside)" 127.0.0.2 "" "^結果を伝えずにプロセスが終わりました\(終了コード1\)$"
expect_retry_list "$(dirname "$APP")/EthBoxVup-retry.txt" 127.0.0.2
stop_sim box1
stop_sim box2
rm -f "$(record_beside)" "$(dirname "$APP")/EthBoxVup-retry.txt"

run_held_record
refused_send

echo "PASS"
