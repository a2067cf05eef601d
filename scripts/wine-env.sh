# Sourced: the environment every Wine run of the project uses.
# WINEPREFIX defaults to a prefix inside the Windows build tree.
_ethbox_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$_ethbox_root/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# ja_JP.UTF-8 makes Wine's ANSI code page 932, as on Japanese Windows; a run
# that sets ETHBOX_WINE_LOCALE=en_US.UTF-8 gets the Western 1252 instead.
export LANG=${ETHBOX_WINE_LOCALE:-ja_JP.UTF-8}
export LC_ALL=$LANG
# Every wait of the tests for a window, a text or a program's end is its
# time on a quiet machine times this (the driver's time-outs, the scripts'
# loops): 3 fits a 2-core machine running the whole test command with another
# busy process beside it. A wait only decides a row when it runs out, so a
# larger one costs time only when something is already wrong.
export ETHBOX_WAIT_SCALE=${ETHBOX_WAIT_SCALE:-3}
if [[ ! $ETHBOX_WAIT_SCALE =~ ^[1-9][0-9]*$ ]]; then
    echo "ETHBOX_WAIT_SCALE must be a whole number from 1, not [$ETHBOX_WAIT_SCALE]: using 3" >&2
    ETHBOX_WAIT_SCALE=3
fi
unset _ethbox_root
