#!/usr/bin/env bash
# Static checks of the program and the simulator: the direction of the
# program's includes, what both programs import (Windows 7 SP1 has it, and no
# DLL of it is ever taken from the program's folder), then clang-tidy (.clang-tidy says which checks and why),
# cppcheck and a compilation as C++20, each over the POSIX build and over the
# Windows build, so that the platform bodies of both are read. Fails on any
# finding. Reads the compile databases of the native and windows presets and
# configures a preset whose database is missing; builds EthBoxVup.exe of the
# windows and windows-x86 presets for their imports. Tests are not checked.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

jobs=${STATIC_CHECK_JOBS:-$(nproc)}
native_db=build/native
windows_db=build/windows
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# The compile databases say which files are checked: one that is not the
# tree's would pass over some. Each is made anew when it is missing or older
# than a CMake file of the tree (a pull that adds a source names it there),
# and both when a source file of src/ or tools/ is in neither.
stale_reason() { # PRESET
    local database=build/$1/compile_commands.json newer
    if [[ ! -f $database ]]; then
        echo "it has no compile database"
        return
    fi
    newer=$(find . \( -path ./build -o -path ./.git \) -prune -o \
        \( -name CMakeLists.txt -o -name '*.cmake' -o -name CMakePresets.json \) -newer "$database" -print -quit)
    [[ -z $newer ]] || echo "${newer#./} changed after its compile database was written"
}
configured=" "
configure_again() { # PRESET WHY
    [[ $configured != *" $1 "* ]] || return 0
    echo "static-checks: configuring $1 again, as $2"
    cmake --preset "$1" >/dev/null
    configured+="$1 "
}
# Each .cpp file of src/ and tools/ that neither database names, one a line.
unlisted_sources() {
    python3 - "$native_db/compile_commands.json" "$windows_db/compile_commands.json" <<'EOF'
import json, os, sys
listed = {os.path.relpath(os.path.normpath(os.path.join(entry["directory"], entry["file"])))
          for database in sys.argv[1:] for entry in json.load(open(database))}
for top in "src", "tools":
    for directory, _, names in sorted(os.walk(top)):
        for name in sorted(names):
            if name.endswith(".cpp") and os.path.join(directory, name) not in listed:
                print(os.path.join(directory, name))
EOF
}
for preset in native windows; do
    reason=$(stale_reason "$preset")
    [[ -z $reason ]] || configure_again "$preset" "$reason"
done
unlisted=$(unlisted_sources)
if [[ -n $unlisted ]]; then
    for preset in native windows; do
        configure_again "$preset" "no compile database names ${unlisted%%$'\n'*}"
    done
    unlisted=$(unlisted_sources)
    if [[ -n $unlisted ]]; then
        echo "sources that no preset builds, and so no check reads:"
        sed 's/^/  /' <<<"$unlisted"
        failed=1
    fi
fi

# Each translation unit of src/ and tools/ in DATABASE, with the SHA-256 of
# every compile command the database gives it (clang-tidy reads them all),
# the checkout's path taken out of each word: "DIGEST<tab>PATH", one a line,
# as a path may hold blanks. Fails for a database without one.
sources_of() {
    python3 - "$1/compile_commands.json" "$root" <<'EOF'
import hashlib, json, os, shlex, sys
database, root = sys.argv[1], sys.argv[2]
commands = {}
for entry in json.load(open(database)):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(path, root)
    if relative.startswith(("src/", "tools/")) and relative.endswith(".cpp"):
        words = entry.get("arguments") or shlex.split(entry["command"])
        commands.setdefault(path, set()).add("\0".join(word.replace(root, "ROOT") for word in words))
for path in sorted(commands):
    print(hashlib.sha256("\n".join(sorted(commands[path])).encode()).hexdigest(), path, sep="\t")
sys.exit(0 if commands else 1)
EOF
}

# clang-tidy takes minutes; a file it found clean is not read again while
# nothing it reads has changed. The key holds all of that: the file's
# compile command, every source, header, resource and build file of the
# project (the generated headers come from them), .clang-tidy,
# this script, and every installed package with its version (the tools and
# the system's headers). Only a clean result is kept.
tidy_cache=${XDG_CACHE_HOME:-$HOME/.cache}/ethbox-clang-tidy
inputs_digest=$({
    find src tools res cmake CMakeLists.txt CMakePresets.json -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum
    sha256sum .clang-tidy scripts/static-checks.sh
    dpkg-query -W
} | sha256sum | cut -d ' ' -f 1)
tidy_key() { # NAME PATH COMMAND-DIGEST EXTRA-ARGUMENTS...
    printf '%s\n' "$inputs_digest" "$@" | sha256sum | cut -d ' ' -f 1
}

