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

# With the 32-bit loader present, `wine` starts a 64-bit program through
# start.exe, in a process of its own: the process started is then not the
# program (its pid, its CPU time), start.exe cannot find a program whose
# Windows path is longer than MAX_PATH, and it has been seen to fail now and
# then with an internal error of ShellExecuteEx while the program came up
# late, unwatched. The 64-bit loader starts a 64-bit program itself, always.
# (A 32-bit one runs in the process `wine` starts either way.)
is_64_bit_program() { # FILE
    local pe magic
    [[ -f $1 ]] || return 1
    pe=$(od -An -tu4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ') || return 1
    magic=$(od -An -tx2 -j $((pe + 24)) -N 2 "$1" 2>/dev/null | tr -d ' ') || return 1
    [[ $magic == 020b ]]
}
if (($# > 0)) && [[ -x /usr/lib/wine/wine64 ]] && is_64_bit_program "$1"; then
    exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
