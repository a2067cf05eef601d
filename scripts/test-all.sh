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
    printf '%s\n' "${stage_times[@]}" "${background_times[@]}"
    printf '%4d s  in all\n' "$SECONDS"
}
trap report_stage_times EXIT

# The Windows tests mostly wait on the device's pace: they run in the
# background while the native tests, the static checks and the fuzzers use
# the CPU in front (the last two at the lowest priority, so that they never
# hold up a tick of an update). The static checks run beside the native
# tests too, whose longest one mostly waits. Each job in the background runs
# in a process group of its own, its output shown when it ends. Whatever ends
# this script ends them too.
declare -A job_pid job_log job_began
background_times=()
start_job() { # NAME COMMAND...
    local name=$1 file=${1,,}
    shift
    mkdir -p artifacts
    job_log[$name]=$root/artifacts/${file// /-}.log
    setsid "$@" >"${job_log[$name]}" 2>&1 &
    job_pid[$name]=$!
    job_began[$name]=$SECONDS
}
finish_job() { # NAME: waits for it, shows its output, fails as it failed
    local name=$1 status=0
    wait "${job_pid[$name]}" || status=$?
    unset "job_pid[$name]"
    background_times+=("$(printf '%4d s  of which the %s, in the background' $((SECONDS - job_began[$name])) "$name")")
    cat "${job_log[$name]}"
    if ((status != 0)); then
        echo "test-all: the $name failed (status $status)" >&2
        exit "$status"
    fi
}
stop_jobs() {
    local name
    for name in "${!job_pid[@]}"; do
        kill -TERM -- "-${job_pid[$name]}" 2>/dev/null || true
        wait "${job_pid[$name]}" 2>/dev/null || true
        echo "test-all: the $name were stopped; their output so far:" >&2
        cat "${job_log[$name]}" >&2 || true
    done
}
trap 'stop_jobs; report_stage_times' EXIT

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
start_job "Windows tests" scripts/in-netns.sh scripts/windows-test-session.sh

step "Native tests (ASan, UBSan), with the static checks beside them"
# The static checks' own test goes with them, at their priority and without
# CTest's time limit: beside a busy machine, a test at the lowest priority
# gets almost no CPU until the Windows tests end.
start_job "static checks" nice -n 19 bash -c 'scripts/static-checks.sh && tests/static_checks_test.sh'
ctest --preset native -E '^static_checks$'

step "Static checks (clang-tidy, cppcheck), at low priority"
finish_job "static checks"

step "Fuzzing every parser for a bounded time, at low priority"
nice -n 19 cmake --preset fuzz "${cached[@]}" >/dev/null
nice -n 19 cmake --build --preset fuzz
nice -n 19 ctest --preset fuzz

step "Windows tests under Wine (their output)"
finish_job "Windows tests"
