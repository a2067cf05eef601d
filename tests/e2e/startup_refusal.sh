#!/usr/bin/env bash
# An incomplete command line ends the program at once with -1 (255 to Linux)
# and shows nothing. And the first thing the program does, before anything
# that may load a DLL, is to take its own folder out of the DLL search.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

step "incomplete lines as Wine builds them from arguments: exit status 255"
for args in "" "/type_ap" "/fm1:fw.bin" "/fm1:fw.bin /type_ab" "/FM1 fw.bin /TYPE_E2"; do
    status=0
    # shellcheck disable=SC2086 # each line is split into arguments on purpose
    wine_run "$APP" $args || status=$?
    expect_eq "$status" 255 "exit status for [$args]"
done

step "a complete line whose address dialog cannot be made (no display): exit status 255, not 0"
status=0
DISPLAY=:999 timeout $((20 * ETHBOX_WAIT_SCALE)) "$ROOT/scripts/wine-exec.sh" "$APP" /fm1:fw.bin /type_e2 \
    2>/dev/null || status=$?
((status != 124)) || fail "EthBoxVup with no display did not end within $(scaled 20) s"
expect_eq "$status" 255 "exit status with no display to show the address dialog on"

# Exact command lines, program name included, as the system hands them over,
# under the code page of the row.
long_name=$(printf 'f%.0s' {1..260})
refused_lines=(
    '932|EthBoxVup.exe'
    '932|EthBoxVup.exe /type_e2'
    '932|EthBoxVup.exe /fm1:fw.bin'
    '932|EthBoxVup.exe /fm1fw.bin /type_ap'
    # /ip: takes nothing off the rule: without a kind the line is incomplete,
    # -1, before its address is looked at (which would give 8).
    '932|EthBoxVup.exe /fm1:fw.bin /ip:127.0.0.1 /quiet'
    # An option glued to an unquoted program name is part of the name.
    '932|EthBoxVup.exe/type_ap /fm1:fw.bin'
    # So is one inside a quoted program name.
    '932|"C:\tools /type_ap\EthBoxVup.exe" /fm1:fw.bin'
    # A firmware name longer than 259 bytes could open another file if cut short.
    "932|EthBoxVup.exe /type_ap /fm1:$long_name"
    # An option in full-width letters is no option, whether the code page
    # holds them or would make look-alikes of them.
    '932|EthBoxVup.exe ／ｔｙｐｅ＿ａｐ /fm1:fw.bin'
    '1252|EthBoxVup.exe ／ｔｙｐｅ＿ａｐ /fm1:fw.bin'
    '1252|EthBoxVup.exe /type_e2 ／ｆｍ１：fw.bin'
)
step "incomplete exact lines: exit code -1, no window seen while it ran"
for row in "${refused_lines[@]}"; do
    IFS='|' read -r code_page line <<<"$row"
    guard_ip_option "$line"
    result=$(ETHBOX_WINE_LOCALE=$(locale_of_code_page "$code_page") \
        driver launch --app "$APP" --cmdline "$line" --wait --watch-windows --timeout 10000) ||
        fail "the program did not end by itself for [$line] under code page $code_page"
    expect_eq "$(value_of exit-code <<<"$result")" -1 "exit code for [$line]"
    expect_eq "$(value_of windows-seen <<<"$result")" 0 "windows shown for [$line]"
done
driver no-window --title "$TITLE" --hidden-too || fail "a window titled $TITLE is left over"

# Wine's relay trace shows every call the program's own code makes into a
# system DLL, from the C runtime's start and the static initialisers on.
# Until the DLL search is narrowed (SetDefaultDllDirectories with
# LOAD_LIBRARY_SEARCH_SYSTEM32), the only calls allowed are those of
# kernel32, ntdll and msvcrt that load nothing: any other DLL's function may
# load one by name (user32 and comctl32 do, on Windows as under Wine), which
# would then be taken from the program's folder.
step "nothing that may load a DLL before the DLL search is narrowed"
trace=$WORK/relay.txt
status=0
WINEDEBUG=+loaddll,+relay wine_run "$APP" /type_ap 2>"$trace" || status=$?
expect_eq "$status" 255 "exit status of the traced run"
image_size=$(LC_ALL=C x86_64-w64-mingw32-objdump -p "$APP" | awk '$1 == "SizeOfImage" { print $2 }')
verdict=$(python3 - "$trace" "$(basename "$APP")" "$image_size" <<'EOF'
import re, sys
trace, name, size = sys.argv[1], sys.argv[2].lower(), int(sys.argv[3], 16)
loaded = re.compile(r'([0-9a-f]+):trace:loaddll:\w+ Loaded L"(.*)" at ([0-9A-Fa-f]+): native$')
call = re.compile(r'([0-9a-f]+):Call ([\w.-]+)\.(\w+)\((.*)\) ret=([0-9a-f]+)$')
harmless_dlls = ("kernel32", "kernelbase", "ntdll", "msvcrt")
def refuse(why):
    print(why)
    sys.exit(1)
loaders = ("LoadLibrary", "LoadPackagedLibrary", "LoadModule", "LdrLoadDll")
thread = base = None
narrowed = False
calls_before, others_after = 0, 0
for line in open(trace, encoding="utf-8", errors="replace"):
    line = line.rstrip("\n")
    if base is None:
        match = loaded.match(line)
        if match and match.group(2).lower().endswith("\\" + name):
            thread, base = match.group(1), int(match.group(3), 16)
        continue
    match = call.match(line)
    if not match or match.group(1) != thread or not base <= int(match.group(5), 16) < base + size:
        continue  # not a call of the program's own code
    dll, function, arguments = match.group(2).lower(), match.group(3), match.group(4)
    if narrowed:
        others_after += dll not in harmless_dlls
    elif function == "SetDefaultDllDirectories" and int(arguments, 16) == 0x800:
        narrowed = True
    elif dll not in harmless_dlls or function.startswith(loaders):
        refuse(f"called {dll}.{function} before narrowing the DLL search")
    else:
        calls_before += 1
if base is None:
    refuse("the trace does not show the program loaded: has Wine's trace changed?")
if not narrowed:
    refuse("never narrowed the DLL search to System32")
if calls_before == 0 or others_after == 0:
    refuse("the trace shows too few of the program's calls to tell: has Wine's trace changed?")
print(f"narrowed after {calls_before} calls of kernel32, ntdll and msvcrt alone")
EOF
) || fail "$verdict"
echo "$verdict"

echo "PASS"
