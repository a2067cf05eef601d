#!/usr/bin/env bash
# Builds the release EthBoxVup.exe for 32-bit and for 64-bit Windows and
# writes the packages for Windows users into build/package:
# EthBoxVup-VERSION-win32.zip and EthBoxVup-VERSION-win64.zip, each with its
# program, a read-me in Japanese and English, and the licence; SHA256SUMS
# over both, as `sha256sum -c` reads it; and BUILDINFO, what made them.
#
#   bash scripts/package.sh [SIGNING]            build both, then package both
#   bash scripts/package.sh --exe EXE --out DIR [SIGNING]
#                                                package EXE, already built, into
#                                                DIR: its zip, named after the
#                                                architecture in EXE's PE header,
#                                                and its line in DIR/SHA256SUMS
# SIGNING: --sign KEY.p12 [--sign-password-file FILE] [--timestamp URL]
#   signs each program with Authenticode (osslsigncode, SHA-256) with the key
#   and certificates of KEY.p12, whose password is the first line of FILE
#   (read once, so a pipe will do: <(pass show ...)), and with an RFC 3161
#   time stamp from the server at URL, which keeps the signature valid after
#   the certificate expires.
#
# VERSION is the project VERSION in CMakeLists.txt, the one place it is
# written; the program's version resource comes from there too, and the
# package is refused when the two disagree.
#
# The same commit gives the same bytes wherever it is checked out and
# whenever it is built, given the same versions of the Debian packages that
# BUILDINFO lists (a signature aside, which holds the signing time):
# scripts/verify-release.sh checks a release that way. The programs are
# built from the commit's own files, written out aside, and a work tree that
# differs from its commit is refused. Nothing is written unless all is: the
# packages are made aside and take the place of the old ones at the end.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
me=package
source "$root/scripts/release-lib.sh"

usage() {
    echo "usage: $(basename "$0") [--exe EthBoxVup.exe --out DIR]" \
        "[--sign KEY.p12 [--sign-password-file FILE] [--timestamp URL]]" >&2
    exit 2
}
exe=
out=
key=
password_file=
timestamp=
while (($#)); do
    (($# >= 2)) || usage
    case $1 in
    --exe) exe=$2 ;;
    --out) out=$2 ;;
    --sign) key=$2 ;;
    --sign-password-file) password_file=$2 ;;
    --timestamp) timestamp=$2 ;;
    *) usage ;;
    esac
    shift 2
done
[[ -z $exe && -z $out ]] || [[ -n $exe && -n $out ]] || usage
[[ -n $key || -z $password_file && -z $timestamp ]] || usage

# What the signing needs is looked at before anything is built; the password
# itself only osslsigncode can try. The password file may be a pipe, which
# gives its text once: it is read here, once for both programs.
password=
if [[ -n $key ]]; then
    command -v osslsigncode >/dev/null ||
        fail "signing needs osslsigncode (scripts/install-deps.sh installs it)"
    [[ -f $key && -r $key ]] || fail "cannot read the signing key $key"
    if [[ -n $password_file ]]; then
        [[ -r $password_file && ! -d $password_file ]] || fail "cannot read the password file $password_file"
        IFS= read -r password <"$password_file" || true # a last line without its line end counts
    fi
fi

# A program given with --exe was built elsewhere, from whatever tree: its
# package does not claim to be the commit, so a changed tree is only named,
# and its read-me and licence are the work tree's.
if [[ -n $exe ]]; then
    release_source warn
else
    release_source refuse
fi

work=$(mktemp -d)
staging=
previous=
trap 'rm -rf "$work" ${staging:+"$staging"} ${previous:+"$previous"}' EXIT
if [[ -n $exe ]]; then
    sources=$root
else
    release_tree
fi
release_version

