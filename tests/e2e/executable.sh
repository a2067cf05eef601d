#!/usr/bin/env bash
# EthBoxVup.exe as a file, 64-bit or 32-bit: a GUI program for Windows 7 and
# later that imports only DLLs every Windows has, with its manifest, version
# information, dialogs and icon.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# objdump speaks the locale's language; the patterns below are its English.
# The x86-64 objdump reads 32-bit programs too.
headers=$(LC_ALL=C x86_64-w64-mingw32-objdump -p "$APP")

# file format | PE magic | the manifest's processorArchitecture
if grep -q 'file format pei-x86-64' <<<"$headers"; then
    architecture=(x86-64 020b amd64)
elif grep -q 'file format pei-i386' <<<"$headers"; then
    architecture=(i386 010b x86)
else
    fail "neither an x86-64 nor an i386 PE file"
fi

step "PE file for ${architecture[0]}, GUI subsystem, Windows 7 (6.1) at the least"
grep -Eq "^Magic[[:space:]]+${architecture[1]}" <<<"$headers" || fail "PE magic is not ${architecture[1]}"
grep -Eq '^Subsystem[[:space:]]+0+2[[:space:]]' <<<"$headers" || fail "not the GUI subsystem (2)"
expect_eq "$(awk '/^MajorSubsystemVersion/ { major = $2 } /^MinorSubsystemVersion/ { minor = $2 }
                  END { print major "." minor }' <<<"$headers")" 6.1 "subsystem version"

step "imports only from the allowed DLLs"
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[[ -n "$imports" ]] || fail "no imports found: objdump's output has changed?"
allowed='^(kernel32|user32|gdi32|comctl32|ws2_32|advapi32|shell32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$'
while read -r dll; do
    grep -Eiq "$allowed" <<<"$dll" || fail "imports $dll, which is not in the allowed set"
done <<<"$imports"
echo "imports: $(tr '\n' ' ' <<<"$imports")"

step "resources: manifest, version, dialogs 102 and 119, icon 103"
# objdump lists the resource tree as Type, Name and Language entries, one a line.
tree=$(sed -n '/The .rsrc Resource Directory section/,/Resources start at offset/p' <<<"$headers")
[[ -n "$tree" ]] || fail "no resource section"
# TYPE/ID of each resource: type entries are indented by 3 blanks, name entries by 5.
resources=$(while IFS= read -r line; do
    if [[ $line =~ ^[0-9a-f]+\ {3}Entry:\ ID:\ 0x([0-9a-f]+) ]]; then
        kind=$((16#${BASH_REMATCH[1]}))
    elif [[ $line =~ ^[0-9a-f]+\ {5}Entry:\ ID:\ 0x([0-9a-f]+) ]]; then
        echo "$kind/$((16#${BASH_REMATCH[1]}))"
    fi
done <<<"$tree")
has_resource() { # TYPE ID WHAT
    grep -qx "$1/$2" <<<"$resources" || fail "no $3 (type $1, id $2) among the resources"
}
has_resource 24 1 "application manifest"
has_resource 16 1 "version information"
has_resource 5 102 "address dialog template"
has_resource 5 119 "progress window template"
has_resource 14 103 "icon group"

rsrc=$WORK/rsrc.bin
x86_64-w64-mingw32-objcopy -O binary --only-section=.rsrc "$APP" "$rsrc"
hex() { od -An -tx1 -v | tr -d ' \n'; }
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | hex; }
section=$(hex <"$rsrc")
contains_utf16() { [[ "$section" == *"$(utf16 "$1")"* ]] || fail "the resources lack the UTF-16 text [$1]"; }
contains_utf16 "ETHERNETボックスバージョンアップ"
contains_utf16 "ＭＳ Ｐゴシック"
contains_utf16 "中止"
contains_utf16 "041104b0"
manifest=$(strings -n 8 "$rsrc")
for needle in "processorArchitecture=\"${architecture[2]}\"" 'Microsoft.Windows.Common-Controls' 'PerMonitorV2, PerMonitor' 'true/pm' \
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
    grep -qF -- "$needle" <<<"$manifest" || fail "the manifest lacks $needle"
done

step "icon 103: one 32x32 image with a 256-colour palette"
icon=$ROOT/res/EthBoxVup.ico
# ICONDIR (reserved 0, type 1, count 1), then the entry: 32, 32, 0 colours (= 256), 0, 1 plane, 8 bits.
expect_eq "$(head -c 14 "$icon" | hex)" "000001000100""2020""0000""0100""0800" "icon directory"
# The image's own header agrees: 40-byte BITMAPINFOHEADER, 32 wide, 64 high (image and mask), 8 bits.
offset=$(od -An -tu4 -j 18 -N 4 "$icon" | tr -d ' ')
expect_eq "$(tail -c +$((offset + 1)) "$icon" | head -c 16 | hex)" \
    "28000000""20000000""40000000""0100""0800" "icon image header"

echo "PASS"
