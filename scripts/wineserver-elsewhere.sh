#!/usr/bin/env bash
# Usage: wineserver-elsewhere.sh PREFIX
# Succeeds, printing its pid, when a wineserver of the Wine prefix PREFIX runs
# in another network namespace than this script's; fails when none does.
#
# Wine's server for a prefix works in a directory named after the prefix
# directory's device and inode, in hex: server-DEV-INODE (upstream under
# /tmp/.wine-UID, Debian's under a private /tmp/wine-XXXXXX), and stays there
# for its whole life. So a process whose working directory has that name is
# the prefix's wineserver, wherever it was started from.
set -euo pipefail
prefix=${1:?usage: wineserver-elsewhere.sh PREFIX}

# No prefix yet, no server for it.
[[ -d "$prefix" ]] || exit 1
server_dir=server-$(stat -L -c %D "$prefix")-$(printf %x "$(stat -L -c %i "$prefix")")
own_namespace=$(readlink /proc/$$/ns/net)

# One find over /proc rather than a readlink per process: this runs before
# every Windows program of a test run.
while IFS= read -r cwd_link; do
    pid=${cwd_link#/proc/}
    pid=${pid%%/*}
    namespace=$(readlink "/proc/$pid/ns/net" 2>/dev/null) || continue # gone meanwhile
    if [[ "$namespace" != "$own_namespace" ]]; then
        echo "$pid"
        exit 0
    fi
done < <(find /proc -mindepth 2 -maxdepth 2 -name cwd -lname "*/$server_dir" 2>/dev/null)
exit 1
