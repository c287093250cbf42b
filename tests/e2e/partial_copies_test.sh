#!/usr/bin/env bash
# What a job leaves of a file it could not complete never passes for the whole file, and it
# appends to an existing destination only onto a start that is the source's: files that fail
# leave nothing, a skipped or aborted copy is left beside its resume marker and a later job with
# skip-existing goes on with it instead of keeping it, a resume onto a destination that agrees
# with the source only at the sampled bytes (or after the source changed) writes the file anew,
# and the end lines count only what was really done.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY

MiB=1048576
end_lines() {
    tr '\r' '\n' <"$1" | sed 's/, elapsed [0-9:]*, average .*$//' |
        awk '/^(Copy|Move|Delete) [a-z]+: / { on = 1 } on && !/^  Report: / { print }'
}
# Waits up to 30 s until the file $1 holds at least $2 bytes.
wait_size() {
    for _ in $(seq 300); do
        [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ] && return 0
        sleep 0.1
    done
    setup_failed "$1 did not reach $2 bytes"
}
console_job() {
    set +e
    "$REDODORI_CONSOLE" "$@" </dev/null >"$work/out" 2>&1
    status=$?
    set -e
}
setup mkdir -p "$work/src"

# --- Six files that all fail (a file-size limit below their size): none of them is left, and
# the summary says that none was copied.
setup mkdir -p "$work/six/src" "$work/six/dst"
for i in 1 2 3 4 5 6; do head -c 50001 /dev/urandom >"$work/six/src/f$i"; done
(
    ulimit -f 40
    trap '' XFSZ
    exec "$REDODORI_CONSOLE" --skip-errors "$work/six/src" "$work/six/dst" </dev/null >"$work/out" 2>&1
) && status=0 || status=$?
check_same "six failed: exit status" 1 "$status"
check_same "six failed: the summary" \
    "Copy finished: 0 of 6 files, 0 of 300006 bytes, 0 retries, 6 skips, 6 failed" \
    "$(end_lines "$work/out" | head -n 1)"
check_same "six failed: nothing is left" "" "$(ls -A "$work/six/dst/src" 2>&1)"

# Copies $work/src/big into the folder $1 at 4 MiB/s, presses the key $2 once 8 MiB are written,
# and waits for the job's end ($status); its output goes to $work/$1.out.
interrupt() {
    "$REDODORI_CONSOLE" --limit 4M "$work/src/big" "$work/$1/" <"$work/keys" >"$work/$1.out" 2>&1 &
    job=$!
    pids+=("$job")
    exec 3>"$work/keys"
    wait_size "$work/$1/big" $((8 * MiB))
    printf '%s' "$2" >&3
    wait_job "$job"
    exec 3>&-
}
# A later job with skip-existing goes on with the part left in the folder $1.
complete_later() {
    console_job --skip-existing "$work/src/big" "$work/$1"
    check "$1, then skip-existing: the copy is whole" cmp -s "$work/src/big" "$work/$1/big"
    check "$1, then skip-existing: the marker is gone" test ! -e "$work/$1/big.RedoDori"
}
head -c $((20 * MiB)) /dev/urandom >"$work/src/big"
setup mkfifo "$work/keys"

# --- Skipped while it is copied, then skipped again by a later job: the part is left with its
# marker, and the later job goes on with it instead of keeping it.
interrupt skip s
check_same "skip: exit status" 1 "$status"
check_same "skip: the end lines" "Copy finished: 0 of 1 files, 0 of $((20 * MiB)) bytes, 0 retries, 1 skips
  $work/src/big: skipped
  $work/src/big -> $work/skip/big: not complete, left beside its resume marker for a later job to go on with" \
    "$(end_lines "$work/skip.out")"
check "skip: the part carries its marker" test -f "$work/skip/big.RedoDori"
complete_later skip
check_same "skip, then skip-existing: exit status" 0 "$status"
check_same "skip, then skip-existing: the summary" \
    "Copy finished: 1 of 1 files, $((20 * MiB)) of $((20 * MiB)) bytes, 0 retries, 0 skips" \
    "$(end_lines "$work/out")"

# --- Aborted while it is copied: the same.
interrupt abort a
check_same "abort: exit status" 2 "$status"
check "abort: the part carries its marker" test -f "$work/abort/big.RedoDori"
complete_later abort

# --- A destination that agrees with the source only at the bytes the resume check samples
# (0, a third, a half, two thirds and the last of its length) is written anew, not appended to.
head -c $((3 * MiB)) /dev/urandom >"$work/src/doc"
cp "$work/src/doc" "$work/doc"
setup mkdir -p "$work/older"
head -c $((1 * MiB)) /dev/urandom >"$work/older/doc"
d=$MiB
for offset in 0 $((d / 3)) $((d / 2)) $((2 * d / 3)) $((d - 1)); do
    dd if="$work/src/doc" of="$work/older/doc" bs=1 skip="$offset" seek="$offset" count=1 \
        conv=notrunc status=none
done
console_job --move --resume --overwrite "$work/src/doc" "$work/older"
check_same "sampled: exit status" 0 "$status"
check "sampled: the result is the source" cmp -s "$work/doc" "$work/older/doc"
check "sampled: the source went" test ! -e "$work/src/doc"

# --- A copy killed part-way, then its source changed where no sample looks (same size): the
# marker no longer vouches for the part, which is compared, found different and written anew.
if strace -V >/dev/null 2>&1; then
    head -c $((3 * MiB)) /dev/urandom >"$work/src/log"
    setup mkdir -p "$work/kill"
    set +e
    strace -f -o /dev/null -P "$work/kill/log" -e trace=pwrite64 \
        -e inject=pwrite64:signal=KILL:when=3 "$REDODORI" "|$work/src/log|$work/kill/|et2" 2>/dev/null
    set -e
    setup test -f "$work/kill/log.RedoDori"
    printf 'X' | dd of="$work/src/log" bs=1 seek=100 conv=notrunc status=none
    "$REDODORI" "|$work/src/log|$work/kill/|euw" 2>"$work/err" || true
    check "changed source: the copy is the source as it is now" cmp -s "$work/src/log" "$work/kill/log"
    check "changed source: the marker is gone" test ! -e "$work/kill/log.RedoDori"
fi

finish partial_copies