# The MinGW compiler's own C++ library headers. clang does not find them by
# itself, as Debian keeps them under a "12-posix" directory its MinGW driver
# does not look in; the Windows SDK headers it does find.
mingw_library_includes() {
    local compiler
    compiler=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[0]["command"].split()[0])' \
        "$windows_db/compile_commands.json")
    "$compiler" -E -x c++ -v /dev/null 2>&1 >/dev/null |
        sed -n '/search starts here:/,/End of search list/p' | grep '/include/c++' | sed 's/^ *//'
}

# Dependencies run one way. Each file of src/ includes headers of its own
# layer and of those below it, never of one above; src/common, the records
# the whole process shares, is the bottom every layer may include.
check_layering() {
    local status=0
    python3 - "$root/src" >"$work/layering.out" <<'EOF' || status=$?
import os, re, sys
src = sys.argv[1]
layers = ["common", "platform", "transfer", "sequencer", "app", "app/win32"]  # bottom first
def layer_of(path):
    relative = os.path.relpath(path, src).replace(os.sep, "/")
    ranks = [rank for rank, name in enumerate(layers) if relative.startswith(name + "/")]
    return max(ranks) if ranks else None  # the deepest directory: app/win32 before app
include = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
count, upward = 0, 0
for directory, _, names in sorted(os.walk(src)):
    for name in sorted(n for n in names if n.endswith((".h", ".cpp"))):
        path = os.path.join(directory, name)
        own = layer_of(path)
        for number, line in enumerate(open(path, encoding="utf-8"), 1):
            match = include.match(line)
            # "..." is found beside the file or from src/, <...> from src/ only;
            # elsewhere (the system, res/, generated) it is no layer's.
            bases = (directory, src) if match and match.group(1) == '"' else (src,)
            found = [os.path.normpath(os.path.join(base, match.group(2)))
                     for base in bases] if match else []
            target = next((t for t in found if os.path.isfile(t)), None)
            if target is None or not target.startswith(src + os.sep):
                continue
            count += 1
            theirs = layer_of(target)
            if own is None or theirs is None or theirs > own:
                upward += 1
                where = os.path.relpath(path, os.path.dirname(src))
                print(f"{where}:{number}: includes {match.group(2)} from a layer above "
                      f"(order, bottom first: {', '.join(layers)})")
print(f"{count} includes, {upward} upward")
sys.exit(1 if upward else 0)
EOF
    printf 'layering: %s\n' "$(tail -n 1 "$work/layering.out")"
    if ((status != 0)); then
        head -n -1 "$work/layering.out"
        failed=1
    fi
}

# What each program imports, 64-bit and 32-bit, as "dll function" lines.
imports_of() { # EXE
    LC_ALL=C x86_64-w64-mingw32-objdump -p "$1" | awk '
        /^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
        /^[[:space:]]*$/ { dll = "" }
        dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll, $3 }' | LC_ALL=C sort -u
}

# The list of what Windows 7 SP1 of EXE's architecture is known to export
# (scripts/windows7-imports-x86-64.txt or windows7-imports-x86.txt), chosen by
# the program's own file format rather than by its preset, so that a program
# is never held to the other architecture's list.
windows7_list_of() { # EXE
    case $(LC_ALL=C x86_64-w64-mingw32-objdump -f "$1" | sed -n 's/.*file format //p') in
        pei-x86-64) echo scripts/windows7-imports-x86-64.txt ;;
        pei-i386) echo scripts/windows7-imports-x86.txt ;;
        *) return 1 ;;
    esac
}

