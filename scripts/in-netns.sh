#!/usr/bin/env bash
# Runs a command in a new network namespace where only loopback exists, so
# nothing it sends can leave this machine. Already inside such a namespace, it
# just runs the command.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if "$here/netns-is-isolated.sh"; then
    exec "$@"
fi
exec unshare --net -- bash -c 'ip link set lo up && exec "$@"' in-netns "$@"
