# Sourced: starts a private Xvfb, exports DISPLAY, defines xvfb_stop.
_xvfb_fifo=$(mktemp -u)
mkfifo "$_xvfb_fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$_xvfb_fifo" >/dev/null 2>&1 &
_xvfb_pid=$!
read -r _xvfb_display <"$_xvfb_fifo"
rm -f "$_xvfb_fifo"
export DISPLAY=":$_xvfb_display"
xvfb_stop() { kill "$_xvfb_pid" 2>/dev/null || true; }
