#!/usr/bin/env bash
# Checks a release against this checkout: that each program in its zips is,
# byte for byte, what this commit builds, and, given the CA, that each is
# signed by a certificate from it.
#
#   bash scripts/verify-release.sh DIR [--ca CA.pem]
#
# DIR holds the zips and SHA256SUMS as published, and BUILDINFO when it was
# published too. SHA256SUMS must check the zips; a zip it names that is not
# in DIR is left out (one may download one zip only). Each zip's program is
# built here as scripts/package.sh builds it, in a build tree made anew; the
# program from the zip, its Authenticode signature removed (osslsigncode
# gives the unsigned bytes back exactly), must be the same bytes, and the zip
# must be the one package.sh makes of that program, the read-me and the
# licence. Each zip gets one line: "identical to the source", or the first
# offset where it differs; any difference makes the exit status non-zero.
# With --ca, each program must be signed, its signature must verify against
# the certificates in CA.pem, and so must its time stamp when it has one (one
# file may hold both roots: the signer's and the time-stamp authority's).
#
# The bytes are the same only when the toolchain is: where BUILDINFO names
# other package versions than those installed here, or another commit, a
# warning says so.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
me=verify-release
source "$root/scripts/release-lib.sh"

usage() {
    echo "usage: $(basename "$0") DIR [--ca CA.pem]" >&2
    exit 2
}
dir=
ca=
while (($#)); do
    case $1 in
    --ca)
        (($# >= 2)) || usage
        ca=$2
        shift 2
        ;;
    -*) usage ;;
    *)
        [[ -z $dir ]] || usage
        dir=$1
        shift
        ;;
    esac
done
[[ -n $dir ]] || usage
[[ -d $dir ]] || fail "no folder $dir"
[[ -z $ca || -f $ca && -r $ca ]] || fail "cannot read the CA certificates $ca"
command -v osslsigncode >/dev/null || fail "needs osslsigncode (scripts/install-deps.sh installs it)"

release_version
# What is built here must be the commit, as for a release.
release_source refuse

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

warn() {
    echo "$me: warning: $*" >&2
}
results=()
failures=0
differs() { # TEXT...
    results+=("$*")
    failures=$((failures + 1))
}

# SHA256SUMS names the zips to check. Only the names package.sh writes are
# taken: the file comes from elsewhere, and a name with a folder in it would
# lead outside DIR.
[[ -f $dir/SHA256SUMS ]] || fail "no SHA256SUMS in $dir"
declare -A zip_of # win32|win64 -> the zip's name
while IFS= read -r line || [[ -n $line ]]; do
    [[ -n $line ]] || continue
    [[ $line =~ ^[0-9a-f]{64}\ [\ *](EthBoxVup-([0-9A-Za-z.]+)-(win32|win64)\.zip)$ ]] ||
        fail "$dir/SHA256SUMS has a line that names no package of EthBoxVup: [$line]"
    name=${BASH_REMATCH[1]}
    [[ ${BASH_REMATCH[2]} == "$version" ]] ||
        fail "$name is not of version $version, which this checkout builds: check out the release's commit"
    [[ -z ${zip_of[${BASH_REMATCH[3]}]:-} ]] || fail "$dir/SHA256SUMS names two ${BASH_REMATCH[3]} zips"
    if [[ -f $dir/$name ]]; then
        zip_of[${BASH_REMATCH[3]}]=$name
    else
        echo "$name: not in $dir, not checked"
    fi
done <"$dir/SHA256SUMS"
((${#zip_of[@]})) || fail "none of the zips that $dir/SHA256SUMS names is in $dir"
(cd "$dir" && sha256sum --check --ignore-missing --quiet --strict SHA256SUMS) >&2 ||
    fail "SHA256SUMS does not check the zips in $dir: download them again"
for path in "$dir"/*.zip; do
    [[ ! -e $path || " ${zip_of[*]} " == *" ${path##*/} "* ]] ||
        echo "${path##*/}: not named in SHA256SUMS, not checked"
done

if [[ -f $dir/BUILDINFO ]]; then
    differences=0
    otherwise() { # TEXT...
        warn "$*"
        differences=1
    }
    while read -r field first second; do
        case $field in
        commit) [[ $first == "${commit:-none}" ]] ||
            otherwise "the release was built from commit $first, this checkout is ${commit:-no checkout}" ;;
        SOURCE_DATE_EPOCH) [[ $first == "$epoch" ]] ||
            otherwise "the release's SOURCE_DATE_EPOCH is $first, here it is $epoch" ;;
        package)
            here=$(release_package_version "$first")
            [[ $here == "$second" ]] ||
                otherwise "the release was built with $first ${second:-(none)}, here it is ${here:-not installed}"
            ;;
        esac
    done <"$dir/BUILDINFO"
    ((!differences)) || warn "a difference below may come from what BUILDINFO names otherwise"
