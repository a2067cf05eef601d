#!/usr/bin/env bash
# The package for Windows users, made by scripts/package.sh from this build,
# 32-bit or 64-bit: its name tells the program's architecture, its checksum
# file checks it, its name, read-me and program carry one version, the
# read-me opens right in Notepad and explains every message the program
# shows, and the program unpacked from it starts.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# win32 or win64 and the manifest's name for it, from objdump, which reads
# 32-bit (pei-i386) programs as well; so does objcopy below.
architecture_of() { # EXE
    case $(LC_ALL=C x86_64-w64-mingw32-objdump -f "$1") in
    *"file format pei-i386"*) echo "win32 x86" ;;
    *"file format pei-x86-64"*) echo "win64 amd64" ;;
    *) fail "$1 is neither a pei-i386 nor a pei-x86-64 program" ;;
    esac
}
kind=$(architecture_of "$APP") || exit 1
read -r arch manifest_arch <<<"$kind"

step "package this build ($arch)"
"$ROOT/scripts/package.sh" --exe "$APP" --out "$WORK/package" >/dev/null || fail "packaging failed"
files=$(cd "$WORK/package" && find . -mindepth 1 -printf '%P\n' | sort | tr '\n' ' ')
[[ $files =~ ^EthBoxVup-([0-9]+\.[0-9]+\.[0-9]+)-$arch\.zip\ SHA256SUMS\ $ ]] ||
    fail "package.sh wrote [$files], not EthBoxVup-MAJOR.MINOR.PATCH-$arch.zip and SHA256SUMS"
version=${BASH_REMATCH[1]}
zip_name=EthBoxVup-$version-$arch.zip
echo "version $version"

step "SHA256SUMS checks the package"
expect_eq "$(cd "$WORK/package" && LC_ALL=C sha256sum -c SHA256SUMS)" "$zip_name: OK" "sha256sum -c"

step "it holds the program of that architecture, the read-me and the licence, and nothing else"
unzip -q "$WORK/package/$zip_name" -d "$WORK/unpacked" || fail "the package does not unzip"
expect_eq "$(cd "$WORK/unpacked" && find . -mindepth 1 | sort | tr '\n' ' ')" \
    "./EthBoxVup.exe ./LICENSE.txt ./README.txt " "contents"
unpacked=$WORK/unpacked/EthBoxVup.exe
expect_eq "$(architecture_of "$unpacked")" "$arch $manifest_arch" "the packaged program's architecture"

step "the program's version resource and manifest carry the package's version and architecture"
resource=$("$ROOT/scripts/exe-version.sh" "$unpacked") || fail "no version resource"
for key in file-version product-version file-version-text product-version-text; do
    expect_eq "$(value_of "$key" <<<"$resource")" "$version.0" "$key"
done
x86_64-w64-mingw32-objcopy -O binary --only-section=.rsrc "$unpacked" "$WORK/rsrc.bin"
expect_eq "$(grep -aoE 'name="EthBoxVup" version="[0-9.]+" processorArchitecture="[a-z0-9]+"' "$WORK/rsrc.bin")" \
    "name=\"EthBoxVup\" version=\"$version.0\" processorArchitecture=\"$manifest_arch\"" \
    "manifest's assembly identity"

# Notepad text: UTF-8 with a byte-order mark, every line ending in CRLF.
# Prints the text without them.
notepad_text() { # FILE
    local file=$1 name
    name=$(basename "$file")
    expect_eq "$(head -c 3 "$file" | od -An -tx1 | tr -d ' ')" efbbbf "$name's byte-order mark"
    iconv -f UTF-8 -t UTF-8 "$file" >/dev/null || fail "$name is not UTF-8"
    local lines crlf_lines
    lines=$(tr -cd '\n' <"$file" | wc -c)
    crlf_lines=$(grep -c $'\r$' "$file")
    expect_eq "$crlf_lines" "$lines" "$name's lines ending in CRLF"
    [[ $(tail -c 1 "$file" | od -An -tx1 | tr -d ' ') == 0a ]] || fail "$name's last line has no line end"
    tail -c +4 "$file" | tr -d '\r'
}

step "the read-me and the licence open right in Notepad"
readme=$(notepad_text "$WORK/unpacked/README.txt") || exit 1
expect_eq "$(head -n 1 <<<"$readme")" "EthBoxVup $version" "read-me's first line"
licence=$(notepad_text "$WORK/unpacked/LICENSE.txt") || exit 1
expect_eq "$licence" "$(cat "$ROOT/LICENSE")" "licence"
grep -q '^Copyright (c) 2026 EthBoxVup developers$' <<<"$licence" || fail "licence's copyright line"

step "the read-me shows every message of the program, in both languages"
# Each message is written in the source's clang-format off block as adjacent
# "..." literals, one a line, ending in a full stop; the read-me quotes it
# line by line under a "■ ".
messages=$(awk '/clang-format off/ { texts = 1 } /clang-format on/ { texts = 0 }
                texts && /"/ { collecting = 1 } collecting { statement = statement $0 }
                collecting && /;/ { print statement; statement = ""; collecting = 0 }' \
    "$ROOT/src/common/ui_texts.cpp" |
    while IFS= read -r statement; do
        grep -o '"[^"]*"' <<<"$statement" | sed 's/^"//; s/"$//' | tr -d '\n'
        echo
    done | grep '。$')
count=$(wc -l <<<"$messages")
((count >= 8)) || fail "found $count messages in ui_texts.cpp, expected 8: has its form changed?"
while IFS= read -r message; do
    block="■ ${message//\\n/$'\n'  }"
    rest=${readme//"$block"/}
    occurrences=$(((${#readme} - ${#rest}) / ${#block}))
    ((occurrences >= 2)) || fail "the read-me quotes [$message] $occurrences times, not in both languages"
done <<<"$messages"

step "the program from the package shows the address dialog and ends with 終了"
APP=$unpacked start_app /fm1:fw.bin /type_e2
expect_eq "$(driver get-text "${MAIN[@]}" --id 1005 --timeout 10000)" 192.168.0.203 \
    "proposed address"
expect_eq "$(driver get-text "${MAIN[@]}" --id 2)" "終了" "button 2"
driver click "${MAIN[@]}" --id 2
expect_app_exit 0

echo "PASS"
