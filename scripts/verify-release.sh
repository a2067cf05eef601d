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
# file may hold both roots: the signer's and the time-stamp authority's); a
# signature whose certificate has expired holds only with a time stamp, as on
# Windows. A zip refused for what it holds or for its signature is not built.
#
# The release's time is SOURCE_DATE_EPOCH when the caller sets it, otherwise
# BUILDINFO's, otherwise the commit's. The bytes are the same only when the
# toolchain is: where BUILDINFO names other package versions than those
# installed here, or another commit or time, a warning says so.
#
# Everything in DIR comes from elsewhere: no file of it may be a symbolic
# link, the program's entry is refused above a bound before it is unpacked,
# and its names and fields are printed with every byte outside printable
# ASCII written as \xNN, so that none can act on the terminal.
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
# Absolute, so that no path below can start with a dash.
dir=$(cd -- "$dir" && pwd)
[[ -z $ca || -f $ca && -r $ca ]] || fail "cannot read the CA certificates $ca"
command -v osslsigncode >/dev/null || fail "needs osslsigncode (scripts/install-deps.sh installs it)"

# Today's programs are well under 1 MiB; the bound leaves room for growth and
# keeps a zip bomb from filling the disk.
largest_program=$((8 * 1024 * 1024))

# TEXT from the download as it may be printed.
shown() { # TEXT
    printf '%s' "$1" | LC_ALL=C perl -pe 's/([^\x20-\x7e])/sprintf("\\x%02x", ord $1)/ge'
}
# A file of DIR that is there must be a plain file: a link could lead the
# checks to any file of this machine, or to a device that never ends.
plain_file() { # NAME
    [[ ! -L $dir/$1 ]] || fail "$(shown "$1") is a symbolic link, which a release never holds: download it again"
    [[ ! -e $dir/$1 || -f $dir/$1 ]] || fail "$(shown "$1") is not a plain file: download it again"
}
plain_file SHA256SUMS
plain_file BUILDINFO

# The release's time from BUILDINFO, when the caller gives none: a release
# made with SOURCE_DATE_EPOCH set carries that time, not the commit's.
if [[ -z ${SOURCE_DATE_EPOCH:-} && -f $dir/BUILDINFO ]]; then
    release_time=$(awk '$1 == "SOURCE_DATE_EPOCH" { print $2; exit }' "$dir/BUILDINFO")
    if [[ -n $release_time ]]; then
        release_time_holds "$release_time" ||
            fail "BUILDINFO gives SOURCE_DATE_EPOCH [$(shown "$release_time")], not a number of seconds" \
                "from $release_time_range"
        export SOURCE_DATE_EPOCH=$release_time
        echo "$me: the release's time is BUILDINFO's SOURCE_DATE_EPOCH $release_time"
    fi
fi
# What is built here must be the commit, as for a release.
release_source refuse

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The version from the work tree, which release_source found to be the
# commit: the commit's own files are written out only when a zip is built.
sources=$root
release_version

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
        fail "$dir/SHA256SUMS has a line that names no package of EthBoxVup: [$(shown "$line")]"
    name=${BASH_REMATCH[1]}
    [[ ${BASH_REMATCH[2]} == "$version" ]] ||
        fail "$(shown "$name") is not of version $version, which this checkout builds: check out the release's commit"
    [[ -z ${zip_of[${BASH_REMATCH[3]}]:-} ]] || fail "$dir/SHA256SUMS names two ${BASH_REMATCH[3]} zips"
    plain_file "$name"
    if [[ -f $dir/$name ]]; then
        zip_of[${BASH_REMATCH[3]}]=$name
    else
        echo "$name: not in $dir, not checked"
    fi
