#!/usr/bin/env bash
# Prints the version resource of a Windows executable, 32-bit or 64-bit, read
# from the file itself (no Wine): the fixed file and product versions and the
# texts of the StringFileInfo values FileVersion and ProductVersion, one
# KEY=VALUE a line.
#   scripts/exe-version.sh PATH/TO/PROGRAM.exe
set -euo pipefail

if (($# != 1)); then
    echo "usage: $(basename "$0") PROGRAM.exe" >&2
    exit 2
fi

# windres writes the executable's resources back as a resource script; this
# one reads 32-bit (pei-i386) executables as well as 64-bit ones.
script=$(LC_ALL=C x86_64-w64-mingw32-windres --input-format=coff -i "$1" -O rc) || {
    echo "exe-version: cannot read the resources of $1" >&2
    exit 1
}
versioninfo=$(sed -n '/^[0-9]* VERSIONINFO/,/^END/p' <<<"$script")
if [[ -z "$versioninfo" ]]; then
    echo "exe-version: $1 has no version resource" >&2
    exit 1
fi

# " FILEVERSION 1, 0, 0, 0" -> 1.0.0.0
fixed() {
    sed -n "s/^ *$1 \([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\) *$/\1.\2.\3.\4/p" <<<"$versioninfo"
}
# VALUE "FileVersion", "1.0.0.0"
text() {
    sed -n "s/^ *VALUE \"$1\", L\{0,1\}\"\([^\"]*\)\".*/\1/p" <<<"$versioninfo"
}

echo "file-version=$(fixed FILEVERSION)"
echo "product-version=$(fixed PRODUCTVERSION)"
echo "file-version-text=$(text FileVersion)"
echo "product-version-text=$(text ProductVersion)"
