#!/usr/bin/env bash
# Whole updates, start to finish: the progress window on the address dialog's
# corner, S1, S2 and S3 in turn, the bar through the transfer and the ten
# seconds of flash writing with 中止 greyed out, M6, exit code 0, and on the
# wire exactly the datagrams of the update, the device keeping the file.
# Every text reads right under the Japanese and the Western code page, and the
# firmware is found in a folder whose name that code page cannot hold, or
# whose path is longer than MAX_PATH. A name with a character the code page
# lacks names no file, never a look-alike: such a road ends in M1 with nothing
# sent, though the file it looks like lies beside the program.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$ROOT/tests/e2e/update-lib.sh"

# Every step of the bar spans several blocks, the last one too (59 whole
# blocks, 30500 bytes, make nine steps of six blocks and six more before the
# end); the smallest image's steps (two blocks each) are the native tests' to
# count.
# The command line's name is lower-cased in the code page of the row, which
# is why the file is named as it is. The file is the one the device gets at
# M6, and the look-alike it must not get at M1. Every road leaves its line in
# the record beside the program.
deep=Größe/$(printf 'd%.0s' {1..130})/$(printf 'e%.0s' {1..130})
# name | options | simulated device | image size | probe | code page | folder | file | end
ROADS=(
    "ap with the probe, the largest image, a device that answers the first four probes empty|/fm1:fw.bin /type_ap|--kind ap --empty-replies 4|188415|yes|932|program|fw.bin|M6"
    "e2 with the probe|/fm1:fw.bin /type_e2|--kind e2|45668|yes|932|program|fw.bin|M6"
    "/chkoff: no probe, so a device without /info.sys is updated too|/fm1:fw.bin /type_e2 /chkoff|--kind none|30500|no|932|program|fw.bin|M6"
    "Western code page, a Japanese folder, a name with a letter of that code page|/fm1:FÄ.bin /type_ap|--kind ap|30500|yes|1252|ファームウェア|fä.bin|M6"
    "Western code page, a folder of that code page, its path longer than MAX_PATH|/fm1:fw.bin /type_e2 /chkoff|--kind e2|30500|no|1252|$deep|fw.bin|M6"
    "Japanese code page, a folder with letters outside it|/fm1:fw.bin /type_e2|--kind e2|30500|yes|932|Größe|fw.bin|M6"
    "Japanese code page, a Japanese folder and name|/fm1:ファーム.BIN /type_ap|--kind ap|30500|yes|932|ファームウェア|ファーム.bin|M6"
    "Western code page, a full-width name beside its ASCII look-alike|/fm1:ｆｗ.bin /type_ap /chkoff|--kind ap|5120|no|1252|program|fw.bin|M1"
    "Japanese code page, a full-width name beside its ASCII look-alike|/fm1:ｆｗ.bin /type_ap /chkoff|--kind ap|5120|no|932|program|fw.bin|M1"
    "Japanese code page, a name with ¥ (U+00A5) beside a folder fw with 1.bin|/fm1:fw¥1.bin /type_e2 /chkoff|--kind e2|5120|no|932|yen|fw/1.bin|M1"
    "Western code page, the same name, no file of it|/fm1:fw¥1.bin /type_e2 /chkoff|--kind e2|5120|no|1252|yen|fw/1.bin|M1"
    "/ip: and /quiet: no dialog, no message, exit code 0|/fm1:fw.bin /type_e2 /ip:127.0.0.1 /quiet|--kind e2|45668|yes|932|program|fw.bin|M6"
)

# Why M1: a name no file can have, or none found where the program looked.
NOT_READ='^ファイル(名として使えない名前です|が見つかりません。ファイルの場所: Z:.+)$'

# What the progress window shows through a whole update of SIZE bytes.
expected_road_events() {
    local size=$1 position whole=$(($1 / 512))
    # One step for the acknowledged write request, then one per
    # floor(whole / 10) + 1 acknowledged blocks.
    local steps=$((1 + whole / (whole / 10 + 1)))
    printf '%s\n' "status=$S1" "position=0" "cancel=enabled" "status=$S2"
    for ((position = 10; position <= steps * 10; position += 10)); do
        echo "position=$position"
    done
    printf '%s\n' "status=$S3" "position=0" "cancel=disabled"
    for ((position = 10; position <= 100; position += 10)); do
        echo "position=$position"
    done
    echo "message icon=none text=$M6"
}

# Each empty answer to the probe makes the program send its read request again.
expected_retries() {
    local switches=$1 count
    [[ $switches =~ --empty-replies\ ([0-9]+) ]] || return 0
    for ((count = 0; count < BASH_REMATCH[1]; count++)); do
        echo ':69 RRQ file=/info.sys mode=octet'
    done
}

