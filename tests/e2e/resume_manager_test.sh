#!/usr/bin/env bash
# The resume manager with real jobs: a job killed mid-file is resumed by the start-up resume;
# a saved record is left to the user and resumed by redodori-console --resume N; a source
# folder that is not there yet is waited for; one file restarts from its marker; and records
# and markers that must not run are refused with the reason, their records kept.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/resume_common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export TMPDIR="$work/tmp" REDODORI_STARTUP_DELAY_MS=100
mkdir -p "$TMPDIR" "$work/src/tree" || setup_failed "cannot make the work folders"
head -c 3000000 /dev/urandom >"$work/src/tree/big" && echo small >"$work/src/tree/small" ||
    setup_failed "cannot write the sources"
"$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' resume 1 || setup_failed "cannot turn resume on"

# A stored record N of this program: its list (one source a line) in the state folder.
store_record() {
    local n=$1 from=$2 target=$3 sources=$4 program=${5:-$REDODORI}
    mkdir -p "$work/state" && chmod 700 "$work/state" && printf '%s\r\n' "$sources" >"$work/state/vnfrm$n.lst" &&
        "$REDODORI_REG" set-text "$key" "$n" "$program |$work/state/vnfrm$n.lst|$target|uwq2" &&
        "$REDODORI_REG" set-text "$key" "f_$n" "$from" &&
        "$REDODORI_REG" set-text "$key" "t_$n" "2026-03-07 09:05" || setup_failed "cannot store record $n"
}
kept() { "$REDODORI_REG" get "$key" "$1" >/dev/null 2>&1; }

# Killed mid-file: the record stays, the job wrote the login entry, and the start-up resume
# finishes the copy.
(exec "$REDODORI" "|$work/src/tree|$work/dst1/|eLb1Lk2" 2>/dev/null) &
job=$!
pids+=("$job")
wait_until '[ -s "$work/dst1/tree/big" ] && [ -n "$(records)" ]' || setup_failed "the job did not start copying"
kill -KILL "$job"
wait "$job" 2>/dev/null || true
cmp -s "$work/src/tree/big" "$work/dst1/tree/big" && setup_failed "the job finished before it was killed"
entry="$XDG_CONFIG_HOME/autostart/redodori-resume.desktop"
grep -qxF "Exec=\"$REDODORI\" /vnresume /startup" "$entry" 2>/dev/null ||
    bad "no login entry that resumes the jobs: $(cat "$entry" 2>&1)"
timeout 60 "$REDODORI" /vnresume /startup 2>"$work/err1" || bad "the start-up resume failed: $(cat "$work/err1")"
wait_until 'diff -r "$work/src/tree" "$work/dst1/tree" >/dev/null 2>&1 && [ -z "$(records)" ]' ||
    bad "the killed job was not resumed to the end: $(records)"
[ -z "$(ls -A "$work/state")" ] || bad "lists left in the state folder: $(ls "$work/state")"

# A saved record (autostart No) is not resumed at start-up, but by --resume N.
store_record 40 "$work/src/" "$work/dst2/?" "$work/src/tree"
"$REDODORI_REG" set-text "$key" d_40 x
listed=$("$REDODORI_CONSOLE" --resume-list)
check_same "the listed record" "Job 40, saved 2026-03-07 09:05, resumes at login: no
  source: $work/src/tree
  destination: $work/dst2/" "$listed"
check_same "the program's list of stored jobs" "$listed" "$("$REDODORI" --resume-list)"
timeout 60 "$REDODORI" /vnresume /startup 2>/dev/null || bad "the start-up resume failed"
[ ! -e "$work/dst2" ] && kept 40 || bad "a saved record was resumed at start-up"
set +e
"$REDODORI_CONSOLE" --resume 40 </dev/null >"$work/out2" 2>&1
status=$?
set -e
check_same "--resume 40 exit status" 0 "$status"
diff -r "$work/src/tree" "$work/dst2/tree" >/dev/null 2>&1 || bad "--resume 40 did not copy: $(cat "$work/out2")"
! kept 40 && ! kept f_40 && ! kept d_40 || bad "record 40 stayed after --resume"
[ ! -e "$work/state/vnfrm40.lst" ] || bad "the resumed job left its list"
# The program resumes a stored job itself, going on as that job.
store_record 42 "$work/src/" "$work/dst8/?" "$work/src/tree"
timeout 60 "$REDODORI" --resume 42 2>"$work/err42" || bad "redodori --resume 42 failed: $(cat "$work/err42")"
diff -r "$work/src/tree" "$work/dst8/tree" >/dev/null 2>&1 || bad "redodori --resume 42 did not copy: $(cat "$work/err42")"
! kept 42 && ! kept f_42 || bad "record 42 stayed after redodori --resume"