# Windows 7 SP1 is the floor for both programs: every function each imports is
# in the list of its architecture, the functions known to be there. And no
# DLL they import is ever taken from the program's folder, where a planted
# copy could stand in for it: each is a KnownDLL of Windows 7 (loaded from
# System32 whatever lies beside the program), or comctl32, which the
# manifest's dependency takes from the system's side-by-side store.
known_dlls='^(advapi32|gdi32|kernel32|msvcrt|shell32|user32|ws2_32)\.dll$'
check_imports() {
    local preset exe list count missing status=0
    for preset in windows windows-x86; do
        [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
        cmake --build "build/$preset" --target EthBoxVup >/dev/null || {
            echo "imports ($preset): EthBoxVup.exe does not build"
            failed=1
            continue
        }
        exe=build/$preset/src/app/win32/EthBoxVup.exe
        list=$(windows7_list_of "$exe") || {
            echo "imports ($preset): $exe is neither an x86-64 nor an x86 program"
            failed=1
            continue
        }
        imports_of "$exe" >"$work/imports-$preset"
        count=$(wc -l <"$work/imports-$preset")
        missing=$(LC_ALL=C comm -23 "$work/imports-$preset" \
            <(grep -v '^#' "$list" | LC_ALL=C sort -u))
        local dlls outside
        dlls=$(cut -d ' ' -f 1 "$work/imports-$preset" | sort -u)
        outside=$(grep -Ev "$known_dlls" <<<"$dlls" | grep -vx 'comctl32.dll' || true)
        if grep -qx 'comctl32.dll' <<<"$dlls" &&
            ! grep -q 'Microsoft.Windows.Common-Controls' res/EthBoxVup.manifest.in; then
            outside+=" comctl32.dll (the manifest names no Common-Controls dependency)"
        fi
        printf 'imports (%s): %d functions from %s\n' "$preset" "$count" "$(paste -sd ' ' <<<"$dlls")"
        if ((count == 0)); then
            echo "  none found: has objdump's output changed?"
            status=1
        fi
        if [[ -n $missing ]]; then
            echo "  not known to be in Windows 7 SP1 of its architecture ($list):"
            sed 's/^/    /' <<<"$missing"
            status=1
        fi
        if [[ -n ${outside// /} ]]; then
            echo "  DLLs that Windows may take from the program's folder: $outside"
            status=1
        fi
    done
    ((status == 0)) || failed=1
}

# clang-tidy over one database; extra arguments go to every compilation.
run_clang_tidy() {
    local name=$1 database=$2
    shift 2
    local extra=()
    for argument in "$@"; do
        extra+=("--extra-arg=$argument")
    done
    local path digest key status=0 all=0
    : >"$work/$name.files"
    : >"$work/$name.keys"
    sources_of "$database" >"$work/$name.sources" || {
        echo "clang-tidy ($name): no translation unit of src/ or tools/ in $database"
        failed=1
        return
    }
    while IFS=$'\t' read -r digest path; do
        all=$((all + 1))
        key=$(tidy_key "$name" "${path#"$root"/}" "$digest" "$@")
        if [[ ! -e $tidy_cache/$key ]]; then
            echo "$path" >>"$work/$name.files"
            echo "$key" >>"$work/$name.keys"
        fi
    done <"$work/$name.sources"
    : >"$work/$name.out"
    if [[ -s $work/$name.files ]]; then
        xargs -d '\n' -a "$work/$name.files" -P "$jobs" -n 1 \
            clang-tidy-14 --quiet -p "$database" "${extra[@]}" >"$work/$name.out" 2>"$work/$name.err" ||
            status=$?
    fi
    # A header included by several files is reported once.
    grep -E '^[^ ].*: (warning|error): ' "$work/$name.out" | sort -u >"$work/$name.findings" || true
    local count
    count=$(wc -l <"$work/$name.findings")
    printf 'clang-tidy (%s): %d files, %d of them found clean before with the same inputs, %d findings\n' \
        "$name" "$all" $((all - $(wc -l <"$work/$name.files"))) "$count"
    if ((status == 0 && count == 0)); then
        mkdir -p "$tidy_cache"
        (cd "$tidy_cache" && xargs -r touch) <"$work/$name.keys"
    else
        cat "$work/$name.findings"
        ((count != 0)) || grep -v 'warnings\? generated\.$' "$work/$name.err" >&2 || true
        failed=1
    fi
}

# warning, style, performance and portability: everything but the "information"
# notes about headers it was not given. Suppressed throughout, one reason each:
suppressions=(
    # A loop that returns the first fitting row of a small constant table reads
    # as plainly as std::find_if; rewritten so, cppcheck 2.10 then mistakes the
    # rows' fields for unused members.
    --suppress=useStlAlgorithm
)

run_cppcheck() {
    local name=$1 database=$2
    shift 2
    local status=0
    # --file-filter matches paths as the database gives them, relative to here.
    cppcheck --project="$database/compile_commands.json" --file-filter='src/*' --file-filter='tools/*' \
        --std=c++17 --enable=warning,style,performance,portability --inline-suppr \
        "${suppressions[@]}" --error-exitcode=1 --quiet -j "$jobs" \
        --template='{file}:{line}:{column}: {severity}: {message} [{id}]' "$@" \
        >"$work/cppcheck-$name.out" 2>&1 || status=$?
    local count
    count=$(grep -c ': \(error\|warning\|style\|performance\|portability\): ' "$work/cppcheck-$name.out" || true)
    printf 'cppcheck (%s): %d findings\n' "$name" "$count"
    if ((status != 0 || count != 0)); then
        cat "$work/cppcheck-$name.out"
        failed=1
    fi
}

# The program and the simulator are built as C++17 and must compile as C++20
# as well: each translation unit of a database, compiled by its own command
# with -std=c++20 instead, front end only (what C++20 changes is language).
compile_as_cxx20() {
    local name=$1 database=$2
    local status=0
    # A file that compiled as C++20 before, with the same inputs (see
    # tidy_key), is not compiled again.
    python3 - "$database/compile_commands.json" "$root" "$jobs" "$tidy_cache" "$inputs_digest-c++20-$name" \
        >"$work/cxx20-$name.out" 2>&1 <<'EOF' ||
import concurrent.futures, hashlib, json, os, pathlib, shlex, subprocess, sys
database, root, jobs, cache, inputs = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
commands = {}
for entry in json.load(open(database)):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    relative = os.path.relpath(path, root)
    if not (relative.startswith(("src/", "tools/")) and relative.endswith(".cpp")):
        continue
    words, skip = [], False
    for word in shlex.split(entry["command"]):
        if skip or word == "-o":
            skip = not skip
            continue
        words.append("-std=c++20" if word.startswith("-std=") else word)
    if "-std=c++20" not in words:
        words.insert(1, "-std=c++20")
    commands[relative] = (entry["directory"], words + ["-fsyntax-only"])
def key_of(relative):
    directory, words = commands[relative]
    text = "\n".join([inputs, relative, directory] + words).replace(root, "ROOT")
    return pathlib.Path(cache, hashlib.sha256(text.encode()).hexdigest())
compiled_before = {relative for relative in commands if key_of(relative).exists()}
def compile_one(item):
    directory, words = item[1]
    return item[0], subprocess.run(words, cwd=directory, capture_output=True, text=True)
failed = 0
with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
    todo = sorted(item for item in commands.items() if item[0] not in compiled_before)
    for relative, result in pool.map(compile_one, todo):
        if result.returncode != 0:
            failed += 1
            print(f"{relative}: does not compile as C++20\n{result.stderr}")
        else:
            key_of(relative).parent.mkdir(parents=True, exist_ok=True)
            key_of(relative).touch()
print(f"{len(commands)} files, {len(compiled_before)} of them compiled before with the same inputs, {failed} failing")
sys.exit(1 if failed else 0)
EOF
        status=$?
    printf 'c++20 (%s): %s\n' "$name" "$(tail -n 1 "$work/cxx20-$name.out")"
    if ((status != 0)); then
        head -n -1 "$work/cxx20-$name.out"
        failed=1
    fi
}

mapfile -t mingw_includes < <(mingw_library_includes)
windows_args=(--target=x86_64-w64-mingw32 -nostdinc++)
for directory in "${mingw_includes[@]}"; do
    windows_args+=("-isystem$directory")
done

check_layering
check_imports
run_cppcheck posix "$native_db" --library=posix
run_cppcheck windows "$windows_db" --platform=win64 --library=windows
run_clang_tidy posix "$native_db"
run_clang_tidy windows "$windows_db" "${windows_args[@]}"
compile_as_cxx20 posix "$native_db"
compile_as_cxx20 windows "$windows_db"

if ((failed)); then
    echo "static-checks: findings above" >&2
    exit 1
fi
echo "static-checks: clean"
