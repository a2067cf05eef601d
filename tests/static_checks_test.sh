#!/usr/bin/env bash
# scripts/static-checks.sh in a checkout whose path holds a blank, on a small
# project of its own with the project's presets, toolchains and .clang-tidy:
# a source added to the CMake files after the compile databases were written
# (as a pull adds one) is checked all the same, and one that no CMake file
# names is reported; once both are put right, the same checkout is clean.
#   tests/static_checks_test.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
tree="$work/a checkout"
mkdir -p "$tree/scripts" "$tree/src/common" "$tree/src/app/win32" "$tree/tools"
cp -r "$root/.clang-tidy" "$root/CMakePresets.json" "$root/cmake" "$root/res" "$tree/"
cp "$root"/scripts/static-checks.sh "$root"/scripts/windows7-imports-*.txt "$tree/scripts/"
cat >"$tree/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(Small CXX)
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
add_library(core STATIC src/common/texts.cpp)
target_include_directories(core PUBLIC src)
if(WIN32)
    add_link_options(-static)
    add_executable(EthBoxVup WIN32 src/app/win32/main.cpp)
    set_target_properties(EthBoxVup PROPERTIES RUNTIME_OUTPUT_DIRECTORY src/app/win32)
    target_link_libraries(EthBoxVup PRIVATE core)
endif()
EOF
printf '#pragma once\nnamespace small {\nint TextCount();\n}\n' >"$tree/src/common/texts.h"
printf '#include "common/texts.h"\nint small::TextCount() { return 1; }\n' >"$tree/src/common/texts.cpp"
cat >"$tree/src/app/win32/main.cpp" <<'EOF'
#include <windows.h>

#include "common/texts.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
    return MessageBoxW(nullptr, L"", L"", MB_OK) + small::TextCount();
}
EOF
find "$tree" -exec touch -d '2 minutes ago' {} +
(cd "$tree" && cmake --preset native && cmake --preset windows) >"$work/configure.log" 2>&1 ||
    fail "cannot configure: $(cat "$work/configure.log")"
export XDG_CACHE_HOME=$work/cache

# After the databases: a source with a finding that the CMake files now name,
# and one that they do not.
touch -d '1 minute ago' "$tree"/build/*/compile_commands.json
printf 'namespace small {\nint late_name() { return 2; }\n}\n' >"$tree/src/common/late.cpp"
sed -i 's|src/common/texts.cpp|& src/common/late.cpp|' "$tree/CMakeLists.txt"
echo 'int Stray() { return 3; }' >"$tree/src/common/stray.cpp"
! "$tree/scripts/static-checks.sh" >"$work/first.log" 2>&1 || fail "a finding passed: $(cat "$work/first.log")"
for line in "static-checks: configuring native again, as CMakeLists.txt changed after its compile database was written" \
    "layering: 2 includes, 0 upward" "cppcheck (posix): 0 findings" "cppcheck (windows): 0 findings" \
    "clang-tidy (posix): 2 files, 0 of them found clean before with the same inputs, 1 findings" \
    "clang-tidy (windows): 3 files, 0 of them found clean before with the same inputs, 1 findings" \
    "  src/common/stray.cpp"; do
    grep -qxF -- "$line" "$work/first.log" || fail "no [$line] in: $(cat "$work/first.log")"
done
grep -q "^$tree/src/common/late.cpp:2:5: error: invalid case style for function 'late_name'" "$work/first.log" ||
    fail "the added source's finding was not reported: $(cat "$work/first.log")"

sed -i 's/late_name/LateName/' "$tree/src/common/late.cpp"
rm "$tree/src/common/stray.cpp"
"$tree/scripts/static-checks.sh" >"$work/second.log" 2>&1 || fail "not clean: $(cat "$work/second.log")"
grep -qxF "c++20 (windows): 3 files, 0 of them compiled before with the same inputs, 0 failing" "$work/second.log" ||
    fail "the C++20 compilation did not read every file: $(cat "$work/second.log")"
echo "PASS"