# Authenticode over the program, the way Windows checks it: SHA-256, the
# product's name as the description shown when Windows asks for consent.
sign_program() { # IN OUT
    local arguments=(sign -pkcs12 "$key" -h sha256 -n EthBoxVup) log=$work/osslsigncode.log
    [[ -z $password_file ]] || arguments+=(-readpass /dev/stdin)
    [[ -z $timestamp ]] || arguments+=(-ts "$timestamp")
    # A here-string this short is a pipe: the password never lies in a file
    # or on a command line.
    osslsigncode "${arguments[@]}" -in "$1" -out "$2" <<<"$password" >"$log" 2>&1 && return
    rm -f "$2"
    if grep -q 'Wrong password' "$log"; then
        fail "cannot open the signing key $key${password_file:+ with the password in $password_file}:" \
            "wrong password, or not a PKCS#12 file"
    elif grep -qE 'HTTP failure|timestamping failed' "$log"; then
        fail "no time stamp from $timestamp: $(grep -m 1 -E 'HTTP failure|error' "$log")"
    fi
    fail "osslsigncode could not sign $1:"$'\n'"$(tail -n 5 "$log")"
}

# Packages EXE into the staging folder: the program as it ships, signed when
# a key is given, zipped with the read-me and the licence. Sets zip_name and
# program_sha256, the program's before it was signed.
package_exe() { # EXE
    local program=$work/program.exe
    release_program "$1" "$program"
    zip_name=EthBoxVup-$version-$arch.zip
    [[ ! -e $staging/$zip_name ]] || fail "$arch was packaged twice"
    program_sha256=$(sha256sum <"$program" | cut -d ' ' -f 1)
    if [[ -n $key ]]; then
        sign_program "$program" "$work/signed.exe"
        mv "$work/signed.exe" "$program"
    fi
    zip_package "$program" "$staging/$zip_name"
}

if [[ -n $exe ]]; then
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    # In DIR itself, so that each file takes its place with one rename.
    staging=$out/.package-$$
    mkdir "$staging"
    package_exe "$exe"
    # The other zips' lines stay: the other architecture may be packaged into
    # the same folder by another run.
    {
        [[ ! -f $out/SHA256SUMS ]] || awk -v zip="$zip_name" 'substr($0, 67) != zip' "$out/SHA256SUMS"
        (cd "$staging" && sha256sum -- "$zip_name")
    } | LC_ALL=C sort -k 2 >"$staging/SHA256SUMS"
    mv "$staging/$zip_name" "$out/$zip_name"
    mv "$staging/SHA256SUMS" "$out/SHA256SUMS"
    echo "package: $out/$zip_name"
else
    out=$root/build/package
    build_release win32
    exe32=$built
    build_release win64
    exe64=$built
    # Beside build/package, on its file system: it takes that folder's place
    # with one rename, and an old package is never half replaced.
    staging=$root/build/.package-$$
    rm -rf "$staging"
    mkdir "$staging"
    zips=()
    sums=()
    for program in "$exe32" "$exe64"; do
        package_exe "$program"
        zips+=("$zip_name")
        sums+=("unsigned-program-sha256 $zip_name $program_sha256")
    done
    {
        echo "# What made these packages. The same commit, SOURCE_DATE_EPOCH and package"
        echo "# versions give the same bytes; scripts/verify-release.sh checks a release."
        echo "version $version"
        echo "commit ${commit:-none}"
        echo "SOURCE_DATE_EPOCH $epoch"
        for package in "${release_packages[@]}" ${key:+osslsigncode}; do
            echo "package $package $(release_package_version "$package")"
        done
        printf '%s\n' "${sums[@]}"
    } >"$staging/BUILDINFO"
    (cd "$staging" && sha256sum -- "${zips[@]}" >SHA256SUMS) || fail "cannot write SHA256SUMS"
    if [[ -e $out ]]; then
        previous=$root/build/.package-previous-$$
        mv "$out" "$previous"
    fi
    if ! mv "$staging" "$out"; then
        [[ -z $previous ]] || mv "$previous" "$out"
        fail "cannot move the packages into $out"
    fi
    staging=
    for zip in "${zips[@]}" BUILDINFO; do
        echo "package: $out/$zip"
    done
fi
echo "package: $out/SHA256SUMS"