fi

# Without --ca a signature is only removed. A time stamp that does not verify
# leaves osslsigncode's status at 0 (it checks the signature at the present
# time instead), so its own line is read.
check_signature() { # ZIP EXE
    local log=$work/verify.log stamp
    if ! osslsigncode verify -CAfile "$ca" -TSA-CAfile "$ca" -in "$2" >"$log" 2>&1; then
        differs "$1: the signature of its program does not verify against $ca"
    elif grep -q 'Timestamp is not available' "$log"; then
        results+=("$1: signature verified against $ca, no time stamp")
    elif grep -q 'Timestamp Server Signature verification: ok' "$log"; then
        stamp=$(sed -n 's/^[[:space:]]*Timestamp time: //p' "$log" | head -n 1)
        results+=("$1: signature and its time stamp of $stamp verified against $ca")
    else
        differs "$1: the signature of its program verifies against $ca, its time stamp does not"
    fi
}

# The first offset, counted from 0, at which two files differ, passing over
# LENGTH bytes from SKIP unless nothing else differs; nothing when they are
# the same.
first_difference() { # A B [SKIP LENGTH]
    local said line offset first=
    said=$(LC_ALL=C cmp -l -- "$1" "$2" 2>&1 | head -n 8) || true
    [[ -n $said ]] || return 0
    while read -r line; do
        if [[ $line =~ ^([0-9]+)\  ]]; then
            offset=$((BASH_REMATCH[1] - 1))
        elif [[ $line =~ EOF\ on\ .*\ after\ (byte|char)\ ([0-9]+) ]]; then
            offset=${BASH_REMATCH[2]}
        else
            offset=0
        fi
        first=${first:-$offset}
        ((${3:-0} <= offset && offset < ${3:-0} + ${4:-0})) || {
            echo "$offset"
            return
        }
    done <<<"$said"
    echo "$first"
}
# Where the PE header's checksum lies: it covers the whole file, so a change
# anywhere shows there first (osslsigncode sets it anew as it removes a
# signature), and it is never where the change is.
pe_checksum_offset() { # EXE
    echo $(($(od -An -tu4 -j 60 -N 4 "$1") + 88))
}
at() { # OFFSET
    printf 'offset %d (0x%x)' "$1" "$1"
}

# What the zips say is looked at before anything is built.
targets=()
for target in win32 win64; do
    name=${zip_of[$target]:-}
    [[ -n $name ]] || continue
    here=$work/$target
    mkdir "$here"
    entries=$(unzip -Z1 "$dir/$name" 2>/dev/null | tr '\n' ' ') || entries=
    if [[ $entries != "EthBoxVup.exe README.txt LICENSE.txt " ]]; then
        differs "$name: holds [${entries% }], not EthBoxVup.exe, README.txt and LICENSE.txt"
        continue
    fi
    unzip -p "$dir/$name" EthBoxVup.exe >"$here/published.exe"
    if osslsigncode extract-signature -in "$here/published.exe" -out "$here/signature" >/dev/null 2>&1; then
        osslsigncode remove-signature -in "$here/published.exe" -out "$here/unsigned.exe" >"$work/remove.log" 2>&1 ||
            fail "osslsigncode cannot remove the signature of $name's program:"$'\n'"$(tail -n 5 "$work/remove.log")"
        [[ -z $ca ]] || check_signature "$name" "$here/published.exe"
    else
        cp "$here/published.exe" "$here/unsigned.exe"
        [[ -z $ca ]] || differs "$name: its program is not signed"
    fi
    targets+=("$target")
done

for target in "${targets[@]}"; do
    name=${zip_of[$target]}
    here=$work/$target
    build_release "$target"
    release_program "$built" "$here/source.exe"
    offset=$(first_difference "$here/source.exe" "$here/unsigned.exe" "$(pe_checksum_offset "$here/source.exe")" 4)
    if [[ -n $offset ]]; then
        sizes=
        [[ $(stat -c %s "$here/unsigned.exe") == "$(stat -c %s "$here/source.exe")" ]] ||
            sizes=" ($(stat -c %s "$here/unsigned.exe") bytes, $(stat -c %s "$here/source.exe") built here)"
        differs "$name: EthBoxVup.exe differs from the source at $(at "$offset")$sizes"
        continue
    fi
    # The rest of the zip: the read-me, the licence, the entries' order,
    # times and modes.
    zip_package "$here/published.exe" "$here/remade.zip"
    offset=$(first_difference "$here/remade.zip" "$dir/$name")
    if [[ -n $offset ]]; then
        differs "$name: its program is identical to the source, but the zip differs at $(at "$offset")" \
            "from the one package.sh makes of it"
    else
        results+=("$name: identical to the source")
    fi
done

printf '%s\n' "${results[@]}"
((!failures)) || fail "$failures difference(s) from the source"
