#!/usr/bin/env bash
# A source that changes while it is moved is never removed on the strength of a copy that is not
# what it holds: a log that grows, a document an editor saves by renaming a new file over it, and
# a file cut short are each reported as failed, stay where they are with all their data, and
# leave no partial copy behind. Each move goes to two destinations, so that it is copied rather
# than renamed; the job is slowed by its speed limit, and each change is made once the copy has
# begun (its first block is on the disk).
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY

MiB=1048576
# Starts a move of $1 into $work/dst/a and $work/dst/b, 1 MiB a second, errors skipped.
start_move() {
    rm -rf "$work/dst"
    mkdir -p "$work/dst/a" "$work/dst/b"
    "$REDODORI_CONSOLE" --move --limit 1M --skip-errors "$1" --to "$work/dst/a" --to "$work/dst/b" \
        </dev/null >"$work/out" 2>&1 &
    job=$!
    pids+=("$job")
}
# Waits up to 30 s until the copy $1 holds its first block.
wait_copy_begun() {
    for _ in $(seq 300); do
        [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$MiB" ] && return 0
        kill -0 "$job" 2>/dev/null || break
        sleep 0.1
    done
    setup_failed "the copy of $1 did not begin while the job ran: $(cat "$work/out")"
}
end_lines() {
    tr '\r' '\n' <"$work/out" | sed 's/, elapsed [0-9:]*, average .*$//' |
        awk '/^(Copy|Move|Delete) [a-z]+: / { on = 1 } on && !/^  Report: / { print }'
}
no_copy_left() { [ -z "$(ls -A "$work/dst/a" "$work/dst/b" | grep -v -e "^$" -e ":$")" ]; }

# A log that grows from 4 to 6 MiB while it is copied.
setup mkdir -p "$work/src"
head -c $((4 * MiB)) /dev/urandom >"$work/src/app.log"
start_move "$work/src/app.log"
wait_copy_begun "$work/dst/a/app.log"
head -c $((2 * MiB)) /dev/urandom >>"$work/src/app.log"
cp "$work/src/app.log" "$work/grown"
wait_job "$job"
check_same "grown: exit status" 1 "$status"
check "grown: the source stays whole" cmp -s "$work/grown" "$work/src/app.log"
check "grown: no partial copy is left" no_copy_left
check_same "grown: the end lines" "Move finished: 0 of 1 files, 0 of $((4 * MiB)) bytes, 0 retries, 1 skips, 1 failed
  $work/src/app.log: failed, changed while it was copied" "$(end_lines)"

# An editor's atomic save: the new version is written beside and renamed over the document.
head -c $((4 * MiB)) /dev/urandom >"$work/src/doc"
start_move "$work/src/doc"
wait_copy_begun "$work/dst/a/doc"
head -c $((3 * MiB)) /dev/urandom >"$work/src/doc.tmp"
cp "$work/src/doc.tmp" "$work/saved"
mv "$work/src/doc.tmp" "$work/src/doc"
wait_job "$job"
check_same "saved: exit status" 1 "$status"
check "saved: the new version stays" cmp -s "$work/saved" "$work/src/doc"
check "saved: no copy of the old version passes for it" no_copy_left
check_same "saved: the end lines" "Move finished: 0 of 1 files, 0 of $((4 * MiB)) bytes, 0 retries, 1 skips, 1 failed
  $work/src/doc: failed, changed while it was copied" "$(end_lines)"

# A file cut short while it is copied: its reads end early.
head -c $((4 * MiB)) /dev/urandom >"$work/src/cut"
start_move "$work/src/cut"
wait_copy_begun "$work/dst/a/cut"
truncate -s $((1 * MiB)) "$work/src/cut"
cp "$work/src/cut" "$work/shrunk"
wait_job "$job"
check_same "shrunk: exit status" 1 "$status"
check "shrunk: the source stays" cmp -s "$work/shrunk" "$work/src/cut"
check "shrunk: no partial copy is left" no_copy_left
check "shrunk: it is named" grep -qF "$work/src/cut: failed" "$work/out"

# Unchanged, the same move removes the source once its copy is whole.
head -c $((3 * MiB)) /dev/urandom >"$work/src/calm"
cp "$work/src/calm" "$work/calm"
start_move "$work/src/calm"
wait_job "$job"
check_same "calm: exit status" 0 "$status"
check "calm: moved" cmp -s "$work/calm" "$work/dst/a/calm"
check "calm: moved twice" cmp -s "$work/calm" "$work/dst/b/calm"
check "calm: the source went" test ! -e "$work/src/calm"

finish changing_sources
