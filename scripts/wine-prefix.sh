# Sourced after scripts/wine-env.sh, inside the network namespace of a run:
# start_wine_prefix SECONDS makes the prefix WINEPREFIX ready and starts its
# wineserver here, kept for SECONDS after the last program ends.

# The architectures this machine's Wine runs programs of, decided as Debian's
# wine command decides which loader to use: when the 32-bit loader is there,
# every program starts through it and needs the prefix's 32-bit system, which
# a prefix made without it lacks (each program then fails at once, "could not
# load kernel32.dll").
wine_architectures() {
    local architectures=()
    if [[ -x /usr/lib/wine/wine ]]; then
        architectures+=(i386)
    fi
    if [[ -x /usr/lib/wine/wine64 ]]; then
        architectures+=(x86_64)
    fi
    echo "${architectures[*]}"
}

start_wine_prefix() {
    local keep_seconds=$1 stamp=$WINEPREFIX/.ethbox-architectures wanted made
    wanted=$(wine_architectures)
    # A wineserver of this prefix left from another namespace would make the
    # program's sockets there; and one must not outlive its prefix.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    if [[ -f "$WINEPREFIX/system.reg" ]]; then
        made=$(cat "$stamp" 2>/dev/null) || made="not recorded"
        if [[ "$made" != "$wanted" ]]; then
            echo "The Wine prefix $WINEPREFIX was made for the architectures [$made]," \
                "this Wine runs [$wanted]: making it anew." >&2
            rm -rf -- "$WINEPREFIX"
        fi
    fi
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        echo "Making the Wine prefix $WINEPREFIX (once)." >&2
    fi
    # The persistent server first: "wineserver -p" fails while another one
    # runs, and wineboot leaves one running for a few seconds.
    mkdir -p "$WINEPREFIX"
    wineserver -p "$keep_seconds"
    # Makes the prefix if need be, and starts Wine's background processes
    # with their output in a file: started by a later program, they would
    # hold its output open (CTest would wait for them until its time-out).
    if ! wineboot --init >"$WINEPREFIX/.ethbox-wineboot.log" 2>&1; then
        echo "wineboot --init failed in $WINEPREFIX; its last words:" >&2
        tail -n 20 "$WINEPREFIX/.ethbox-wineboot.log" >&2
        return 1
    fi
    echo "$wanted" >"$stamp"
}
