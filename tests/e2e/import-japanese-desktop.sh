#!/usr/bin/env bash
# Imports japanese-desktop.reg into the Wine prefix of the environment
# (WINEPREFIX, a running wineserver). Used by the e2e fixture and the demo.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_exec=$here/../../scripts/wine-exec.sh

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
iconv -f UTF-8 -t UTF-16 "$here/japanese-desktop.reg" >"$scratch/japanese-desktop.reg"
"$wine_exec" regedit /S "$("$wine_exec" winepath -w "$scratch/japanese-desktop.reg" 2>/dev/null)"
"$wine_exec" reg query 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' 2>/dev/null |
    grep -q IPAPGothic || {
    echo "import-japanese-desktop: the settings did not reach the prefix" >&2
    exit 1
}
