#!/usr/bin/env bash
# Builds the targets of another preset that the end-to-end tests use (a CTest
# fixture of the Windows preset): the native ethbox-sim, the device of the
# updates, and the 32-bit EthBoxVup.exe with the 32-bit watch hook and the
# driver's own test program. Up to date, this takes a moment; it configures
# the preset first when its build tree does not exist yet.
# Usage: build-other-preset.sh PRESET BUILD_DIR TARGET...
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
preset=$1 build_dir=$2
shift 2

if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    if [[ "$build_dir" != "$root/build/$preset" ]]; then
        echo "build-other-preset: no $preset build in $build_dir" >&2
        exit 1
    fi
    (cd "$root" && cmake --preset "$preset" >/dev/null)
fi
cmake --build "$build_dir" --target "$@"
