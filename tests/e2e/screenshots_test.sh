#!/usr/bin/env bash
# The pictures of the windows, in English and in German: every one is written, is a PNG, and the
# progress window and the settings dialog have the sizes of their layouts; once more in the
# second skin.
set -euo pipefail
: "${REDODORI_SCREENSHOTS:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY

# Width and height of a PNG: the first two big-endian numbers of its header chunk.
size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
# Once in the built-in English, once in German: the fixed layouts keep their sizes.
for language in "" german.lng; do
    shots="$work/shots${language:+-$language}"
    rm -rf "$work/job"
    timeout 120 "$REDODORI_SCREENSHOTS" "$shots" "$work/job" $language >"$work/out" 2>"$work/err" ||
        fail "the pictures were not made: $(cat "$work/err")"
    for name in progress_window queue_window exists_prompt error_prompt shutdown_countdown chooser \
        resume_manager resume_item settings_dialog settings_dialog_network settings_general \
        settings_on_complete settings_on_error settings_if_exists; do
        file="$shots/$name.png"
        [ -s "$file" ] || fail "no $name.png"
        [ "$(head -c 8 "$file" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$name.png is not a PNG"
    done
    [ "$(size "$shots/progress_window.png")" = 297x137 ] ||
        fail "the progress window is $(size "$shots/progress_window.png")"
    [ "$(size "$shots/settings_dialog.png")" = 473x473 ] ||
        fail "the settings dialog is $(size "$shots/settings_dialog.png")"
done
# The second shipped skin: its own background, shaped, and its framed queue window.
rm -rf "$work/job"
timeout 120 "$REDODORI_SCREENSHOTS" "$work/midnight" "$work/job" "" Midnight >"$work/out" 2>"$work/err" ||
    fail "the pictures in Midnight were not made: $(cat "$work/err")"
[ "$(size "$work/midnight/progress_window.png")" = 320x150 ] ||
    fail "the Midnight progress window is $(size "$work/midnight/progress_window.png")"
[ -s "$work/midnight/queue_window.png" ] || fail "no queue window in Midnight"
! grep -q "skin" "$work/err" || fail "the shipped skin has problems: $(cat "$work/err")"
[ ! -e "$work/job/poweroff" ] || fail "the countdown reached the power-off"
echo "screenshots: all checks passed"