done <"$dir/SHA256SUMS"
((${#zip_of[@]})) || fail "none of the zips that $dir/SHA256SUMS names is in $dir"
(cd "$dir" && sha256sum --check --ignore-missing --quiet --strict -- SHA256SUMS) >&2 ||
    fail "SHA256SUMS does not check the zips in $dir: download them again"
for path in "$dir"/*.zip; do
    [[ ! -e $path || " ${zip_of[*]} " == *" ${path##*/} "* ]] ||
        echo "$(shown "${path##*/}"): not named in SHA256SUMS, not checked"
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
            otherwise "the release was built from commit $(shown "$first"), this checkout is ${commit:-no checkout}" ;;
        SOURCE_DATE_EPOCH) [[ $first == "$epoch" ]] ||
            otherwise "the release's SOURCE_DATE_EPOCH is $(shown "$first"), here it is $epoch" ;;
        package)
            here=$(release_package_version "$first")
            [[ $here == "$second" ]] ||
                otherwise "the release was built with $(shown "$first ${second:-(none)}")," \
                    "here it is $(shown "${here:-not installed}")"
            ;;
        esac
    done <"$dir/BUILDINFO"
    ((!differences)) || warn "a difference below may come from what BUILDINFO names otherwise"
fi

# Without --ca a signature is only removed. A time stamp that does not verify
# leaves osslsigncode's status at 0 (it checks the signature at the present
# time instead), so its own line is read. Without a time stamp the signer's
# certificate must hold today, as on Windows. Fails when the signature does
# not hold.
check_signature() { # ZIP EXE
    local log=$work/verify.log stamp
    if ! osslsigncode verify -CAfile "$ca" -TSA-CAfile "$ca" -in "$2" >"$log" 2>&1; then
        if grep -q 'Timestamp is not available' "$log" && grep -q 'certificate has expired' "$log"; then
            differs "$1: its program has no time stamp, and the certificate that signed it has expired:" \
                "the signature no longer holds"
        else
            differs "$1: the signature of its program does not verify against $ca"
        fi
        return 1
    elif grep -q 'Timestamp is not available' "$log"; then
        results+=("$1: signature verified against $ca, no time stamp")
    elif grep -q 'Timestamp Server Signature verification: ok' "$log"; then
        stamp=$(sed -n 's/^[[:space:]]*Timestamp time: //p' "$log" | head -n 1)
        results+=("$1: signature and its time stamp of $stamp verified against $ca")
    else
        differs "$1: the signature of its program verifies against $ca, its time stamp does not"
        return 1
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

# The entries of ZIP as its central directory lists them, before anything is
# unpacked: fails, saying why, unless they are the three that package.sh
# writes, in its order, plain files, none larger than a program can be.
# (unzip itself writes a control character in a name as ^X.)
check_entries() { # ZIP
    local zip=$dir/$1 entries mode size name
    entries=$(unzip -Z1 -- "$zip" 2>/dev/null | tr '\n' ' ') || entries=
    if [[ $entries != "EthBoxVup.exe README.txt LICENSE.txt " ]]; then
        differs "$1: holds [$(shown "${entries% }")], not EthBoxVup.exe, README.txt and LICENSE.txt"
        return 1
    fi
    # One line each: -rw-r--r--  3.0 unx   123456 b- defN 20010909.014640 EthBoxVup.exe
    while read -r mode _ _ size _ _ _ name; do
        if [[ $mode == l* ]]; then
            differs "$1: its entry $name is a symbolic link"
            return 1
        elif [[ ! $size =~ ^[0-9]+$ ]]; then
            differs "$1: its directory does not give the size of $name"
            return 1
        elif ((${#size} > 12 || size > largest_program)); then
            differs "$1: its entry $name would unpack to $size bytes, more than the $largest_program" \
                "a program of EthBoxVup can be; not unpacked"
            return 1
        fi
    done < <(unzip -Z -s -T -- "$zip" EthBoxVup.exe README.txt LICENSE.txt 2>/dev/null)
}

# What the zips say is looked at before anything is built, and a zip refused
# for it is not built: the build is what takes the time.
targets=()
for target in win32 win64; do
    name=${zip_of[$target]:-}
    [[ -n $name ]] || continue
    here=$work/$target
    mkdir "$here"
    check_entries "$name" || continue
    # The bound holds even if the data unpack to more than the directory
    # says. noclobber: the program is written as a new file, never through a
    # link.
    unpacked=0
    (set -o noclobber && unzip -p -- "$dir/$name" EthBoxVup.exe 2>|"$work/unzip.log" |
        head -c $((largest_program + 1)) >"$here/published.exe") || unpacked=$?
    if [[ ! -f $here/published.exe || -L $here/published.exe ]]; then
        fail "cannot write $here/published.exe"
    elif (($(stat -c %s "$here/published.exe") > largest_program)); then
        differs "$name: its program unpacks to more than the $largest_program bytes a program of EthBoxVup can be"
        continue
    elif ((unpacked)); then
        differs "$name: its program does not unpack: $(shown "$(head -n 3 "$work/unzip.log")")"
        continue
    fi
    if osslsigncode extract-signature -in "$here/published.exe" -out "$here/signature" >/dev/null 2>&1; then
        osslsigncode remove-signature -in "$here/published.exe" -out "$here/unsigned.exe" >"$work/remove.log" 2>&1 ||
            fail "osslsigncode cannot remove the signature of $name's program:"$'\n'"$(tail -n 5 "$work/remove.log")"
        [[ -z $ca ]] || check_signature "$name" "$here/published.exe" || continue
    elif [[ -n $ca ]]; then
        differs "$name: its program is not signed"
        continue
    else
        cp "$here/published.exe" "$here/unsigned.exe"
    fi
    targets+=("$target")
done

((${#targets[@]} == 0)) || release_tree
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