for road in "${ROADS[@]}"; do
    IFS='|' read -r name options switches size probe code_page folder file end <<<"$road"
    step "$name: $options, device $switches, $size bytes, code page $code_page, in $folder/$file, to $end"
    place_program "$folder" "$file"
    rm -f "$(record_beside)"
    make_firmware "$size"
    start_sim road $switches
    # shellcheck disable=SC2086 # the options are separate arguments
    ETHBOX_WINE_LOCALE=$(locale_of_code_page "$code_page") start_app $options
    wire=$(
        expected_retries "$switches"
        expected_wire "$size" "$probe"
    )

    # With /ip: and /quiet there is no window to work and no message: the
    # program ends by itself with the outcome's code, which it could not do
    # while a message box waited for its OK.
    if [[ $options == */ip:* ]]; then
        expect_app_exit 0 60
        expect_wire road "$wire" "the datagrams the device received"
        expect_image_kept road
        expect_record "$(record_beside)" 1 0 "^$((size / 512 + 1))ブロックを[0-9]+\.[0-9]秒で転送$"
        stop_sim road
        continue
    fi

    [[ $options == */type_ap* ]] && proposed=192.168.0.202 || proposed=192.168.0.203
    expect_address_dialog_texts "$proposed"
    type_address 127.0.0.1
    dialog_rect=$(driver window-state "${MAIN[@]}" --timeout 10000 | value_of rect)

    if [[ $end == M1 ]]; then
        run_update road
        expect_message road exclamation "$M1" "$NOT_READ"
        expect_eq "$(received road)" "" "the datagrams the device received"
        expect_dialog_back 127.0.0.1
        driver click "${MAIN[@]}" --id 2
        expect_app_exit 0
        expect_record "$(record_beside)" 1 1 "$NOT_READ"
        stop_sim road
        continue
    fi

    run_update road
    expect_eq "$(events road)" "$(expected_road_events "$size")" "what the progress window showed"
    IFS=, read -r left top _ <<<"$dialog_rect"
    IFS=, read -r progress_left progress_top _ <<<"$(sed -n 's/^[0-9]* rect=//p' "$WORK/road.watch" | head -n 1)"
    expect_eq "$progress_left,$progress_top" "$left,$top" \
        "the progress window's top-left corner on the address dialog's ($dialog_rect)"
    expect_app_exit 0
    expect_wire road "$wire" "the datagrams the device received"
    expect_image_kept road
    expect_record "$(record_beside)" 1 0 "^$((size / 512 + 1))ブロックを[0-9]+\.[0-9]秒で転送$"
    echo "M6 $(time_of road 'message') ms after the click on 開始; transfer done at $(time_of road "status=$S3") ms"
    stop_sim road
done

step "three boxes side by side, one command: each keeps the image, its window titled with its address" \
    "in a tile of its own; three lines in the record; an old list to retry removed"
place_program program fw.bin
rm -f "$(record_beside)"
printf '# an earlier round\r\n127.0.0.9\r\n' >"$(dirname "$APP")/EthBoxVup-retry.txt"
make_firmware 30500
boxes=(127.0.0.1 127.0.0.2 127.0.0.3)
for box in "${boxes[@]}"; do
    start_sim "box-$box" --bind "$box" --kind e2
done
start_app /fm1:fw.bin /type_e2 /ip:127.0.0.1,127.0.0.2,127.0.0.3 /quiet
rects=()
for box in "${boxes[@]}"; do
    state=$(driver window-state --title "$box - $TITLE" --with-id 1051 --timeout 20000) ||
        fail "no progress window titled with $box"
    rects+=("$(value_of rect <<<"$state")")
done
python3 - "${rects[@]}" <<'PYTHON' || fail "the boxes' windows overlap: ${rects[*]}"
import itertools, sys
rects = [tuple(map(int, rect.split(","))) for rect in sys.argv[1:]]
sys.exit(any(a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]
             for a, b in itertools.combinations(rects, 2)))
PYTHON
expect_app_exit 0 90
for box in "${boxes[@]}"; do
    expect_wire "box-$box" "$(expected_wire 30500 yes)" "the datagrams $box received"
    expect_image_kept "box-$box"
    stop_sim "box-$box"
done
expect_box_lines "$(record_beside)" 127.0.0.1=0 127.0.0.2=0 127.0.0.3=0
[[ ! -e $(dirname "$APP")/EthBoxVup-retry.txt ]] || fail "a round in which every box completed left a list to retry"

echo "PASS"
