#!/usr/bin/env bash
# The pictures of the windows, in English and in German: every one is written, is a PNG, the
# progress window has the size of its skin and the settings dialog at least its design size;
# once more in the second skin. Each skin's pictures come from a job started after a job in the
# other skin, whose end stored that skin's window size.
set -euo pipefail
: "${REDODORI_SCREENSHOTS:?}" "${REDODORI:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY

# Width and height of a PNG: the first two big-endian numbers of its header chunk.
size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
# A short job in the skin $1 with the folders of the pictures' job in $work/job: its end stores
# the window's size, which the store must then hold as $2.
earlier_job() {
    local job="$work/job"
    rm -rf "$job"
    mkdir -p "$job/run" "$job/earlier"
    chmod 700 "$job/run"
    printf 'earlier\n' >"$job/earlier/file"
    local stored
    stored=$(
        export REDODORI_CONFIG_DIR="$job/config" REDODORI_DATA_DIR="$job/data" \
            XDG_RUNTIME_DIR="$job/run" REDODORI_STATE_DIR="$job/state" \
            XDG_CONFIG_HOME="$job/xdg-config" REDODORI_FAKE_POWEROFF="$job/poweroff"
        "$REDODORI_REG" set-text 'SOFTWARE\DiraRedi\RedoDori\local' Skin "$1"
        timeout 60 "$REDODORI" "|$job/earlier/file|$job/earlier-copy/|e" 2>/dev/null
        printf '%sx%s' "$("$REDODORI_REG" get 'SOFTWARE\DiraRedi\RedoDori' F2_Width)" \
            "$("$REDODORI_REG" get 'SOFTWARE\DiraRedi\RedoDori' F2_Height)"
    ) || setup_failed "the job in $1 before the pictures"
    [ "$stored" = "$2" ] || setup_failed "the job in $1 stored a window of $stored"
}
# Once in the built-in English, once in German, after a job in Midnight: the larger stored size
# leaves the skin's picture as it is, and the dialog's layout its texts.
for language in "" german.lng; do
    shots="$work/shots${language:+-$language}"
    earlier_job Midnight 320x150
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
    IFS=x read -r width height <<<"$(size "$shots/settings_dialog.png")"
    [ "$width" -ge 473 ] && [ "$height" -ge 473 ] ||
        fail "the settings dialog is ${width}x$height"
done
# The second shipped skin after a job in the first: its own background, shaped, whole, and its
# framed queue window.
earlier_job Default 297x137
timeout 120 "$REDODORI_SCREENSHOTS" "$work/midnight" "$work/job" "" Midnight >"$work/out" 2>"$work/err" ||
    fail "the pictures in Midnight were not made: $(cat "$work/err")"
[ "$(size "$work/midnight/progress_window.png")" = 320x150 ] ||
    fail "the Midnight progress window is $(size "$work/midnight/progress_window.png")"
[ -s "$work/midnight/queue_window.png" ] || fail "no queue window in Midnight"
! grep -q "skin" "$work/err" || fail "the shipped skin has problems: $(cat "$work/err")"
[ ! -e "$work/job/poweroff" ] || fail "the countdown reached the power-off"
echo "screenshots: all checks passed"
