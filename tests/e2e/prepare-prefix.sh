#!/usr/bin/env bash
# Runs once before the end-to-end tests (a CTest fixture): makes the Wine prefix
# show the program as Japanese Windows would. Wine has no "ＭＳ Ｐゴシック", so
# the dialogs' font is replaced by the proportional IPA P Gothic of similar
# metrics; and Wine draws the window frames itself, since Xvfb has no window
# manager to draw them, so that screenshots show the caption.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# regedit reads UTF-16 files; the font's name is not ASCII.
iconv -f UTF-8 -t UTF-16 >"$WORK/prefix.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
REG
wine_run regedit /S "$(wine_run winepath -w "$WORK/prefix.reg" 2>/dev/null)"
wine_run reg query 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' | grep -q IPAPGothic ||
    fail "the font replacement did not reach the prefix"
echo "prefix prepared"
