#!/usr/bin/env bash
# Builds what the Windows benchmarks run: EthBoxVup.exe, the test driver, the
# polling build and the timer probe (windows preset), and an ethbox-sim
# without sanitizers (build/bench, Release), so that the device answers as
# fast as it can. Quiet when all is up to date.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

cmake --preset windows -S "$root" >/dev/null
cmake --build "$root/build/windows" -j2 \
    --target EthBoxVup ethbox-driver EthBoxVup-polling timer-probe >/dev/null
# Warnings are the native preset's business; a benchmark should not fail on one.
cmake -S "$root" -B "$root/build/bench" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DETHBOX_SANITIZE=OFF -DETHBOX_TESTS=OFF -DETHBOX_WERROR=OFF \
    >/dev/null
cmake --build "$root/build/bench" -j2 --target ethbox-sim >/dev/null
