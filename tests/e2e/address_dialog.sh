#!/usr/bin/env bash
# The address dialog: its texts, the proposed address for each device kind,
# its place on the screen, and the three ways to close it.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Checks the open dialog's texts, controls and placement; $1 is the proposed address.
check_dialog() {
    local address=$1 state controls
    expect_address_dialog_texts "$address"
    state=$(driver window-state "${MAIN[@]}")
    expect_eq "$(value_of visible <<<"$state")" 1 "dialog visible"

    # Tab order and kinds as the template gives them.
    controls=$(driver controls "${MAIN[@]}" | sed 's/\tstyle=[^\t]*//; s/\ttext=.*//')
    expect_eq "$controls" $'id=1\tclass=Button\tvisible=1\tenabled=1
id=2\tclass=Button\tvisible=1\tenabled=1
id=65535\tclass=Static\tvisible=1\tenabled=1
id=1005\tclass=Edit\tvisible=1\tenabled=1
id=65535\tclass=Static\tvisible=1\tenabled=1' "controls"

    # Centred on the desktop, each coordinate rounded toward zero.
    local rect desktop left top right bottom width height
    rect=$(value_of rect <<<"$state")
    desktop=$(driver desktop-rect)
    IFS=, read -r left top right bottom <<<"$rect"
    IFS=, read -r _ _ width height <<<"$desktop"
    expect_eq "$left,$top" "$(((width - (right - left)) / 2)),$(((height - (bottom - top)) / 2))" \
        "dialog position ($rect on $desktop)"
}

step "/type_ap: proposes 192.168.0.202; 終了 ends it with 0"
start_app /fm1:fw.bin /type_ap
check_dialog 192.168.0.202
mkdir -p "$ARTIFACTS"
driver screenshot "${MAIN[@]}" --out "$WORK/address-dialog.bmp"
convert "$WORK/address-dialog.bmp" "$ARTIFACTS/address-dialog-ap.png"
echo "screenshot: $ARTIFACTS/address-dialog-ap.png"
driver click "${MAIN[@]}" --id 2
expect_app_exit 0
driver wait-gone --title "$TITLE" || fail "the dialog outlived its process"

step "/type_e2: proposes 192.168.0.203; Esc ends it with 0"
start_app /TYPE_E2 /fm1:fw.bin
check_dialog 192.168.0.203
driver key "${MAIN[@]}" --vk 0x1B
expect_app_exit 0

step "both kinds given: ap wins; the close box ends it with 0"
start_app /type_e2 /fm1:fw.bin /type_ap
check_dialog 192.168.0.202
driver close "${MAIN[@]}"
expect_app_exit 0

step "a quoted program name ends at its closing quote, whatever follows; the one window it shows is seen"
driver launch --app "$APP" --cmdline '"C:\tools\EthBoxVup.exe"/type_e2 /fm1:fw.bin' \
    --wait --watch-windows --timeout 20000 >"$WORK/launch.out" &
launcher=$!
expect_eq "$(driver get-text "${MAIN[@]}" --id 1005 --timeout 10000)" 192.168.0.203 \
    "proposed address after an option glued to the quoted name"
driver click "${MAIN[@]}" --id 2
wait "$launcher" || fail "the program did not end after 終了"
expect_eq "$(value_of exit-code <"$WORK/launch.out")" 0 "exit code"
expect_eq "$(value_of windows-seen <"$WORK/launch.out")" 1 "windows seen"

echo "PASS"
