#!/usr/bin/env bash
# Only one address dialog at a time: a second start without /ip: exits with
# -1 (255) and brings the first one forward, restoring it when minimised, and
# otherwise leaves it alone. An update by /ip: goes beside it, and while it
# runs nothing else updates its box: neither a second /ip: of it nor 開始.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$ROOT/tests/e2e/update-lib.sh"
BOX_BUSY='このアドレスのETHERNETボックスは、別のウィンドウでバージョンアップ中です。\n終わってから、もう一度実行してください。'

# Starts a second instance and checks it is refused.
second_start() {
    local status=0
    guard_ip_option "$*"
    wine_run "$APP" "$@" || status=$?
    expect_eq "$status" 255 "exit status of the second start"
}

step "first instance"
start_app /fm1:fw.bin /type_ap
first=$(driver find-window "${MAIN[@]}" --timeout 10000) || fail "the first instance shows no dialog"
# A text the first instance would never propose, to see that nobody touches it.
driver set-text --hwnd "$first" --id 1005 "127.0.0.9 typed by hand"

step "a second start is refused and leaves the first as it was"
second_start /fm1:fw.bin /type_e2
second_start /fm1:other.bin /type_ap /chkoff
expect_eq "$(driver find-window "${MAIN[@]}")" "$first" "the one address dialog"
expect_eq "$(driver get-text --hwnd "$first" --id 1005)" "127.0.0.9 typed by hand" \
    "first instance's field"
state=$(driver window-state --hwnd "$first")
expect_eq "$(value_of enabled <<<"$state")$(value_of visible <<<"$state")" 11 "enabled and visible"

step "an update by /ip: goes beside the dialog; meanwhile its box is refused to a second /ip:, by any" \
    "spelling of its address, and to 開始"
make_firmware 188415
start_sim busy --kind e2
guard_ip_option /ip:127.0.0.1
wine_run "$APP" /fm1:fw.bin /type_e2 /ip:127.0.0.1 /quiet >"$WORK/busy-program.log" 2>&1 &
busy=$!
APP_PIDS+=("$busy")
wait_until 20 grep -q ' WRQ ' "$WORK/busy.log" ||
    fail "the update by /ip: did not begin within $(scaled 20) s: $(cat "$WORK/busy-program.log")"
second_start /fm1:fw.bin /type_e2 /ip:127.000.000.001 /quiet
driver set-text --hwnd "$first" --id 1005 "127.0.0.1"
run_update guarded
expect_eq "$(messages guarded)" "icon=exclamation text=$BOX_BUSY" "the one message"
! grep -q ' progress-window=' "$WORK/guarded.watch" || fail "a progress window opened"
driver set-text --hwnd "$first" --id 1005 "127.0.0.9 typed by hand"
status=0
wait_until 60 has_ended "$busy" ||
    fail "the update by /ip: did not end within $(scaled 60) s: $(cat "$WORK/busy-program.log")"
wait "$busy" || status=$?
expect_eq "$status" 0 "exit status of the update by /ip:"
expect_wire busy "$(expected_wire 188415 yes)" "the datagrams of the one update the device received"
expect_image_kept busy
stop_sim busy

# Puts a window of the driver's own in front of everything; its handle goes to
# DECOY, its process to DECOY_PID.
put_decoy_in_front() {
    driver hold-foreground --title "ethbox-driver decoy" --for 20000 >/dev/null &
    DECOY_PID=$!
    DECOY=$(driver find-window --title "ethbox-driver decoy" --class EthBoxDriverWindow) ||
        fail "the driver's own window did not appear"
    expect_eq "$(driver foreground | value_of hwnd)" "$DECOY" "foreground before the second start"
}

remove_decoy() {
    driver close --hwnd "$DECOY"
    wait "$DECOY_PID" || true
}

# Checks that the first instance is back and in front, and gives the
# foreground window's caption if not.
expect_first_in_front() {
    driver window-state --hwnd "$first" --until iconic=0 --until foreground=1 --timeout 5000 \
        >/dev/null || fail "$1: the first instance is not in front; foreground: $(driver foreground)"
}

step "behind another window, it comes to the front"
put_decoy_in_front
second_start /fm1:fw.bin /type_ap
expect_first_in_front "after a second start"
remove_decoy

step "minimised and behind another window, it is restored and comes to the front"
driver minimize --hwnd "$first"
put_decoy_in_front
expect_eq "$(driver window-state --hwnd "$first" | value_of iconic)" 1 "first minimised"
second_start /fm1:fw.bin /type_ap
expect_first_in_front "after a second start while minimised"
remove_decoy

step "the first instance still answers and closes with 0"
expect_eq "$(driver get-text --hwnd "$first" --id 1005)" "127.0.0.9 typed by hand" \
    "first instance's field after the restore"
driver click --hwnd "$first" --id 2
expect_app_exit 0

echo "PASS"
