#!/usr/bin/env bash
# What the address dialog lets through to the device. An ill-formed address
# is refused with one message and its icon, nothing is sent, and the field
# keeps the text as typed; a well-formed one is read as decimal, blanks
# ignored, and its datagrams reach that address and no other.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$ROOT/tests/e2e/update-lib.sh"

long_group=$(printf '0%.0s' {1..55})1
# The field is read as UTF-16: under the Western code page an ANSI reading
# would make the full-width digit an ASCII look-alike.
# text typed | why it is refused | code page
REFUSED=(
    "|empty|932"
    "   |blanks only|932"
    "127.0.1|two full stops|932"
    "127.0.0.0.1|four full stops|932"
    "127.0.0.a|a letter|932"
    "127.0.0.１|a full-width digit|932"
    "127.0.0.256|a group above 255|932"
    "127..0.1|an empty group|932"
    "127.0.0.$long_group|64 characters, more than an address can take|932"
    "127.0.0.１|a full-width digit|1252"
)

# /ip: is checked as the field is: a refused address ends the program at
# once with exit code 8, no window shown, nothing sent, nothing recorded.
# text after /ip: | why it is refused
REFUSED_IP=(
    "|empty"
    "127.0.0.１|a full-width digit"
    "127.0.0.256|a group above 255"
    "127.0.0.1x|a trailing letter"
    "127.0.0.1,127.0.0.256|one address of a list"
    "127.0.0.1,127.000.000.001|a list that names one box twice"
    "@boxes.txt|a file beside the program with one line that is no address"
)

# text typed | where it must arrive | where nothing must arrive
ACCEPTED=(
    "127.000.000.010|127.0.0.10|127.0.0.8"
    " 127 .0.0. 10 |127.0.0.10|127.0.0.8"
)

make_firmware 45668
start_sim device --kind ap

# One program for each code page in turn; the accepted rows use the last one's.
running_code_page=
for row in "${REFUSED[@]}"; do
    IFS='|' read -r text why code_page <<<"$row"
    if [[ $code_page != "$running_code_page" ]]; then
        if [[ -n $running_code_page ]]; then
            driver click "${MAIN[@]}" --id 2
            expect_app_exit 0
        fi
        ETHBOX_WINE_LOCALE=$(locale_of_code_page "$code_page") start_app /fm1:fw.bin /type_ap
        running_code_page=$code_page
    fi
    step "refused under code page $code_page: $why [$text]"
    type_address "$text"
    run_update refused
    expect_eq "$(messages refused)" "icon=exclamation text=$ADDRESS_MESSAGE" "the one message"
    ! grep -q ' progress-window=' "$WORK/refused.watch" || fail "a progress window opened"
    expect_dialog_back "$text"
done
driver click "${MAIN[@]}" --id 2
expect_app_exit 0
printf '127.0.0.1\r\n# the shelf\r\n127.0.0.2 box 2\r\n' >"$(dirname "$APP")/boxes.txt"
for row in "${REFUSED_IP[@]}"; do
    IFS='|' read -r text why <<<"$row"
    line="EthBoxVup.exe /fm1:fw.bin /type_ap /ip:$text /quiet"
    step "refused on the command line: $why [$line]"
    guard_ip_option "$line"
    result=$(driver launch --app "$APP" --cmdline "$line" --wait --watch-windows --timeout 10000) ||
        fail "the program did not end by itself for [$line]"
    expect_eq "$(value_of exit-code <<<"$result")" 8 "exit code for [$line]"
    expect_eq "$(value_of windows-seen <<<"$result")" 0 "windows shown for [$line]"
done
[[ ! -e $(record_beside) ]] || fail "refused addresses left a record: $(cat "$(record_beside)")"
expect_eq "$(received device)" "" "datagrams sent while refusing addresses"
stop_sim device
ETHBOX_WINE_LOCALE=$(locale_of_code_page "$running_code_page") start_app /fm1:fw.bin /type_ap

for row in "${ACCEPTED[@]}"; do
    IFS='|' read -r text target elsewhere <<<"$row"
    step "accepted: [$text] goes to $target, not $elsewhere"
    start_sim target --bind "$target" --kind ap
    start_sim elsewhere --bind "$elsewhere" --kind ap
    type_address "$text"
    run_update accepted --cancel-at "status=$S2"
    expect_message accepted exclamation "$M7" '^転送中\(ブロック[0-9]+/[0-9]+\)に中止$'
    expect_eq "$(received target | requests_first | head -n 3)" \
        "$(expected_wire 45668 yes | head -n 3 | requests_first)" \
        "the probe and the write request at $target"
    expect_eq "$(received elsewhere)" "" "datagrams at $elsewhere"
    expect_dialog_back "$text"
    stop_sim target
    stop_sim elsewhere
done

driver click "${MAIN[@]}" --id 2
expect_app_exit 0

step "accepted on the command line: /ip:127.000.000.010 goes to 127.0.0.10, not 127.0.0.8"
start_sim target --bind 127.0.0.10 --kind ap
start_sim elsewhere --bind 127.0.0.8 --kind ap
start_app /fm1:fw.bin /type_ap /ip:127.000.000.010 /quiet
driver watch --title "$TITLE" --with-id 1051 --cancel-at "status=$S2" --timeout 30000 >"$WORK/ip.watch" ||
    fail "the watch of the update failed"
expect_app_exit 7
expect_eq "$(received target | requests_first | head -n 3)" \
    "$(expected_wire 45668 yes | head -n 3 | requests_first)" "the probe and the write request at 127.0.0.10"
expect_eq "$(received elsewhere)" "" "datagrams at 127.0.0.8"
echo "PASS"
