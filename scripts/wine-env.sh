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
unset _ethbox_root
