#!/usr/bin/env bash
# Builds the release EthBoxVup.exe for 32-bit and for 64-bit Windows and
# writes the packages for Windows users into build/package:
# EthBoxVup-VERSION-win32.zip and EthBoxVup-VERSION-win64.zip, each with its
# program, a read-me in Japanese and English, and the licence, and SHA256SUMS
# over both, as `sha256sum -c` reads it.
#
#   bash scripts/package.sh                      build both, then package both
#   bash scripts/package.sh --exe EXE --out DIR  package EXE, already built, into
#                                                DIR: its zip, named after the
#                                                architecture in EXE's PE header,
#                                                and a SHA256SUMS over that zip
#
# VERSION is the project VERSION in CMakeLists.txt, the one place it is
# written; the program's version resource comes from there too, and the
# package is refused when the two disagree.
#
# The same commit gives the same bytes wherever it is checked out and
# whenever it is built: every time stamp (the programs' PE headers, the zip
# entries) is the commit's time, and nothing of the build folder, the time
# zone, the umask or the file order reaches the packages.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() {
    echo "usage: $(basename "$0") [--exe EthBoxVup.exe --out DIR]" >&2
    exit 2
}
exe=
out=
while (($#)); do
    (($# >= 2)) || usage
    case $1 in
    --exe) exe=$2 ;;
    --out) out=$2 ;;
    *) usage ;;
    esac
    shift 2
done
[[ -z $exe && -z $out ]] || [[ -n $exe && -n $out ]] || usage

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

# The commit's time, not the clock's: outside a git checkout (an unpacked
# source archive) the caller gives it as SOURCE_DATE_EPOCH.
if epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null) && [[ -n $epoch ]]; then
    [[ -z $(git -C "$root" status --porcelain) ]] ||
        echo "package: warning: $root has uncommitted changes, which these packages hold under the last commit's time" >&2
elif [[ ${SOURCE_DATE_EPOCH:-} =~ ^[0-9]+$ ]]; then
    epoch=$SOURCE_DATE_EPOCH
else
    fail "$root is not a git checkout: give the release's time as SOURCE_DATE_EPOCH (seconds since 1970)"
fi
# The linker and strip write it into the PE header in place of the clock's time.
export SOURCE_DATE_EPOCH=$epoch
# Zip stores local times: the same in every time zone only in one of them.
export TZ=UTC0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# win32 or win64, from the PE header as objdump reads it (the x86-64 one reads
# 32-bit programs too).
pe_architecture() { # EXE
    case $(LC_ALL=C x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null) in
    *"file format pei-i386"*) echo win32 ;;
    *"file format pei-x86-64"*) echo win64 ;;
    *) return 1 ;;
    esac
}

# Builds the release program of one architecture in a build tree of its own,
# made anew each time, so that what ships was compiled and linked by this run
# at this commit's time, never a program left from another build. The
# prefix map keeps the checkout's folder out of anything the compiler might
# write a source file's name into (__FILE__, assertions).
build_release() { # NAME TOOLCHAIN-FILE
    local tree=$root/build/release/$1
    local flags="'-ffile-prefix-map=$root/='"
    rm -rf "$tree"
    echo "package: building the $1 program in $tree"
    cmake -S "$root" -B "$tree" -G Ninja --toolchain "$root/cmake/$2" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DETHBOX_TESTS=OFF \
        "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" >/dev/null ||
        fail "configuring $tree failed"
    cmake --build "$tree" --target EthBoxVup || fail "building the $1 program failed"
    built=$tree/src/app/win32/EthBoxVup.exe
}

# Notepad on every Windows reads UTF-8 correctly only when the file starts
# with a byte-order mark (without one, Notepad before Windows 10 1903 takes
# the ANSI code page), and shows lines apart only when they end in CRLF
# (before Windows 10 1809). UTF-8 rather than UTF-16 keeps the read-me
# readable by every other tool as well.
as_windows_text() {
    printf '\xEF\xBB\xBF'
    sed 's/\r$//; s/$/\r/'
}

# Writes DIR/EthBoxVup-VERSION-ARCH.zip from EXE; its name goes to zip_name.
package_exe() { # EXE DIR
    local exe=$1 dir=$2 arch strip
    [[ -f $exe ]] || fail "no program at $exe"
    arch=$(pe_architecture "$exe") || fail "$exe is not a 32-bit (i386) or 64-bit (x86-64) Windows program"

    local resource found key
    resource=$("$root/scripts/exe-version.sh" "$exe")
    for key in file-version product-version file-version-text product-version-text; do
        found=$(sed -n "s/^$key=//p" <<<"$resource")
        [[ $found == "$version.0" ]] || fail "$exe has $key $found, but the project is $version (rebuild it)"
    done

    local stage=$work/$arch
    mkdir "$stage" || fail "$arch was packaged twice"
    # Without its symbols: they serve no user and are most of the file.
    case $arch in
    win32) strip=i686-w64-mingw32-strip ;;
    win64) strip=x86_64-w64-mingw32-strip ;;
    esac
    "$strip" --strip-all -o "$stage/EthBoxVup.exe" "$exe" || fail "$strip failed on $exe"
    sed "s/@VERSION@/$version/g" "$root/packaging/README.txt.in" | as_windows_text >"$stage/README.txt"
    as_windows_text <"$root/LICENSE" >"$stage/LICENSE.txt"
    # Zip keeps each entry's Unix mode and modification time.
    chmod 0644 "$stage"/*
    touch -d "@$epoch" "$stage"/*

    zip_name=EthBoxVup-$version-$arch.zip
    local zip_path
    zip_path=$(cd "$dir" && pwd)/$zip_name
    rm -f "$zip_path" # zip would add to an old archive
    # -X leaves out the extra fields with owner and exact times; the list
    # gives the order.
    (cd "$stage" && zip -q -X "$zip_path" EthBoxVup.exe README.txt LICENSE.txt) ||
        fail "zip failed on $zip_path"
    echo "package: $zip_path"
}

zips=()
if [[ -n $exe ]]; then
    mkdir -p "$out"
    package_exe "$exe" "$out"
    zips=("$zip_name")
else
    out=$root/build/package
    build_release win32 mingw-w64-i686.cmake
    exe32=$built
    build_release win64 mingw-w64-x86_64.cmake
    exe64=$built
    # Nothing left from an earlier version or run.
    rm -rf "$out"
    mkdir -p "$out"
    package_exe "$exe32" "$out"
    zips+=("$zip_name")
    package_exe "$exe64" "$out"
    zips+=("$zip_name")
fi
(cd "$out" && sha256sum -- "${zips[@]}" >SHA256SUMS) || fail "cannot write $out/SHA256SUMS"
echo "package: $(cd "$out" && pwd)/SHA256SUMS"
