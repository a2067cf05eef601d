# Sourced: starts a private Xvfb, exports DISPLAY, defines xvfb_stop; returns
# non-zero, with what Xvfb said, when it did not start.
#
# -noreset: by default the server starts itself over whenever its last client
# leaves (as Wine's desktop does a moment after wineboot), compiling its
# keymap again into /var/lib/xkb/server-N.xkm. Servers started side by side
# all take display 0 in their own network namespaces and so share that file:
# a compile that meets another's kills the server or refuses a client, and the
# next Windows program then finds no display and cannot make a window at all.
_xvfb_fifo=$(mktemp -u)
_xvfb_log=$(mktemp)
mkfifo "$_xvfb_fifo"
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$_xvfb_fifo" >"$_xvfb_log" 2>&1 &
_xvfb_pid=$!
xvfb_stop() { kill "$_xvfb_pid" 2>/dev/null || true; }
_xvfb_within=$((10 * ${ETHBOX_WAIT_SCALE:-3}))
if ! read -r -t "$_xvfb_within" _xvfb_display <"$_xvfb_fifo"; then
    echo "xvfb-start: Xvfb did not start within $_xvfb_within s; it said:" >&2
    sed 's/^/    /' "$_xvfb_log" >&2
    rm -f "$_xvfb_fifo" "$_xvfb_log"
    return 1
fi
rm -f "$_xvfb_fifo" "$_xvfb_log"
export DISPLAY=":$_xvfb_display"
