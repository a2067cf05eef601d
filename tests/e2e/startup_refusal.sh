#!/usr/bin/env bash
# An incomplete command line ends the program at once with -1 (255 to Linux)
# and shows nothing.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

step "incomplete lines as Wine builds them from arguments: exit status 255"
for args in "" "/type_ap" "/fm1:fw.bin" "/fm1:fw.bin /type_ab" "/FM1 fw.bin /TYPE_E2"; do
    status=0
    # shellcheck disable=SC2086 # each line is split into arguments on purpose
    wine_run "$APP" $args || status=$?
    expect_eq "$status" 255 "exit status for [$args]"
done

# Exact command lines, program name included, as the system hands them over,
# under the code page of the row.
long_name=$(printf 'f%.0s' {1..260})
refused_lines=(
    '932|EthBoxVup.exe'
    '932|EthBoxVup.exe /type_e2'
    '932|EthBoxVup.exe /fm1:fw.bin'
    '932|EthBoxVup.exe /fm1fw.bin /type_ap'
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
    result=$(ETHBOX_WINE_LOCALE=$(locale_of_code_page "$code_page") \
        driver launch --app "$APP" --cmdline "$line" --wait --watch-windows --timeout 10000) ||
        fail "the program did not end by itself for [$line] under code page $code_page"
    expect_eq "$(value_of exit-code <<<"$result")" -1 "exit code for [$line]"
    expect_eq "$(value_of windows-seen <<<"$result")" 0 "windows shown for [$line]"
done
driver no-window --title "$TITLE" --hidden-too || fail "a window titled $TITLE is left over"

echo "PASS"
