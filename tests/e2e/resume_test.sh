#!/usr/bin/env bash
# The resume record of real jobs: kept by a job that was killed, and its command finishing the
# job; gone after a normal end; the stored switches of a move.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/resume_common.sh"
export TMPDIR="$work/tmp"
mkdir -p "$work/tmp" "$work/src/tree"
"$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' resume 1

head -c 3000000 /dev/urandom >"$work/src/tree/big"
head -c 1000 /dev/urandom >"$work/src/tree/small"

# Killed in the middle of the big file: the record and its list file stay.
if strace -V >/dev/null 2>&1; then
    set +e
    strace -f -o /dev/null -P "$work/dst/tree/big" -e trace=pwrite64 \
        -e inject=pwrite64:signal=KILL:when=2 "$REDODORI" "|$work/src/tree|$work/dst/|et2" 2>/dev/null
    set -e
    cmp -s "$work/src/tree/big" "$work/dst/tree/big" && fail "the killed job finished anyway"
    record=$("$REDODORI_REG" list "$key" | grep -E '^[0-9]+ = text:' | head -n 1)
    [ -n "$record" ] || fail "no resume record after the kill"
    n=${record%% = *}
    command=${record#* = text:}
    list=$(sed -E 's/^[^|]* \|([^|]*)\|.*/\1/' <<<"$command")
    [ "$list" = "$work/state/vnfrm$n.lst" ] || fail "the record's list is not in the state folder: $list"
    [ -f "$list" ] || fail "the record's list file is missing"
    # The job's own write burst (t2) is kept; the forms of its lists are not.
    grep -q '|uwt2q2$' <<<"$command" || fail "unexpected switches in $command"
    # Run the stored command as the resume manager does: program, then the rest as one argument.
    program=${command%% |*}
    rest="|${command#* |}"
    "$program" "$rest" 2>/dev/null
    diff -r "$work/src/tree" "$work/dst/tree" >/dev/null || fail "the resumed job did not finish the copy"
    [ ! -e "$list" ] || fail "the resumed job left the old list file"
    # The old record is the resume manager's to delete; the resumed job left none of its own.
    [ "$("$REDODORI_REG" list "$key" | grep -cE '^[0-9]+ = text:')" -eq 1 ] || fail "records left behind"
    for name in "$n" "f_$n" "t_$n"; do "$REDODORI_REG" delete "$key" "$name"; done
else
    echo "skipped the kill: strace is missing"
fi

# A normal end leaves neither record nor list file.
rm -rf "$work/dst2"
"$REDODORI" "|$work/src/tree|$work/dst2/|e" 2>/dev/null
[ -z "$("$REDODORI_REG" list "$key" | grep -E '^[0-9dft_]+ = ')" ] || fail "a finished job left its record"
[ -d "$work/state" ] && [ -z "$(ls -A "$work/state")" ] || fail "a finished job left its list file"
# The end stores the progress window's placement.
placement=$("$REDODORI_REG" list 'SOFTWARE\DiraRedi\RedoDori')
for value in "F2_Left = int:" "F2_Top = int:" "F2_Width = int:297" "F2_Height = int:137"; do
    grep -qF "$value" <<<"$placement" || fail "no $value after the job: $placement"
done

# Save and abort (x at the console wrapper) keeps the record, marked as saved by the user.
mkfifo "$work/keys"
"$REDODORI_CONSOLE" --verbose --paused "$work/src/tree" "$work/saved" <"$work/keys" >"$work/save.out" 2>&1 &
wrapper=$!
exec 3>"$work/keys"
for _ in $(seq 1 200); do
    grep -q "Current settings" "$work/save.out" && break
    sleep 0.1
done
printf 'x' >&3
set +e
wait "$wrapper"
status=$?
set -e
exec 3>&-
[ "$status" -eq 2 ] || fail "save and abort exited $status, not 2"
stored=$("$REDODORI_REG" list "$key")
n=$(grep -E '^[0-9]+ = text:' <<<"$stored" | head -n 1 | sed 's/ = .*//')
[ -n "$n" ] || fail "save and abort left no record: $stored"
grep -qxF "d_$n = text:x" <<<"$stored" || fail "the saved record is not marked x: $stored"
grep -qF "$n = text:" <<<"$stored" && grep -qF "|$work/saved/?|" <<<"$stored" ||
    fail "the saved record lost its target: $stored"
list=$(grep -E "^$n = text:" <<<"$stored" | sed -E 's/^[^|]* \|([^|]*)\|.*/\1/')
[ -f "$list" ] || fail "the saved record's list file is missing"
for name in "$n" "f_$n" "t_$n" "d_$n"; do "$REDODORI_REG" delete "$key" "$name"; done
rm -f "$list"

# A move job with skip on error stores uwsm, then its own buffer and speed limits, then q2: seen
# while it runs, slowed down (two destinations, so that the move copies instead of renaming at
# once).
cp "$work/src/tree/small" "$work/src/moved"
(exec "$REDODORI" "|$work/src/moved|$work/dst3/?$work/dst4/|emsLb0Lc0" 2>/dev/null) &
pid=$!
stored=""
for _ in $(seq 1 200); do
    stored=$("$REDODORI_REG" list "$key" | grep -E '^[0-9]+ = text:' || true)
    [ -n "$stored" ] && break
    sleep 0.05
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
grep -q '|uwsmLb0Lc0q2$' <<<"$stored" || fail "move with skip stored: $stored"

# Two jobs started at once claim a slot each: while both run both records are stored, and the
# job that ends first leaves the other's record. The first job copies 4 KiB at 1 KiB/s, the
# second crawls until it is killed.
forget_records
rm -rf "$work/state"
head -c 4096 /dev/urandom >"$work/src/short"
head -c 100000 /dev/urandom >"$work/src/long"
for round in 1 2 3 4 5; do
    rm -rf "$work/short" "$work/long"
    (exec "$REDODORI" "|$work/src/short|$work/short/|eLb0Lc5" 2>/dev/null) &
    first=$!
    (exec "$REDODORI" "|$work/src/long|$work/long/|eLb0Lc0" 2>/dev/null) &
    second=$!
    pids+=("$first" "$second")
    if ! wait_until 'grep -qF "|$work/short/?|" <<<"$(records)" && grep -qF "|$work/long/?|" <<<"$(records)"'; then
        fail "round $round: two jobs started at once share one record: $(records)"
    fi
    wait "$first" || fail "round $round: the first job failed"
    cmp -s "$work/src/short" "$work/short/short" || fail "round $round: the first job did not copy"
    grep -qF "|$work/long/?|" <<<"$(records)" || fail "round $round: the job that ended first took the other's record: $(records)"
    ! grep -qF "|$work/short/?|" <<<"$(records)" || fail "round $round: the finished job left its record"
    kill -KILL "$second"
    wait "$second" 2>/dev/null || true
    forget_records
    rm -rf "$work/state"
done
echo "resume: all checks passed"
