#!/usr/bin/env bash
# Builds the release EthBoxVup.exe (the windows preset, MinSizeRel) and writes
# the package for Windows users: build/package/EthBoxVup-VERSION-win64.zip
# with the program, a read-me in Japanese and English, and the licence.
#
#   bash scripts/package.sh                      build, then package
#   bash scripts/package.sh --exe EXE --out DIR  package EXE, already built, into DIR
#
# VERSION is the project VERSION in CMakeLists.txt, the one place it is
# written; the program's version resource comes from there too, and the
# package is refused when the two disagree.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

exe=
out=$root/build/package
while (($#)); do
    case $1 in
    --exe)
        exe=$2
        shift 2
        ;;
    --out)
        out=$2
        shift 2
        ;;
    *)
        echo "usage: $(basename "$0") [--exe EthBoxVup.exe] [--out DIR]" >&2
        exit 2
        ;;
    esac
done

fail() {
    echo "package: $*" >&2
    exit 1
}

# project(EthBoxVup VERSION 1.2.3 ...), however it is spread over lines.
version=$(tr '\n' ' ' <"$root/CMakeLists.txt" | grep -oE 'project\([^)]*\)' | head -n 1 |
    sed -nE 's/.*[[:space:]]VERSION[[:space:]]+([0-9.]+).*/\1/p')
# The version resource takes major.minor.patch and adds .0.
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
    fail "the project VERSION in CMakeLists.txt is [$version], not MAJOR.MINOR.PATCH"

if [[ -z $exe ]]; then
    cd "$root"
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target EthBoxVup
    exe=$root/build/windows/src/app/win32/EthBoxVup.exe
fi
[[ -f $exe ]] || fail "no program at $exe"

resource=$("$root/scripts/exe-version.sh" "$exe")
for key in file-version product-version file-version-text product-version-text; do
    found=$(sed -n "s/^$key=//p" <<<"$resource")
    [[ $found == "$version.0" ]] || fail "$exe has $key $found, but the project is $version (rebuild it)"
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# Without its symbols: they serve no user and are most of the file.
x86_64-w64-mingw32-strip --strip-all -o "$stage/EthBoxVup.exe" "$exe"

# Notepad on every Windows reads UTF-8 correctly only when the file starts
# with a byte-order mark (without one, Notepad before Windows 10 1903 takes
# the ANSI code page), and shows lines apart only when they end in CRLF
# (before Windows 10 1809). UTF-8 rather than UTF-16 keeps the read-me
# readable by every other tool as well.
as_windows_text() {
    printf '\xEF\xBB\xBF'
    sed 's/\r$//; s/$/\r/'
}
sed "s/@VERSION@/$version/g" "$root/packaging/README.txt.in" | as_windows_text >"$stage/README.txt"
as_windows_text <"$root/LICENSE" >"$stage/LICENSE.txt"

# The same times for every package of one commit.
if stamp=$(git -C "$root" log -1 --format=%ct 2>/dev/null) && [[ -n $stamp ]]; then
    touch -d "@$stamp" "$stage"/*
fi

mkdir -p "$out"
zip_path=$(cd "$out" && pwd)/EthBoxVup-$version-win64.zip
rm -f "$zip_path" # zip would add to an old archive
(cd "$stage" && zip -q -X "$zip_path" EthBoxVup.exe README.txt LICENSE.txt)
echo "package: $zip_path"
