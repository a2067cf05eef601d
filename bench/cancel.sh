#!/usr/bin/env bash
# Cancel latency: how fast the real EthBoxVup.exe under Wine honours a click
# on 中止 while a receive waits on a silent device (the probe's receive, which
# waits up to a second): from the click to the M7 box existing (and being
# visible), and from the dismissal of M7 to the progress window being gone.
# With a window manager on the display (evilwm), as every Windows desktop has
# one; then, for comparison, a few times without one, where Wine waits 2 s
# each time a window is hidden for a window manager's answer that never comes.
#
# Usage: bench/cancel.sh [--exe x64|x86]... [CANCELS [CANCELS_WITHOUT_WM]]
#        (default both builds, 20 and 3 cancels each)
source "$(dirname "${BASH_SOURCE[0]}")/windows/lib.sh"

cancels=${1:-20}
cancels_without_wm=${2:-3}
# Well inside the probe's one-second receive, which starts 30 ms after the
# read request (sent before the progress window shows).
cancel_at_ms=300
dismiss_after_ms=100

# cancel_runs COUNT NAME: COUNT cancels in one program, the intervals of each
# appended to $WORK/NAME-*.
cancel_runs() {
    local count=$1 name=$2 what run click created visible dismiss hidden gone
    for what in created visible hidden gone; do
        : >"$WORK/$name-$what"
    done
    ((count > 0)) || return 0
    start_app /fm1:fw.bin /type_ap
    for ((run = 1; run <= count; run++)); do
        driver timeline "${MAIN[@]}" --click-start --cancel-at-ms "$cancel_at_ms" \
            --dismiss-after-ms "$dismiss_after_ms" --timeout 30000 >"$LOGS/timeline" ||
            fail "the cancel was not followed to its end: $(cat "$LOGS/timeline")"
        grep -qF "message-text $M7" "$LOGS/timeline" || fail "no M7: $(cat "$LOGS/timeline")"
        [[ $(grep -c ' message-visible' "$LOGS/timeline") == 1 ]] ||
            fail "more than one message: $(cat "$LOGS/timeline")"
        click=$(event_time "$LOGS/timeline" cancel)
        created=$(event_time "$LOGS/timeline" message-created)
        visible=$(event_time "$LOGS/timeline" message-visible)
        dismiss=$(event_time "$LOGS/timeline" dismiss)
        hidden=$(event_time "$LOGS/timeline" progress-hidden)
        gone=$(event_time "$LOGS/timeline" progress-gone)
        ms_between "$click" "$created" >>"$WORK/$name-created"
        ms_between "$click" "$visible" >>"$WORK/$name-visible"
        ms_between "$dismiss" "$hidden" >>"$WORK/$name-hidden"
        ms_between "$dismiss" "$gone" >>"$WORK/$name-gone"
        wait_dialog_back
    done
    quit_app
}

start_sim --silent
for build in "${BENCH_BUILDS[@]}"; do
    use_program "${PRODUCT_EXE[$build]}"
    make_firmware 188415
    start_window_manager
    cancel_runs "$cancels" "wm-$build"
    stop_window_manager
    cancel_runs "$cancels_without_wm" "bare-$build"
done
stop_sim
# Nothing was ever acknowledged: the device received only read requests.
[[ -z $(sim_lines 'recv ' | grep -v ' RRQ file=/info.sys ') ]] || fail "the device received more than read requests"

# latency SETTING INTERVAL BUILD: its median and worst.
latency() { median_worst 1 <"$WORK/$1-$3-$2"; }
echo "== Cancel latency: EthBoxVup.exe under Wine, 中止 clicked ${cancel_at_ms} ms into a receive from a silent device"
echo "command: $BENCH_COMMAND"
describe_builds
table_row "" "${COLUMNS[@]}"
echo "with a window manager (evilwm), $cancels cancels, ms:"
figure_row "  click on 中止 to the M7 box created" latency wm created
figure_row "  click on 中止 to the M7 box visible" latency wm visible
figure_row "  dismissal of M7 to the progress window hidden" latency wm hidden
figure_row "  dismissal of M7 to the progress window destroyed" latency wm gone
echo "without a window manager, $cancels_without_wm cancels, ms:"
figure_row "  click on 中止 to the M7 box created" latency bare created
figure_row "  dismissal of M7 to the progress window destroyed" latency bare gone
