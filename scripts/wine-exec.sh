#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's environment. Refuses to
# run outside an isolated network namespace: the program may send datagrams.
# Wine creates a program's sockets in the wineserver's network namespace, not
# the program's, so it also refuses while the prefix's wineserver runs in
# another namespace than this one. When none runs, Wine starts one here.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if ! "$here/netns-is-isolated.sh"; then
    echo "wine-exec: refusing to run outside an isolated network namespace (use scripts/in-netns.sh)" >&2
    exit 125
fi
source "$here/wine-env.sh"
if server=$("$here/wineserver-elsewhere.sh" "$WINEPREFIX"); then
    echo "wine-exec: refusing to run: the wineserver of $WINEPREFIX (pid $server) lives in another" \
        "network namespace, where the program's sockets would be made; stop it (wineserver -k)" \
        "and start one inside this namespace" >&2
    exit 125
fi
exec wine "$@"
