#!/usr/bin/env bash
# Builds the benchmark programs without sanitizers (build/bench, Release) and
# times the upload of the largest firmware image to the device simulator on
# loopback. Not part of the test suite: it prints figures, it asserts nothing
# about speed.
#
# Usage: bench/upload-bench.sh [repetitions]   (default 20)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/report-failures.sh"
repetitions=${1:-20}
build="$root/build/bench"

# Warnings are the native preset's business; a benchmark should not fail on one.
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DETHBOX_SANITIZE=OFF -DETHBOX_TESTS=OFF -DETHBOX_WERROR=OFF \
    >/dev/null
cmake --build "$build" --target upload_bench ethbox-sim -j2 >/dev/null

echo "== upload benchmark ($(uname -m), $(nproc) cores, Release, no sanitizers) =="
"$build/bench/upload_bench" --reps "$repetitions" --sim "$build/tools/ethbox-sim/ethbox-sim"
