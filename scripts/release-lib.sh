# What makes the bytes of a release, shared by scripts/package.sh, which
# makes the packages, and scripts/verify-release.sh, which makes them again to
# compare: one copy of each step, so that the check cannot drift from what it
# checks. Sourced, not run. The caller sets me (its name, for messages), root
# (the project's folder) and work (a scratch folder it removes), and, before
# using what is made from them, sources (release_tree sets it).
# shellcheck shell=bash disable=SC2034,SC2154 # variables shared with the caller

fail() {
    echo "$me: $*" >&2
    exit 1
}

# project(EthBoxVup VERSION 1.2.3 ...), however it is spread over lines, in
# the sources the release is made from. The one place the version is
# written; the program's version resource comes from there too. Sets version.
release_version() {
    version=$(tr '\n' ' ' <"$sources/CMakeLists.txt" | grep -oE 'project\([^)]*\)' | head -n 1 |
        sed -nE 's/.*[[:space:]]VERSION[[:space:]]+([0-9.]+).*/\1/p')
    # The version resource takes major.minor.patch and adds .0.
    [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
        fail "the project VERSION in CMakeLists.txt is [$version], not MAJOR.MINOR.PATCH"
}

# The release's time lands in a zip entry's DOS time, which starts at
# 1980-01-01, and in the PE header's 32-bit time stamp, which ends in 2106:
# outside both, one of them would wrap or be clamped to another time.
release_time_range="315532800 (1980-01-01T00:00:00Z) to 4294967295 (2106-02-07T06:28:15Z)"
release_time_holds() { # SECONDS
    [[ $1 =~ ^[0123456789]{1,10}$ ]] && ((10#$1 >= 315532800 && 10#$1 <= 4294967295))
}

# The commit the release is built from and the release's time, which every
# time stamp in it carries (the programs' PE headers, the zip entries) in
# place of the clock's. SOURCE_DATE_EPOCH given by the caller wins; otherwise
# it is the commit's time, taken only from the project's own checkout: a
# source tree unpacked inside some other git checkout would take that one's.
# A checkout must be its commit exactly, untracked files that git does not
# ignore included: a release that claims the commit must not leave out what
# the person making it sees. Entries git is told not to look at
# (skip-worktree, assume-unchanged) are compared too. With "warn" the
# differences are only named. Outside a checkout of its own there is no
# commit to compare with. Sets commit (empty outside a checkout) and epoch.
release_source() { # refuse|warn
    local top changed
    top=$(git -C "$root" rev-parse --show-toplevel 2>/dev/null) || top=
    if [[ -n $top && $top -ef $root ]]; then
        commit=$(git -C "$root" rev-parse --verify -q HEAD) || fail "$root is a git checkout without a commit"
        # Without optional locks: another git command may be at work in the same tree.
        changed=$({
            git --no-optional-locks -C "$root" status --porcelain --untracked-files=all | cut -c4-
            unlooked_changes
        } | sed 's/^/  /')
        if [[ -n $changed && $1 == warn ]]; then
            echo "$me: warning: $root differs from its commit ${commit:0:12} in:"$'\n'"$changed" >&2
        elif [[ -n $changed ]]; then
            fail "$root differs from its commit ${commit:0:12}, so what it would build is not that commit;" \
                "commit, stash or remove these first:"$'\n'"$changed"
        fi
        epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
    else
        commit=
        if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
            [[ -z $top ]] || fail "$root lies inside the git checkout $top, whose commit is not this source's: give the release's time as SOURCE_DATE_EPOCH (seconds since 1970)"
            fail "$root is not a git checkout: give the release's time as SOURCE_DATE_EPOCH (seconds since 1970)"
        fi
        epoch=$SOURCE_DATE_EPOCH
    fi
    release_time_holds "$epoch" ||
        fail "SOURCE_DATE_EPOCH is [$epoch], not a number of seconds from $release_time_range"
    # Without leading zeros, which the tools below would each read their own way.
    epoch=$((10#$epoch))
    # The linker and strip write it into the PE header in place of the clock's time.
    export SOURCE_DATE_EPOCH=$epoch
    # Zip stores local times: the same in every time zone only in one of them.
    export TZ=UTC0
}

# The entries marked skip-worktree (S) or assume-unchanged (a lower case tag)
# whose files are not what the index holds: git status passes over them. A
# skip-worktree file that is not there is one a sparse checkout leaves out.
unlooked_changes() {
    local entry tag path oid
    git -C "$root" ls-files -v -s -z | while IFS= read -r -d '' entry; do
        tag=${entry%% *}
        [[ $tag == S || $tag == [a-z] ]] || continue
        path=${entry#*$'\t'}
        read -r _ _ oid _ <<<"${entry%%$'\t'*}"
        if [[ -e $root/$path || -L $root/$path ]]; then
            [[ -f $root/$path && ! -L $root/$path && $(git -C "$root" hash-object -- "$path") == "$oid" ]] ||
                echo "$path"
        elif [[ $tag != S ]]; then
            echo "$path"
        fi
    done
}

# The folder the release is made from: the commit's files, written from its
# blobs byte for byte (git archive would pass them through this checkout's
# line-end and filter settings), so that nothing else in the checkout can
# reach the bytes: no file hidden by .git/info/exclude or a global excludes
# file, no entry git was told not to look at. Outside a checkout it is the
# folder itself. Sets sources.
release_tree() {
    local type size mode path dest
    if [[ -z $commit ]]; then
        sources=$root
        return
    fi
    sources=$work/source
    mkdir "$sources"
    git -C "$root" ls-tree -r -z --full-tree --format='%(objectname) %(objectmode) %(path)' "$commit" |
        git -C "$root" cat-file -z --batch='%(objecttype) %(objectsize) %(rest)' | {
        while IFS=' ' read -r type size mode path; do
            [[ $type == blob ]] || fail "commit ${commit:0:12} holds ${path:-$type}, which is not a file"
            dest=$sources/$path
            [[ -d ${dest%/*} ]] || mkdir -p "${dest%/*}"
            if [[ $mode == 120000 ]]; then
                ln -s "$(head -c "$size")" "$dest"
            else
                head -c "$size" >"$dest"
                [[ $mode != 100755 ]] || chmod +x "$dest"
            fi
            read -r _ # the line end after each blob
        done
    } || fail "cannot write the files of commit ${commit:0:12} into $sources"
}

# The Debian packages whose files make the bytes: the compilers of
# cmake/mingw-w64-common.cmake (the posix thread model) with their libgcc and
# libstdc++, binutils (assembler, linker, windres, strip), the mingw-w64
# headers, start-up code and import libraries, and zip. osslsigncode joins
# them when it signs.
release_packages=(
    gcc-mingw-w64-base
    gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    mingw-w64-common mingw-w64-i686-dev mingw-w64-x86-64-dev
    zip
)
release_package_version() { # NAME: empty when it is not installed
    dpkg-query -W -f='${Version}' -- "$1" 2>/dev/null || true
}

# win32 or win64, from the PE header as objdump reads it (the x86-64 one reads
# 32-bit programs too).
pe_architecture() { # EXE
    case $(LC_ALL=C x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null) in
    *"file format pei-i386"*) echo win32 ;;
    *"file format pei-x86-64"*) echo win64 ;;
    *) return 1 ;;
    esac
}

# Builds the release program of one architecture from the sources, in a
# build tree of its own, made anew each time, so that what ships was compiled
# and linked by this run at this commit's time, never a program left from
# another build. The prefix maps keep the sources' folder and the checkout's
# (where the build tree is) out of anything the compiler might write a source
# file's name into (__FILE__, assertions). No compiler cache of the caller's
# takes part: it could hand over objects this run did not compile. Sets built.
build_release() { # win32|win64
    local tree=$root/build/release/$1 toolchain
    local flags="'-ffile-prefix-map=$sources/=' '-ffile-prefix-map=$root/='"
    unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
    case $1 in
    win32) toolchain=mingw-w64-i686.cmake ;;
    win64) toolchain=mingw-w64-x86_64.cmake ;;
    esac
    rm -rf "$tree"
    echo "$me: building the $1 program in $tree"
    cmake -S "$sources" -B "$tree" -G Ninja --toolchain "$sources/cmake/$toolchain" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DETHBOX_TESTS=OFF \
        "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" >/dev/null ||
        fail "configuring $tree failed"
    cmake --build "$tree" --target EthBoxVup || fail "building the $1 program failed"
    built=$tree/src/app/win32/EthBoxVup.exe
}

# The program as it ships, before any signature: EXE, refused unless its
# version resource is the project's, without its symbols (they serve no user
# and are most of the file). Sets arch.
release_program() { # EXE OUT
    local exe=$1 strip resource found key
    [[ -f $exe ]] || fail "no program at $exe"
    arch=$(pe_architecture "$exe") || fail "$exe is not a 32-bit (i386) or 64-bit (x86-64) Windows program"
    resource=$("$sources/scripts/exe-version.sh" "$exe")
    for key in file-version product-version file-version-text product-version-text; do
        found=$(sed -n "s/^$key=//p" <<<"$resource")
        [[ $found == "$version.0" ]] || fail "$exe has $key $found, but the project is $version (rebuild it)"
    done
    case $arch in
    win32) strip=i686-w64-mingw32-strip ;;
    win64) strip=x86_64-w64-mingw32-strip ;;
    esac
    "$strip" --strip-all -o "$2" "$exe" || fail "$strip failed on $exe"
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

# Writes ZIP (an absolute path) from PROGRAM as it is, signed or not, with
# the read-me and the licence. Nothing of the umask, the clock or the file
# order reaches it.
zip_package() { # PROGRAM ZIP
    local stage
    stage=$(mktemp -d "$work/zip.XXXXXX")
    cp "$1" "$stage/EthBoxVup.exe"
    sed "s/@VERSION@/$version/g" "$sources/packaging/README.txt.in" | as_windows_text >"$stage/README.txt"
    as_windows_text <"$sources/LICENSE" >"$stage/LICENSE.txt"
    # Zip keeps each entry's Unix mode and modification time.
    chmod 0644 "$stage"/*
    touch -d "@$epoch" "$stage"/*
    rm -f "$2" # zip would add to an old archive
    # -X leaves out the extra fields with owner and exact times; the list
    # gives the order.
    (cd "$stage" && zip -q -X "$2" EthBoxVup.exe README.txt LICENSE.txt) || fail "zip failed on $2"
    rm -rf "$stage"
}
