#!/usr/bin/env bash
# Builds what the Windows benchmarks run: EthBoxVup.exe, the test driver, the
# polling build, the timer probe, the schedule floor and the network look
# (windows preset), the 32-bit EthBoxVup.exe with its timer probe, schedule
# floor and network look (windows-x86 preset), and an ethbox-sim without sanitizers (build/bench, Release), so
# that the device answers as fast as it can. Quiet when all is up to date.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/report-failures.sh"

cmake --preset windows -S "$root" >/dev/null
cmake --build "$root/build/windows" -j2 \
    --target EthBoxVup ethbox-driver EthBoxVup-polling timer-probe schedule-floor network-look \
    >/dev/null
cmake --preset windows-x86 -S "$root" >/dev/null
cmake --build "$root/build/windows-x86" -j2 --target EthBoxVup timer-probe schedule-floor \
    network-look >/dev/null
# Warnings are the native preset's business; a benchmark should not fail on one.
cmake -S "$root" -B "$root/build/bench" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DETHBOX_SANITIZE=OFF -DETHBOX_TESTS=OFF -DETHBOX_WERROR=OFF \
    >/dev/null
cmake --build "$root/build/bench" -j2 --target ethbox-sim >/dev/null
