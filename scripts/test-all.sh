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
    if [[ -n $windows_tests_took ]]; then
        printf '%4d s  of which the Windows tests, in the background\n' "$windows_tests_took"
    fi
    printf '%4d s  in all\n' "$SECONDS"
}
trap report_stage_times EXIT

# The Windows tests mostly wait on the device's pace: they run in the
# background, in a process group of their own, while the native tests, the
# static checks and the fuzzers use the CPU in front (the last two at the
# lowest priority, so that they never hold up a tick of an update). Their
# output is shown when they end. Whatever ends this script ends them too.
windows_tests_pid=
windows_tests_took=
windows_tests_log=$root/artifacts/windows-tests.log
stop_windows_tests() {
    if [[ -n $windows_tests_pid ]]; then
        kill -TERM -- "-$windows_tests_pid" 2>/dev/null || true
        wait "$windows_tests_pid" 2>/dev/null || true
        echo "test-all: the Windows tests were stopped; their output so far:" >&2
        cat "$windows_tests_log" >&2 || true
    fi
}
trap 'stop_windows_tests; report_stage_times' EXIT

step "Installing what is missing"
scripts/install-deps.sh

step "Formatting"
scripts/check-format.sh

# The presets' four builds compile through a compiler cache, so that a run
# of this command compiles only what changed since the last one. Paths below
# the checkout are taken relative to it, so that a fresh clone meets the
# objects of an earlier one. The release tests build without it: what they
# compare must be compiled from scratch.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true
cached=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

step "Native build (ASan, UBSan)"
cmake --preset native "${cached[@]}" >/dev/null
cmake --build --preset native

step "Windows build (64-bit and 32-bit, each with its tests)"
cmake --preset windows "${cached[@]}" >/dev/null
cmake --build --preset windows
cmake --preset windows-x86 "${cached[@]}" >/dev/null
cmake --build --preset windows-x86

step "Windows tests under Wine started, in isolated network namespaces (output at the end)"
mkdir -p artifacts
setsid scripts/in-netns.sh scripts/windows-test-session.sh >"$windows_tests_log" 2>&1 &
windows_tests_pid=$!
windows_tests_began=$SECONDS

step "Native tests (ASan, UBSan)"
ctest --preset native

step "Static checks (clang-tidy, cppcheck), at low priority"
nice -n 19 scripts/static-checks.sh

step "Fuzzing every parser for a bounded time, at low priority"
nice -n 19 cmake --preset fuzz "${cached[@]}" >/dev/null
nice -n 19 cmake --build --preset fuzz
nice -n 19 ctest --preset fuzz

step "Windows tests under Wine (their output)"
status=0
wait "$windows_tests_pid" || status=$?
windows_tests_pid=
windows_tests_took=$((SECONDS - windows_tests_began))
cat "$windows_tests_log"
if ((status != 0)); then
    echo "test-all: the Windows tests failed (status $status)" >&2
    exit "$status"
fi
