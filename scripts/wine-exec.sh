#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's environment. Refuses to
# run outside an isolated network namespace: the program may send datagrams.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if ! "$here/netns-is-isolated.sh"; then
    echo "wine-exec: refusing to run outside an isolated network namespace (use scripts/in-netns.sh)" >&2
    exit 125
fi
source "$here/wine-env.sh"
exec wine "$@"
