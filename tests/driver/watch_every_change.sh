#!/usr/bin/env bash
# The driver's watch sees every change, however briefly it lasts: in each tick
# watch-flicker's progress window changes its status text and its bar ten
# times in a row, greys out Cancel and enables it again, and hides and shows
# itself, each state lasting microseconds. Every run of the watch must print
# every one of those changes, in order, while a busy loop keeps a core busy.
# ETHBOX_WATCH_RUNS runs (5), each a click on Start in the same program, as
# the update tests press 開始 again and again.
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

RUNS=${ETHBOX_WATCH_RUNS:-5}
FLICKER=(--title watch-flicker --with-id 1)

# The changes watch-flicker makes, as the watch prints them (flicker.cpp).
expected_changes() {
    local tick step
    printf '%s\n' visible=1 status=start position=0 cancel=enabled
    for ((tick = 1; tick <= 5; tick++)); do
        for ((step = 1; step <= 10; step++)); do
            printf '%s\n' "status=$tick.$step" "position=$((step * 10))"
        done
        printf '%s\n' cancel=disabled cancel=enabled visible=0 visible=1
    done
    printf '%s\n' 'message icon=exclamation text=done' visible=0
}
EXPECTED=$(expected_changes)

sh -c 'while :; do :; done' &
HELPER_PIDS+=("$!")
start_app
for ((run = 1; run <= RUNS; run++)); do
    driver watch "${FLICKER[@]}" --click-start --dismiss --timeout 20000 >"$WORK/flicker.watch" ||
        { sed 's/^/    /' "$WORK/flicker.watch"; fail "run $run: the watch failed"; }
    seen=$(sed -nE 's/^-?[0-9]+ ((status|position|cancel|visible)=.*|message .*)$/\1/p' "$WORK/flicker.watch")
    if [[ $seen != "$EXPECTED" ]]; then
        sed 's/^/    /' "$WORK/flicker.watch"
        diff <(echo "$EXPECTED") <(echo "$seen") | head -n 20
        fail "run $run: the watch did not print every change, in order (diff: expected, seen)"
    fi
done
driver click "${FLICKER[@]}" --id 2
expect_app_exit 0
echo "$RUNS runs beside a busy loop, each seeing all $(wc -l <<<"$EXPECTED") changes in order;" \
    "watch-flicker's states of the text, the bar and Cancel: $(grep '^states=' "$APP_LOG")"
echo "PASS"
