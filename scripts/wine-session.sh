#!/usr/bin/env bash
# Usage: wine-session.sh COMMAND [ARG...]
#
# Runs COMMAND in a Windows session of its own, so that sessions can run side
# by side and none can meet another's programs:
#   - a network namespace where only loopback exists (its 127.0.0.1:69 and its
#     sockets are its own; nothing sent can leave the machine);
#   - a private, copy-on-write view of the prepared Wine prefix
#     (ETHBOX_PREFIX_TEMPLATE, by default build/windows/wineprefix, made ready
#     by windows-test-session.sh), so that the single-instance mutex, the
#     registry and drive C: are the session's own;
#   - its own wineserver, started inside that namespace (Wine makes a
#     program's sockets in the wineserver's namespace), and its own Xvfb and
#     desktop.
# When COMMAND ends or the session is told to stop (TERM, INT, HUP, or the
# death of whatever started it, even by SIGKILL), the wineserver is killed,
# and with it every Windows program of the session, so that no later test can
# meet one. The exit status is COMMAND's.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
set -euo pipefail

if (($# == 0)); then
    echo "usage: wine-session.sh COMMAND [ARG...]" >&2
    exit 2
fi

if [[ ${_ETHBOX_WINE_SESSION_STAGE:-} != inside ]]; then
    exec unshare --net --mount --fork --kill-child=TERM -- \
        env _ETHBOX_WINE_SESSION_STAGE=inside bash "${BASH_SOURCE[0]}" "$@"
fi
unset _ETHBOX_WINE_SESSION_STAGE

ip link set lo up
"$root/scripts/netns-is-isolated.sh" || {
    echo "wine-session: the new network namespace is not isolated" >&2
    exit 125
}

template=${ETHBOX_PREFIX_TEMPLATE:-$root/build/windows/wineprefix}
if [[ ! -f $template/system.reg ]]; then
    echo "wine-session: no prepared Wine prefix at $template" \
        "(scripts/windows-test-session.sh prepares it)" >&2
    exit 125
fi

session=$(mktemp -d "${TMPDIR:-/tmp}/ethbox-session.XXXXXX")
export WINEPREFIX=$session/prefix
mkdir -p "$session/upper" "$session/work" "$WINEPREFIX"
# The template stays as it was, whatever the session writes; where overlays
# cannot be mounted, a copy does the same, more slowly.
if ! mount -t overlay overlay \
    -o "lowerdir=$template,upperdir=$session/upper,workdir=$session/work" "$WINEPREFIX" 2>/dev/null; then
    cp -a "$template/." "$WINEPREFIX/"
fi
source "$root/scripts/wine-env.sh"

# Everything in the session's network namespace is the session's: whatever
# outlived the wineserver (a Wine process it had not yet reached) or its
# process group ends here, so that nothing of it can hold the prefix's view
# or meet a later session. The session's own shells are spared: this one, and
# unshare, which waits for it.
end_whatever_is_left() {
    local own pid
    own=$(readlink /proc/$$/ns/net)
    for pid in /proc/[0-9]*; do
        pid=${pid#/proc/}
        ((pid == $$ || pid == PPID || pid == BASHPID)) && continue
        [[ $(readlink "/proc/$pid/ns/net" 2>/dev/null) == "$own" ]] || continue
        kill -KILL "$pid" 2>/dev/null || true
    done
}

command_pid=
end_session() {
    local status=$?
    trap - EXIT TERM INT HUP
    if [[ -n $command_pid ]]; then
        kill -TERM -- "-$command_pid" 2>/dev/null || true
        wait "$command_pid" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    if declare -F xvfb_stop >/dev/null; then
        xvfb_stop
    fi
    end_whatever_is_left
    # A Wine process on its way out may still hold the view: detached at
    # once, it goes when the last one does (with the namespace, at the
    # latest). Nothing of the clean-up may change COMMAND's status.
    umount --lazy "$WINEPREFIX" 2>/dev/null || true
    rm -rf "$session" 2>/dev/null || true
    exit "$status"
}
trap end_session EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

# The compiled keymap's folder is the session's own, so that its X server
# never meets another session's server compiling into the same file (see
# xvfb-start.sh).
mkdir -p /var/lib/xkb
mount -t tmpfs -o size=16m tmpfs /var/lib/xkb ||
    echo "wine-session: no keymap folder of its own; sessions side by side may meet there" >&2
source "$root/scripts/xvfb-start.sh" || exit 125
# Persistent until the session kills it: a program's first window then never
# waits for a server to start, nor for one that is shutting down.
wineserver -p
# Wine's background processes (services, devices, the desktop) start with the
# first program and keep its output open: started by a test's program, they
# would keep CTest waiting for that output to end until its time-out. So they
# start here, with their output going nowhere.
wineboot >/dev/null 2>&1 || true
# Wine ends its desktop a few seconds after the last window is gone, and the
# next program then waits up to ten seconds for a new one: a hidden window of
# the driver's keeps it alive for the whole session. Nothing runs in the
# session before that window exists: a session whose desktop cannot show a
# window is no place to test a program. It prints its handle once it does.
driver=$root/build/windows/tests/driver/ethbox-driver.exe
if [[ -f $driver ]]; then
    "$root/scripts/wine-exec.sh" "$driver" keep-desktop >"$session/keep-desktop.out" 2>"$session/keep-desktop.err" &
    keeper=$!
    ready_within=$((10 * ETHBOX_WAIT_SCALE))
    for ((waited = 0; waited < ready_within * 20; waited++)); do
        [[ -s $session/keep-desktop.out ]] && break
        kill -0 "$keeper" 2>/dev/null || break
        sleep 0.05
    done
    if [[ ! -s $session/keep-desktop.out ]]; then
        echo "wine-session: the desktop's keeper (ethbox-driver keep-desktop) showed no window" \
            "within $ready_within s; it said:" >&2
        sed 's/^/    /' "$session/keep-desktop.err" >&2
        exit 125
    fi
fi

# In a process group of its own, so that stopping the session stops whatever
# COMMAND started on the Linux side too (a simulated device, a watch).
status=0
ETHBOX_WINE_SESSION=$session setsid "$@" &
command_pid=$!
wait "$command_pid" || status=$?
command_pid=
exit "$status"
