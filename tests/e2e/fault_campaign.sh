#!/usr/bin/env bash
# The random-fault campaign with the real program: updates against a device
# whose faulty answers, kind and empty answers, and the program's options and
# image size, are drawn from a seed by fault-plan (the plan the native
# campaign draws from too, with the outcome each run must end with). For
# every run: exactly one message, the one its faults call for; M6 only with
# the file's image on the device; on the wire no DATA block twice, every
# answer sent to the port the device answered from, no read request after
# /chkoff; one more line in the record, with the code of that message; and
# nothing at all for the sentinel at the same port of another address.
#
#   ETHBOX_CAMPAIGN_SEED=N       another seed (the fixed one below otherwise)
#   ETHBOX_WINE_CAMPAIGN_RUNS=N  another number of runs
#
# Small images and a share of failures keep it to a few minutes: every
# completed update costs eleven seconds of flash writing, every message box
# about two more under Xvfb.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$ROOT/tests/e2e/update-lib.sh"

PLAN=${ETHBOX_FAULT_PLAN:-}
[[ -f "$PLAN" ]] || fail "no fault-plan.exe at [$PLAN]: ETHBOX_FAULT_PLAN names it"
SEED=${ETHBOX_CAMPAIGN_SEED:-7001}
RUNS=${ETHBOX_WINE_CAMPAIGN_RUNS:-12}
DEVICE=127.0.0.1
SENTINEL=127.0.0.2

declare -A ICON=([M3]=exclamation [M4]=exclamation [M5]=stop [M6]=none)
declare -A TEXT=([M3]=$M3 [M4]=$M4 [M5]=$M5 [M6]=$M6)
declare -A OUTCOMES=()
declare -A CODE=([M3]=3 [M4]=4 [M5]=5 [M6]=0)
declare -A DETAIL=([M3]=. [M4]=. [M5]=. [M6]=)

# The problems on the wire in the simulator's log NAME, one a line: a DATA
# block received twice, or a datagram at a transfer port other than the one
# the answer it answers came from (DATA n: ACK n - 1's; ACK n: DATA n's;
# ERROR: the latest DATA's). The log lines read
#   send :PORT -> ADDR:PORT len=N ACK block=K
#   recv ADDR:PORT -> :PORT len=N DATA block=K bytes=M
wire_problems() {
    awk '
        $1 == "send" {
            port = substr($2, 2); split($7, field, "=")
            if ($6 == "ACK") ack[field[2]] = port
            if ($6 == "DATA") { data[field[2]] = port; lastData = port }
        }
        $1 == "recv" {
            port = substr($4, 2); split($7, field, "="); n = field[2]
            if ($6 == "DATA" && ++seen[n] == 2) print "DATA block " n " sent twice"
            if (port == 69) next
            if (!(($6 == "DATA" && ack[n - 1] == port) || ($6 == "ACK" && data[n] == port) ||
                  ($6 == "ERROR" && lastData == port)))
                print "sent elsewhere than the answer it answers came from: " $0
        }' "$WORK/$1.log"
}

mapfile -t runs < <(wine_run "$PLAN" --seed "$SEED" --runs "$RUNS" --largest 8191 --clean 35)
((${#runs[@]} == RUNS)) || fail "fault-plan gave ${#runs[@]} runs, not $RUNS"
echo "fault campaign under Wine: seed $SEED, $RUNS runs"

start_sim sentinel --bind "$SENTINEL" --silent
rm -f "$(record_beside)"
attempts=0
began=$SECONDS
for run in "${runs[@]}"; do
    read -r index size launch probe expected kept switches <<<"$run"
    options="/type_$launch"
    [[ $probe == chkoff ]] && options+=" /chkoff"
    step "run $index: $size bytes, $options, device: $switches; expect $expected"
    run_began=$SECONDS
    make_firmware "$size"
    # shellcheck disable=SC2086 # separate switches
    start_sim device $switches
    # shellcheck disable=SC2086 # separate options
    start_app /fm1:fw.bin $options
    type_address "$DEVICE"
    run_update device

    expect_message device "${ICON[$expected]}" "${TEXT[$expected]}" "${DETAIL[$expected]}"
    if [[ $expected == M6 ]]; then
        expect_app_exit 0
        expect_image_kept device
    else
        expect_dialog_back "$DEVICE"
        driver click "${MAIN[@]}" --id 2
        expect_app_exit 0
    fi
    # One more line in the record, with the code of the one message seen.
    attempts=$((attempts + 1))
    expect_record "$(record_beside)" "$attempts" "${CODE[$expected]}" .
    stop_sim device
    if ((kept)); then
        grep -q '^image ' "$WORK/device.log" || fail "run $index: the device did not get every block"
    else
        ! grep -q '^image ' "$WORK/device.log" || fail "run $index: the device got every block"
    fi
    problems=$(wire_problems device)
    [[ -z $problems ]] || fail "run $index: $problems"
    if [[ $probe == chkoff ]] && received device | grep -q RRQ; then
        fail "run $index: a read request despite /chkoff"
    fi
    if grep -q '^recv ' "$WORK/sentinel.log"; then
        fail "run $index: sent to $SENTINEL instead of $DEVICE: $(grep '^recv ' "$WORK/sentinel.log")"
    fi
    OUTCOMES[$expected]=$((${OUTCOMES[$expected]:-0} + 1))
    echo "run $index: $expected as expected ($((SECONDS - run_began)) s)"
done

summary=""
for outcome in M3 M4 M5 M6; do
    summary+=" $outcome ${OUTCOMES[$outcome]:-0}"
done
echo "fault campaign under Wine: seed $SEED, $RUNS runs in $((SECONDS - began)) s; outcomes:$summary"
echo "replay: ETHBOX_CAMPAIGN_SEED=$SEED scripts/in-netns.sh scripts/windows-test-session.sh -R e2e_fault_campaign"
echo "PASS"
