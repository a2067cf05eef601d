#!/usr/bin/env bash
# Pacing fidelity: how closely the real EthBoxVup.exe, under Wine, keeps to
# the pace its device relies on: one receive per timer tick, 30 ms between
# ticks, 50 ms after the write request is acknowledged, then eleven ticks of
# 1000 ms before the completion message. For images of 5120, 41472 and 188415
# bytes, with and without the probe, it times on the wire (the simulated
# device's timestamped log) the first request, the last acknowledgement and,
# through the driver, the moment the completion message (M6) shows, and sets
# them against the schedule. Prints figures; asserts nothing about speed.
#
# Usage: bench/pacing.sh [--exe x64|x86]... [REPETITIONS]
#        (default both builds, 3 runs per image and probe setting)
source "$(dirname "${BASH_SOURCE[0]}")/windows/lib.sh"

repetitions=${1:-3}
sizes=(5120 41472 188415)

# The schedule, in ms from the first request, for N DATA blocks. With the
# probe: the read request at 0, the tick at 30 acknowledges the kind and sends
# the write request, the tick at 60 sends block 1, the one at 110 block 2, and
# every 30 ms the next; the device acknowledges each block at once. Without
# it: the write request at 0, block 1 at 30, block 2 at 80. Then the tick 30
# ms after the last block reads its acknowledgement, and eleven ticks of
# 1000 ms later M6 shows.
specified_last_ack() { # BLOCKS PROBE
    if [[ $2 == yes ]]; then echo $((30 * $1 + 50)); else echo $((30 * $1 + 20)); fi
}
specified_m6() {
    echo $(($(specified_last_ack "$1" "$2") + 30 + 11000))
}
# When block K is to go out, for each K: "K MS".
specified_blocks() { # BLOCKS PROBE
    local k offset=20
    [[ $2 == yes ]] && offset=50
    echo "1 $((offset + 10))"
    for ((k = 2; k <= $1; k++)); do
        echo "$k $((30 * k + offset))"
    done
}

start_window_manager

echo "== Pacing fidelity: EthBoxVup.exe under Wine against ethbox-sim, $repetitions runs each"
echo "command: $BENCH_COMMAND"
describe_builds
echo "Times from the first request the device received; specified = the timer schedule alone."
printf '%-5s %-7s %-5s %-6s | %-37s | %-37s | %s\n' build image probe blocks \
    "to last ACK: measured ms, x specified" "to M6: measured ms, x specified" "last ACK to M6 (ms)"

# update_once BUILD SIZE PROBE: one whole update, its figures appended to the
# files of BUILD in $WORK.
update_once() {
    local build=$1 size=$2 probe=$3 blocks=$(($2 / 512 + 1)) options first last_ack m6
    options=(/fm1:fw.bin /type_ap)
    [[ $probe == yes ]] || options+=(/chkoff)
    make_firmware "$size"
    start_sim --kind ap
    start_app "${options[@]}"
    driver timeline "${MAIN[@]}" --click-start --dismiss-after-ms 50 --timeout 90000 \
        >"$LOGS/timeline" || fail "the update did not end: $(cat "$LOGS/timeline")"
    expect_app_exit 0
    stop_sim
    expect_image_kept
    grep -qF "message-text $M6" "$LOGS/timeline" || fail "no M6: $(cat "$LOGS/timeline")"

    first=$(sim_lines 'recv .* -> :69 ' | head -n 1 | cut -d' ' -f1)
    last_ack=$(sim_lines "send .* ACK block=$blocks\$" | tail -n 1 | cut -d' ' -f1)
    m6=$(event_time "$LOGS/timeline" message-visible)
    [[ -n "$first" && -n "$last_ack" && -n "$m6" ]] || fail "a moment is missing"
    expect_clocks_agree "$(event_time "$LOGS/timeline" click-start)" "$first"
    ms_between "$first" "$last_ack" >>"$WORK/to_ack"
    ms_between "$first" "$m6" >>"$WORK/to_m6"
    ms_between "$last_ack" "$m6" >>"$WORK/ack_to_m6"
    awk -v a="$first" -v b="$last_ack" -v s="$(specified_last_ack "$blocks" "$probe")" \
        'BEGIN { printf("%.4f\n", (b - a) / 1000 / s) }' | tee -a "$WORK/ratios-$build" >>"$WORK/ack_ratio"
    awk -v a="$first" -v b="$m6" -v s="$(specified_m6 "$blocks" "$probe")" \
        'BEGIN { printf("%.4f\n", (b - a) / 1000 / s) }' | tee -a "$WORK/ratios-$build" >>"$WORK/m6_ratio"
    # Gaps between the DATA blocks as they arrived: block 1 to 2 is the 50 ms
    # wait, every later one a 30 ms tick.
    sim_lines 'recv .* DATA block=' >"$WORK/data"
    awk 'NR == 2 { print ($1 - p) / 1000 } { p = $1 }' "$WORK/data" >>"$WORK/gaps50-$build"
    awk 'NR > 2 { print ($1 - p) / 1000 } { p = $1 }' "$WORK/data" >>"$WORK/gaps30-$build"
    # A gap may look short because the simulator logged the block before it
    # late; what the device relies on is that no block arrives before its
    # time on the schedule.
    specified_blocks "$blocks" "$probe" >"$WORK/schedule"
    awk -v first="$first" 'NR == FNR { due[$1] = $2; next }
        { late = ($1 - first) / 1000 - due[++k] }
        k == 1 || late < least { least = late }
        END { printf("%.1f\n", least) }' "$WORK/schedule" "$WORK/data" >>"$WORK/leads-$build"
}