# A source folder that is not there yet keeps its pop-up waiting; once the folder comes the
# job starts.
store_record 41 "$work/late/" "$work/dst3/?" "$work/late/tree"
"$REDODORI" /vnresume /startup 2>/dev/null &
manager=$!
pids+=("$manager")
sleep 1.5
kill -0 "$manager" 2>/dev/null && kept 41 || bad "the manager did not wait for the source folder"
[ ! -e "$work/dst3" ] || bad "a job started without its source folder"
cp -r "$work/src" "$work/late"
wait_until '! kill -0 "$manager" 2>/dev/null' || bad "the manager did not end once the folder came"
wait_until 'diff -r "$work/src/tree" "$work/dst3/tree" >/dev/null 2>&1' || bad "the late job did not copy"
wait "$manager" 2>/dev/null || true
# Started jobs keep records of their own until they end.
wait_until '[ -z "$(records)" ]' || bad "the late job did not end: $(records)"

# A job that still runs is resumed neither by the start-up resume of a second login nor by
# --resume N: the two would fight over the same files. Once it is gone its record is resumed.
# The job starts paused (p), so that it holds its record without copying; a resumed job does
# not start paused.
(exec "$REDODORI" "|$work/src/tree|$work/dst7/|ep" 2>/dev/null) &
job=$!
pids+=("$job")
wait_until '[ -n "$(records)" ]' || setup_failed "the paused job stored no record"
n=$(records | head -n 1 | sed 's/ = .*//')
stored=$("$REDODORI_REG" list "$key")
timeout 60 "$REDODORI" /vnresume /startup 2>"$work/err7" || bad "the start-up resume failed: $(cat "$work/err7")"
check_same "the start-up resume of a running job" \
    "redodori: stored job $n is still running; it is not resumed" "$(own_lines "$work/err7")"
set +e
"$REDODORI_CONSOLE" --resume "$n" </dev/null >"$work/out7" 2>&1
status=$?
set -e
check_same "--resume of a running job: exit status" 3 "$status"
check_same "--resume of a running job says so" "redodori-console: stored job $n is still running" \
    "$(cat "$work/out7")"
check_same "the running job's record" "$stored" "$("$REDODORI_REG" list "$key")"
! cmp -s "$work/src/tree/big" "$work/dst7/tree/big" 2>/dev/null || bad "a second job copied the running job's files"
kill -KILL "$job"
wait "$job" 2>/dev/null || true
timeout 60 "$REDODORI" /vnresume /startup 2>"$work/err8" || bad "the start-up resume failed: $(cat "$work/err8")"
! grep -q "still running" "$work/err8" || bad "a job that was killed still counts as running"
wait_until 'diff -r "$work/src/tree" "$work/dst7/tree" >/dev/null 2>&1 && [ -z "$(records)" ]' ||
    bad "the record of the killed job was not resumed: $(records)"

# One file restarts from its marker: the copy ends whole and the marker goes.
mkdir -p "$work/dst4"
head -c 1000000 "$work/src/tree/big" >"$work/dst4/big"
perl -e 'print pack("Q<", 1000000), map { join("\0", split //, $_) . "\0\0\0" } @ARGV' \
    "$work/src/tree/big" "uwfq2" >"$work/dst4/big.RedoDori" || setup_failed "cannot write a marker"
"$REDODORI" "/vnresume=$work/dst4/big.RedoDori" 2>"$work/err4" || bad "the marker restart failed"
wait_until 'cmp -s "$work/src/tree/big" "$work/dst4/big" && [ ! -e "$work/dst4/big.RedoDori" ]' ||
    bad "the marker restart did not finish the file: $(cat "$work/err4")"
wait_until '[ -z "$(records)" ]' || bad "the restarted job did not end: $(records)"

# A marker of a move: without a display nobody can confirm that the source goes, so the file is
# copied only, and stderr says so.
head -c 1000000 "$work/src/tree/big" >"$work/dst4/moved"
cp "$work/src/tree/big" "$work/src/moved"
perl -e 'print pack("Q<", 1000000), map { join("\0", split //, $_) . "\0\0\0" } @ARGV' \
    "$work/src/moved" "mq2" >"$work/dst4/moved.RedoDori" || setup_failed "cannot write a marker"
