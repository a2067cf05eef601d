#!/usr/bin/env bash
# Builds the native ethbox-sim that the update tests use as the device (a CTest
# fixture of the Windows preset). Up to date, this takes a moment; it
# configures the native preset first when its build tree does not exist yet.
# Usage: build-native-simulator.sh NATIVE_BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=$1

if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    if [[ "$build_dir" != "$root/build/native" ]]; then
        echo "build-native-simulator: no native build in $build_dir" >&2
        exit 1
    fi
    (cd "$root" && cmake --preset native >/dev/null)
fi
cmake --build "$build_dir" --target ethbox-sim
