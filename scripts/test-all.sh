#!/usr/bin/env bash
# The README's test command: installs what is missing, builds the native,
# fuzz and Windows presets and runs every test. Windows programs run under
# Wine inside a network namespace of their own where only loopback exists.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/report-failures.sh"
cd "$root"

# Each stage's time, printed as it ends and once more together at the end,
# so that a slow run says where its minutes went.
stage_times=()
stage_name=""
stage_start=$SECONDS
end_stage() {
    [[ -n $stage_name ]] && stage_times+=("$(printf '%4d s  %s' $((SECONDS - stage_start)) "$stage_name")")
    stage_start=$SECONDS
}
step() {
    end_stage
    stage_name=$*
    printf '\n== %s ==\n' "$*"
}
report_stage_times() {
    end_stage
    stage_name=""
    printf '\n== Time of each stage ==\n'
    printf '%s\n' "${stage_times[@]}"
    printf '%4d s  in all\n' "$SECONDS"
}
trap report_stage_times EXIT

step "Installing what is missing"
scripts/install-deps.sh

step "Formatting"
scripts/check-format.sh

step "Native build and tests (ASan, UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

step "Static checks (clang-tidy, cppcheck)"
scripts/static-checks.sh

step "Fuzzing every parser for a bounded time"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

step "Windows build (64-bit and 32-bit, each with its tests)"
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86

step "Windows tests under Wine, in an isolated network namespace"
scripts/in-netns.sh scripts/windows-test-session.sh