"$REDODORI" "/vnresume=$work/dst4/moved.RedoDori" 2>"$work/err5" || bad "the move marker restart failed"
check_same "a move marker without a display" \
    "redodori: the resume marker $work/dst4/moved.RedoDori restarts a move, and without a display nobody can confirm it: $work/src/moved is copied only and stays" \
    "$(own_lines "$work/err5" | head -n 1)"
wait_until 'cmp -s "$work/src/tree/big" "$work/dst4/moved" && [ -z "$(records)" ]' ||
    bad "the move marker did not copy the file: $(cat "$work/err5")"
[ -f "$work/src/moved" ] || bad "a move marker without a display removed its source"

# Markers and records that must not run: each is refused with its reason and stays.
head -c 8 /dev/zero >"$work/dst4/short.RedoDori"
out=$("$REDODORI" "/vnresume=$work/dst4/short.RedoDori" 2>&1 || true)
check_same "a marker of 8 bytes" "redodori: the resume marker $work/dst4/short.RedoDori holds 8 bytes or less: no file to restart" "$out"
refused() {
    local n=$1 reason=$2
    set +e
    "$REDODORI_CONSOLE" --resume "$n" </dev/null >"$work/out" 2>&1
    local status=$?
    set -e
    check_same "--resume $n exit status" 3 "$status"
    check_same "--resume $n says why" "redodori-console: stored job $n was not resumed: $reason; it stays stored" "$(cat "$work/out")"
    kept "$n" && kept "f_$n" || bad "record $n went though it was refused"
}
printf '#!/bin/sh\ntouch "%s/ran"\n' "$work" >"$work/other.sh" && chmod +x "$work/other.sh"
store_record 52 "$work/src/" "$work/dst5/?" "$work/src/tree" "$work/other.sh"
refused 52 "the record's command runs $work/other.sh, not this program ($REDODORI); it is not run"
[ ! -e "$work/ran" ] || bad "another program was run"
store_record 53 "$work/src/" "$work/dst5/?" "$work/src/tree"
rm "$work/state/vnfrm53.lst"
refused 53 "the record's list file $work/state/vnfrm53.lst is missing"
[ ! -e "$work/dst5" ] || bad "a refused record copied"
out=$("$REDODORI_CONSOLE" --resume 77 2>&1 || true)
check_same "--resume of a missing job" "redodori-console: there is no stored job 77 (--resume-list lists them)" "$out"
set +e
out=$("$REDODORI" --resume 77 2>&1)
status=$?
set -e
check_same "the program's --resume of a missing job: exit status" 1 "$status"
check_same "the program's --resume of a missing job" "redodori: there is no stored job 77 (--resume-list lists them)" "$out"

# A job whose path holds "/vnresume" is a job, not the resume manager.
mkdir -p "$work/vnresume" && echo data >"$work/vnresume/file"
"$REDODORI" "|$work/vnresume|$work/dst6/|e" 2>/dev/null
cmp -s "$work/vnresume/file" "$work/dst6/vnresume/file" || bad "a job with /vnresume in a path did not copy"
# With a display the move is asked for, No being the default: Enter copies only, Yes moves.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    start_display
    # The refused records above are not needed any more; an empty key tells that a job ended.
    forget_records
    for answer in Return alt+y; do
        head -c 1000000 "$work/src/tree/big" >"$work/dst4/moved"
        cp "$work/src/tree/big" "$work/src/moved"
        perl -e 'print pack("Q<", 1000000), map { join("\0", split //, $_) . "\0\0\0" } @ARGV' \
            "$work/src/moved" "mq2" >"$work/dst4/moved.RedoDori" || setup_failed "cannot write a marker"
        "$REDODORI" "/vnresume=$work/dst4/moved.RedoDori" 2>"$work/err9" &
        asked=$!
        pids+=("$asked")
        window=$(focus_window "RedoDori")
        [ -n "$window" ] || { bad "no question for a move marker ($answer)"; continue; }
        xdotool key "$answer"
        wait_job "$asked"
        wait_until 'cmp -s "$work/src/tree/big" "$work/dst4/moved" && [ ! -e "$work/dst4/moved.RedoDori" ] && [ -z "$(records)" ]' ||
            bad "the move marker did not finish the file ($answer): $(cat "$work/err9")"
        if [ "$answer" = Return ]; then
            [ -f "$work/src/moved" ] || bad "the default answer to a move marker removed its source"
        else
            wait_until '[ ! -e "$work/src/moved" ]' || bad "Yes to a move marker kept its source"
        fi
    done
else
    echo "skipped the question of a move marker: Xvfb or xdotool is missing"
fi
finish "resume manager"
