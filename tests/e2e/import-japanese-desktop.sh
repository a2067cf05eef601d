#!/usr/bin/env bash
# Imports japanese-desktop.reg into the Wine prefix of the environment
# (WINEPREFIX, a running wineserver), and gives it the font of the window
# frames' buttons. Used by the e2e fixture and the demo.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_exec=$here/../../scripts/wine-exec.sh

# Wine draws the caption's buttons with glyphs of its Marlett font, which it
# does not find in its own data folder here: without it they show as letters.
fonts=$("$wine_exec" winepath -u 'C:\windows\Fonts' 2>/dev/null)
mkdir -p "$fonts"
cp /usr/share/wine/fonts/marlett.ttf "$fonts/"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
iconv -f UTF-8 -t UTF-16 "$here/japanese-desktop.reg" >"$scratch/japanese-desktop.reg"
"$wine_exec" regedit /S "$("$wine_exec" winepath -w "$scratch/japanese-desktop.reg" 2>/dev/null)"
"$wine_exec" reg query 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' 2>/dev/null |
    grep -q IPAPGothic || {
    echo "import-japanese-desktop: the settings did not reach the prefix" >&2
    exit 1
}
