#!/usr/bin/env bash
# The release packages are reproducible: the commit checked out (HEAD, not
# the uncommitted work) is cloned twice, into folders whose paths differ in
# name and length, and scripts/package.sh run in each, with another umask,
# time zone and locale, gives byte-identical zips, SHA256SUMS and BUILDINFO
# (the commit, its time and the toolchain's package versions). Every program
# in them carries the commit's time. Each clone also holds a header that
# would stop any build that read it, hidden from git outside the commit: by
# the clone's .git/info/exclude in one, by a global excludes file in the
# other. No Wine.
#   tests/e2e/release_reproducible.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# The caller's release time would win over the commit's.
unset SOURCE_DATE_EPOCH

commit=$(git -C "$root" rev-parse HEAD)
export GIT_CONFIG_GLOBAL=$work/gitconfig
git config --global core.excludesFile "$work/excludes"
package_in() { # FOLDER UMASK TZ LOCALE HEADER [EXCLUDES-FILE]
    local dir=$1
    echo "-- $dir: umask $2, TZ=$3, LC_ALL=$4, src/$5 hidden by ${6:-.git/info/exclude}"
    { git clone -q --no-checkout "$root" "$dir" && git -C "$dir" checkout -q --detach "$commit"; } ||
        fail "cannot clone $root at $commit"
    echo "#error src/$5 is not in the commit" >"$dir/src/$5"
    echo "/src/$5" >>"${6:-$dir/.git/info/exclude}"
    (umask "$2" && cd "$dir" && TZ=$3 LC_ALL=$4 bash scripts/package.sh >"$dir.log" 2>&1) ||
        fail "scripts/package.sh failed in $dir: $(tail -n 20 "$dir.log")"
}
one=$work/a
other=$work/a-folder-of-another-length/b
mkdir -p "$(dirname "$other")"
package_in "$one" 022 UTC0 C.UTF-8 windows.h
package_in "$other" 077 Asia/Tokyo ja_JP.UTF-8 winsock2.h "$work/excludes"

listing() { (cd "$1/build/package" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' ' '); }
files=$(listing "$one")
[[ $files =~ ^BUILDINFO\ EthBoxVup-[0-9.]+-win32\.zip\ EthBoxVup-[0-9.]+-win64\.zip\ SHA256SUMS\ $ ]] ||
    fail "package.sh wrote [$files], not BUILDINFO, the win32 and win64 zips and SHA256SUMS"
[[ $(listing "$other") == "$files" ]] || fail "the second build wrote [$(listing "$other")], the first [$files]"
for file in $files; do
    cmp "$one/build/package/$file" "$other/build/package/$file" || fail "$file differs between the builds"
done
(cd "$one/build/package" && sha256sum -c SHA256SUMS) || fail "SHA256SUMS does not check the zips"
grep -qx "commit $commit" "$one/build/package/BUILDINFO" || fail "BUILDINFO does not name the commit $commit"

# A clock's time would differ between the builds too, unless both fell on one
# second: the commit's time is the only right one.
expected=$(TZ=UTC0 LC_ALL=C date -d "@$(git -C "$root" log -1 --format=%ct)" '+%a %b %e %H:%M:%S %Y')
for zip in "$one"/build/package/*.zip; do
    unzip -p "$zip" EthBoxVup.exe >"$work/program.exe"
    stamp=$(TZ=UTC0 LC_ALL=C x86_64-w64-mingw32-objdump -p "$work/program.exe" | sed -n 's/^Time\/Date[[:space:]]*//p')
    [[ $stamp == "$expected" ]] || fail "$(basename "$zip")'s program is stamped [$stamp], not the commit's [$expected]"
done
echo "PASS"
