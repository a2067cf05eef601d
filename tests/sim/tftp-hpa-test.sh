#!/usr/bin/env bash
# Interoperability of ethbox-sim with a real TFTP client (tftp-hpa): what the
# client gets is the configured /info.sys, and what it puts is what the
# simulator reports and keeps. Loopback only.
#
# Usage: tftp-hpa-test.sh PATH/TO/ethbox-sim
set -euo pipefail

simulator=${1:?usage: tftp-hpa-test.sh PATH/TO/ethbox-sim}
if ! command -v tftp >/dev/null; then
    echo "tftp-hpa-test: the tftp client (Debian package tftp-hpa) is missing" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ethbox-sim-tftp.XXXXXX")
# Each wait below is its time on a quiet machine times this, as every wait of
# the tests is.
scale=${ETHBOX_WAIT_SCALE:-3}
sim_pid=
cleanup() {
    if [[ -n "$sim_pid" ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() { # description, then a command that must succeed
    local description=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok: $description"
    else
        failed=$((failed + 1))
        echo "FAILED: $description"
    fi
}

# Starts the simulator on a port the system chooses, with the given switches,
# and waits for its "ready" line. Sets sim_pid, port and log.
start_simulator() {
    stop_simulator
    log="$work/sim-$((++runs)).log"
    : >"$log" # before the simulator opens it, so that the wait below can read it
    "$simulator" --bind 127.0.0.1 --port 0 --time-limit 60 "$@" >"$log" 2>&1 &
    sim_pid=$!
    for _ in $(seq $((100 * scale))); do
        port=$(sed -n 's/^ready 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$log")
        [[ -n "$port" ]] && return 0
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "tftp-hpa-test: the simulator ended, or was not ready within $((5 * scale)) s:" >&2
    cat "$log" >&2
    exit 1
}
stop_simulator() {
    if [[ -n "$sim_pid" ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
        sim_pid=
    fi
}
runs=0

# tftp-hpa exits 0 even when the transfer failed; its messages tell.
tftp_client() { # mode, command...
    local mode=$1
    shift
    timeout 30 tftp -m "$mode" 127.0.0.1 "$port" -c "$@" 2>&1 || true
}

# The last "image" line the simulator printed, waited for briefly.
image_line() {
    local line=
    for _ in $(seq $((40 * scale))); do
        line=$(grep '^image ' "$log" | tail -n 1 || true)
        [[ "$line" == "image length=$1 "* ]] && break
        sleep 0.05
    done
    echo "$line"
}

same_file() { cmp -s "$1" "$2"; }
equal() { [[ "$1" == "$2" ]]; }
contains() { [[ "$1" == *"$2"* ]]; }

# --- reads --------------------------------------------------------------------

start_simulator --kind ap
tftp_client binary get /info.sys "$work/ap.txt" >/dev/null
printf '1\r\n' >"$work/expected-ap.txt"
check "get /info.sys from an ap device" same_file "$work/ap.txt" "$work/expected-ap.txt"
tftp_client binary get info.sys "$work/ap-noslash.txt" >/dev/null
check "get info.sys without the slash" same_file "$work/ap-noslash.txt" "$work/expected-ap.txt"
# netascii: the client turns the transfer's CR NUL and CR LF back into the file's bytes.
tftp_client ascii get /info.sys "$work/ap-ascii.txt" >/dev/null
check "get /info.sys in netascii mode" same_file "$work/ap-ascii.txt" "$work/expected-ap.txt"
output=$(tftp_client binary get /other.sys "$work/other.txt")
check "get of another file is refused with error 1" contains "$output" "Error code 1: File not found"
check "the log shows the request" grep -q "RRQ file=/info.sys mode=octet" "$log"
check "the log shows the refusal" grep -q 'ERROR code=1 text="File not found"' "$log"

start_simulator --kind e2
tftp_client binary get /info.sys "$work/e2.txt" >/dev/null
printf '0\r\n' >"$work/expected-e2.txt"
check "get /info.sys from an e2 device" same_file "$work/e2.txt" "$work/expected-e2.txt"

start_simulator --kind none
output=$(tftp_client binary get /info.sys "$work/none.txt")
check "get /info.sys from a device without it: error 1" contains "$output" "Error code 1"

# Longer than one block, and exactly two blocks (ends with an empty DATA block).
head -c 1500 /dev/urandom | base64 -w 0 | head -c 1300 >"$work/long-info.txt"
start_simulator --info-file "$work/long-info.txt"
tftp_client binary get /info.sys "$work/long.txt" >/dev/null
check "get a 1300-byte /info.sys" same_file "$work/long.txt" "$work/long-info.txt"
head -c 1024 "$work/long-info.txt" >"$work/info-1024.txt"
start_simulator --info-content "$(cat "$work/info-1024.txt")"
tftp_client binary get /info.sys "$work/long1024.txt" >/dev/null
check "get a 1024-byte /info.sys" same_file "$work/long1024.txt" "$work/info-1024.txt"

# --- writes -------------------------------------------------------------------

start_simulator --image-out "$work/received.bin"
for length in 5120 5121 100000 0; do
    head -c "$length" /dev/urandom >"$work/image-$length.bin"
    rm -f "$work/received.bin"
    tftp_client binary put "$work/image-$length.bin" / >/dev/null
    digest=$(sha256sum "$work/image-$length.bin" | cut -d' ' -f1)
    check "put of $length bytes: length and SHA-256 reported" \
        equal "$(image_line "$length")" "image length=$length sha256=$digest"
    check "put of $length bytes: kept in the --image-out file" \
        same_file "$work/received.bin" "$work/image-$length.bin"
done
check "tftp-hpa writes the name \"/\"" grep -q "WRQ file=/ mode=octet" "$log"
output=$(tftp_client binary put "$work/image-5120.bin" /firmware.bin)
check "put of another name is refused with error 2" contains "$output" "Error code 2"
output=$(tftp_client ascii put "$work/image-5120.bin" /)
check "put in netascii mode is refused" contains "$output" "Error code 0"

# A lost acknowledgement is recovered by the client's retransmission (after
# tftp-hpa's 5 s time-out).
start_simulator --image-out "$work/received.bin" --drop-ack 3
rm -f "$work/received.bin"
tftp_client binary put "$work/image-5121.bin" / >/dev/null
check "put survives a lost ACK" same_file "$work/received.bin" "$work/image-5121.bin"

stop_simulator
echo "$passed passed, $failed failed"
((failed == 0))