for build in "${BENCH_BUILDS[@]}"; do
    use_program "${PRODUCT_EXE[$build]}"
    # every gap between two DATA blocks that a 30 ms tick paces; the gap after
    # the acknowledged write request; every ratio, to tell the slowest and the
    # fastest; per run, how far the earliest block was behind its time
    : >"$WORK/gaps30-$build" && : >"$WORK/gaps50-$build"
    : >"$WORK/ratios-$build" && : >"$WORK/leads-$build"
    for size in "${sizes[@]}"; do
        blocks=$((size / 512 + 1))
        for probe in yes no; do
            : >"$WORK/to_ack" && : >"$WORK/to_m6" && : >"$WORK/ack_to_m6"
            : >"$WORK/ack_ratio" && : >"$WORK/m6_ratio"
            for ((run = 1; run <= repetitions; run++)); do
                update_once "$build" "$size" "$probe"
            done
            printf '%-5s %-7s %-5s %-6s | %-37s | %-37s | %s\n' "$build" "$size" "$probe" "$blocks" \
                "$(median_range 1 <"$WORK/to_ack") / $(specified_last_ack "$blocks" "$probe")" \
                "$(median_range 1 <"$WORK/to_m6") / $(specified_m6 "$blocks" "$probe")" \
                "$(median_range 1 <"$WORK/ack_to_m6") / 11030"
            printf '%-26s | %-37s | %-37s |\n' "" "x $(median_range 4 <"$WORK/ack_ratio")" \
                "x $(median_range 4 <"$WORK/m6_ratio")"
        done
    done
done

fastest() { echo "x $(sort -g "$WORK/ratios-$1" | head -n 1)"; }
slowest() { echo "x $(sort -g "$WORK/ratios-$1" | tail -n 1)"; }
short_gaps() {
    echo "$(awk '$1 < 30' "$WORK/gaps30-$1" | wc -l) of 30 ms, $(awk '$1 < 50' "$WORK/gaps50-$1" | wc -l) of 50 ms"
}
gap_count() { wc -l <"$WORK/gaps30-$1"; }
short_after_long() {
    awk 'NR > 1 && $1 < 30 && p + $1 >= 60 { n++ } { p = $1 } END { print n + 0 }' "$WORK/gaps30-$1"
}
table_row "" "${COLUMNS[@]}"
figure_row "measured / specified, all runs, both end points: fastest" fastest
figure_row "  slowest" slowest
figure_row "30 ms tick, DATA to DATA on the wire (ms)" median_of gaps30 2
figure_row "  number of gaps" gap_count
figure_row "50 ms wait after the write request's ACK, DATA 1 to 2 (ms)" median_of gaps50 2
figure_row "gaps shorter than specified" short_gaps
figure_row "  of those, after a gap longer by at least as much" short_after_long
figure_row "least lateness of a block, per run (ms; never early if >= 0)" median_of leads 1
for build in "${BENCH_BUILDS[@]}"; do
    echo "$build: a bare 30 ms window timer, killed and armed again at each expiry (timer-probe.exe 100 30):"
    "$ROOT/scripts/wine-exec.sh" "${TIMER_PROBE_EXE[$build]}" 100 30 | sed 's/^/  /'
done
