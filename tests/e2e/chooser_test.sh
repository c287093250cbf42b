#!/usr/bin/env bash
# A job without a target on a real display: the destination chooser opens at the last
# destination, shows the job's size once the sources are listed, and starts the job with the
# folders picked with the keyboard (two at once, or one typed that does not exist yet); closing
# it ends the job without touching anything.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"
start_display

setup mkdir -p "$work/src/sub" "$work/dest/a" "$work/dest/b"
setup head -c 300000 /dev/urandom >"$work/src/big"
printf 'small\n' >"$work/src/sub/small"
key='SOFTWARE\DiraRedi\RedoDori'
history="$REDODORI_DATA_DIR/history.txt"

# Runs the job without a target, waits for the chooser (CAPTION matches its title), gives it
# the keyboard, runs the command ANSWER and waits for the job to end; its stderr goes to
# $work/err, its status to `status`.
run_chooser() {
    local caption=$1 answer=$2
    "$REDODORI" "|$work/src||e" >"$work/out" 2>"$work/err" &
    local job=$!
    pids+=("$job")
    if [ -z "$(focus_window "$caption")" ]; then
        bad "no chooser titled '$caption' appeared: $(cat "$work/err")"
        kill "$job" 2>/dev/null || true
    else
        $answer
    fi
    wait_job "$job"
}

# Two folders: the last destination is pre-selected and Shift+Down adds the one below it. The
# title waits for the listed size (300,006 bytes).
pick_two() { xdotool key shift+Down Return; }
setup "$REDODORI_REG" set-text "$key" LastDir "$work/dest/a/"
run_chooser "^292 kb RedoDori to\.\.\.$" pick_two
check_same "two folders: exit status" 0 "$status"
check_same "two folders: summary" \
    "redodori: Copy finished: 2 of 2 files, 300006 of 300006 bytes, 0 retries, 0 skips" \
    "$(own_lines "$work/err")"
for d in a b; do
    check "copy in $d" diff -r "$work/src" "$work/dest/$d/src"
done
check_same "two folders: recent list" "$work/dest/a/?$work/dest/b/" \
    "$("$REDODORI_REG" get "$key" LastDir_0)"
check_same "two folders: last destination" "$work/dest/a/?$work/dest/b/" \
    "$("$REDODORI_REG" get "$key" LastDir)"
check "two folders: placement stored" "$REDODORI_REG" get "$key" F1_Width

# A typed destination that does not exist yet is made by the job.
type_new() { xdotool key Tab ctrl+a && xdotool type "$work/new/deep/" && xdotool key Return; }
run_chooser "RedoDori to" type_new
check_same "typed: exit status" 0 "$status"
check "typed: copy made in a new folder" diff -r "$work/src" "$work/new/deep/src"
check_same "typed: second recent entry" "$work/new/deep/" "$("$REDODORI_REG" get "$key" LastDir_1)"

# Escape closes the chooser: the job ends at once, with no history entry and no copy.
entries=$(grep -c 'Copy' "$history" 2>/dev/null || true)
rm -rf "$work/dest/a/src"
close_it() { xdotool key Escape; }
run_chooser "RedoDori to" close_it
check_same "closed: exit status" 0 "$status"
check_same "closed: the end said" \
    "redodori: Copy ended: 0 of 2 files, 0 of 300006 bytes, 0 retries, 0 skips" \
    "$(own_lines "$work/err")"
check "closed: nothing copied" test ! -e "$work/dest/a/src"
check_same "closed: no history entry" "$entries" "$(grep -c 'Copy' "$history" 2>/dev/null || true)"

finish chooser_test
