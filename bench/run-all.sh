#!/usr/bin/env bash
# Runs every benchmark once and writes their figures, each with the command
# that produced it, to bench/results/latest.txt, led by what machine ran them
# and how busy it was. Installs what is missing and builds first. The Windows
# benchmarks run the real EthBoxVup.exe under Wine and Xvfb against ethbox-sim,
# all inside one network namespace of their own where only loopback exists,
# each for both builds, the 64-bit and the 32-bit one, side by side. Takes
# about twenty minutes.
#
# Usage: bash bench/run-all.sh
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
source "$root/scripts/report-failures.sh"

# busy_percent SECONDS: the share of all cores' time not idle over the next SECONDS.
busy_percent() {
    local before after
    before=$(awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 + $9, $5 + $6 }' /proc/stat)
    sleep "$1"
    after=$(awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 + $9, $5 + $6 }' /proc/stat)
    awk -v a="$before" -v b="$after" 'BEGIN {
        split(a, x, " "); split(b, y, " ")
        busy = y[1] - x[1]; idle = y[2] - x[2]
        printf("%.0f", 100 * busy / (busy + idle)) }'
}

if [[ "${ETHBOX_BENCH_SESSION:-}" != 1 ]]; then
    "$root/scripts/install-deps.sh"
    bash "$here/windows/build.sh"
    # What the machine does before we add to it: other people's work.
    export ETHBOX_BENCH_BUSY_BEFORE=$(busy_percent 10)
    export ETHBOX_BENCH_LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
    exec bash "$here/windows/session.sh" bash "${BASH_SOURCE[0]}" "$@"
fi

mkdir -p "$here/results"
results=$here/results/latest.txt
partial=$(mktemp)
started=$(date +%s)
stat_before=$(awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 + $9, $5 + $6 }' /proc/stat)
{
    echo "EthBoxVup benchmarks"
    echo "command: bash bench/run-all.sh"
    echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "commit: $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD -- src bench tests tools || echo ' (with changes)')"
    echo "machine: $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1), $(nproc) cores," \
        "$(awk '/MemTotal/ { printf("%.0f GiB", $2 / 1048576) }' /proc/meminfo)"
    echo "system: $(. /etc/os-release && echo "$PRETTY_NAME"), Linux $(uname -r), Wine $(dpkg-query -W -f '${Version}' wine 2>/dev/null || echo '?')"
    echo "load before: ${ETHBOX_BENCH_BUSY_BEFORE:-?}% of all cores busy over 10 s, load average ${ETHBOX_BENCH_LOAD_BEFORE:-?}"
    echo
} | tee "$partial"

for benchmark in "pacing.sh 3" "cpu.sh 5 5" "cancel.sh 20 3" "footprint.sh 10" "diagnosis.sh 5" \
    "side_by_side.sh 1"; do
    # shellcheck disable=SC2086 # the arguments are separate words
    bash "$here"/$benchmark 2>&1 | tee -a "$partial"
    echo | tee -a "$partial"
done
bash "$here/upload-bench.sh" 20 2>&1 | tee -a "$partial"

stat_after=$(awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 + $9, $5 + $6 }' /proc/stat)
{
    echo
    echo "load during the run: $(awk -v a="$stat_before" -v b="$stat_after" 'BEGIN {
        split(a, x, " "); split(b, y, " "); busy = y[1] - x[1]; idle = y[2] - x[2]
        printf("%.0f", 100 * busy / (busy + idle)) }')% of all cores busy (the benchmarks' own work included)," \
        "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
    echo "took $(($(date +%s) - started)) s"
} | tee -a "$partial"
mv "$partial" "$results"
chmod 644 "$results"
echo "written: bench/results/latest.txt"
