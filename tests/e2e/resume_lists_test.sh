#!/usr/bin/env bash
# Resume lists live in the user's private state folder. A job makes the folder 0700 and its list
# 0600 there, never writes through links planted at the old list names in the temporary folder
# or at the new ones, keeps no record when its list cannot be written, and a killed job resumes
# from there. A record of an older version, its list in the temporary folder, still resumes;
# a link planted at such a list's name is refused.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/resume_common.sh"
unset DISPLAY WAYLAND_DISPLAY
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR" "$work/src/tree" "$work/own" || setup_failed "cannot make the work folders"
head -c 600000 /dev/urandom >"$work/src/tree/slow" && echo small >"$work/src/tree/small" ||
    setup_failed "cannot write the sources"
"$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' resume 1 || setup_failed "cannot turn resume on"

# Runs a stored command as the resume manager does: the program, then the rest as one argument.
run_stored() { "${1%% |*}" "|${1#* |}" 2>"$work/err" || true; }
# A link to $2 at every list name a job may draw, in folder $1.
plant_links() { perl -e 'for (0 .. 998) { symlink($ARGV[1], "$ARGV[0]/vnfrm$_.lst") or die "$!\n" }' "$1" "$2"; }
is_private_file() { [ -f "$1" ] && [ ! -L "$1" ] && [ "$(stat -c %a "$1")" = 600 ]; }

# A job killed while it copies: its list is a private file in the private state folder, though
# every old list name in the temporary folder is a link to a file of the user's.
printf precious >"$work/precious" && cp "$work/precious" "$work/victim" &&
    plant_links "$TMPDIR" "$work/victim" || setup_failed "cannot plant links"
(exec "$REDODORI" "|$work/src/tree|$work/dst1/|eLb1Lk2" 2>/dev/null) &
job=$!
pids+=("$job")
wait_until '[ -n "$(records)" ]' || setup_failed "the job wrote no resume record"
record=$(records | head -n 1)
n=${record%% = *}
command=${record#* = text:}
list=$(sed -E 's/^[^|]* \|([^|]*)\|.*/\1/' <<<"$command")
[ "$list" = "$work/state/vnfrm$n.lst" ] || bad "the list is not in the state folder: $list"
[ "$(stat -c %a "$work/state" 2>/dev/null)" = 700 ] || bad "the state folder is not 0700"
is_private_file "$list" || bad "the list is not a private file: $(ls -l "$list" 2>&1)"
cmp -s "$work/victim" "$work/precious" || bad "the job wrote through a link at an old list name"
kill -KILL "$job" 2>/dev/null || true
wait "$job" 2>/dev/null || true
run_stored "$command"
diff -r "$work/src/tree" "$work/dst1/tree" >/dev/null || bad "the resumed job did not finish the copy"
[ ! -e "$list" ] || bad "the resumed job left its list in the state folder"
cmp -s "$work/victim" "$work/precious" || bad "the resumed job wrote through a planted link"
forget_records
rm -f "$TMPDIR"/vnfrm*.lst

# Links at every new list name: the job replaces the one at its own list's name with its list
# (and removes that at its end), never writing through it.
mkdir -p "$work/state" && chmod 700 "$work/state" && cp "$work/precious" "$work/victim2" &&
    plant_links "$work/state" "$work/victim2" || setup_failed "cannot plant links in the state folder"
"$REDODORI" "|$work/src/tree|$work/dst2/|e" 2>"$work/err" || true
diff -r "$work/src/tree" "$work/dst2/tree" >/dev/null || bad "the job did not copy"
cmp -s "$work/victim2" "$work/precious" || bad "the job wrote through a link at its list's name"
links=$(find "$work/state" -maxdepth 1 -type l | wc -l)
[ "$links" -eq 998 ] || bad "the job's list did not replace the link at its name ($links of 999 links left)"
rm -f "$work/state"/vnfrm*.lst
forget_records

# A state folder that others may enter is refused: the job says so once and keeps no record.
mkdir -m 755 "$work/open-state" || setup_failed "cannot make a folder"
(REDODORI_STATE_DIR="$work/open-state" exec "$REDODORI" "|$work/src/tree|$work/dst3/|eLb1Lk2" 2>"$work/err3") &
job=$!
pids+=("$job")
refusal="redodori: the job cannot be kept for resume: the state folder $work/open-state is open to other users (mode 0755); refusing to use it"
if wait_until 'grep -qF "$refusal" "$work/err3"'; then
    [ -z "$(records)" ] || bad "a record was kept though its list could not be written: $(records)"
    [ "$(grep -cF "cannot be kept for resume" "$work/err3")" -eq 1 ] || bad "the refusal was not said once: $(cat "$work/err3")"
else
    bad "no line '$refusal' on stderr: $(cat "$work/err3")"
fi
[ -z "$(ls -A "$work/open-state")" ] || bad "a list was written into the open folder"
kill -KILL "$job" 2>/dev/null || true
wait "$job" 2>/dev/null || true
forget_records
# The same refusal reaches a console wrapper whole, however long the folder's name; asked to
# keep the job (x), the job says why it cannot and goes on until it is aborted (a).
setup mkfifo "$work/keys"
(REDODORI_STATE_DIR="$work/open-state" exec "$REDODORI_CONSOLE" --limit 16K "$work/src/tree" "$work/dst3c/" \
    <"$work/keys" >"$work/out3" 2>&1) &
job=$!
pids+=("$job")
exec 3>"$work/keys"
wait_until 'grep -qF "${refusal#redodori: }" "$work/out3"' ||
    bad "the console did not get the whole refusal: $(cat "$work/out3")"
printf x >&3
wait_until 'grep -qF "the job goes on" "$work/out3"' || bad "x was not refused: $(cat "$work/out3")"
check_same "why x cannot keep the job" \
    "RedoDori: ${refusal#redodori: }; the job goes on: abort it to end it without keeping it" \
    "$(tr '\r' '\n' <"$work/out3" | grep -F 'the job goes on' | sed 's/ *$//')"
grep -q '^Copy aborted' "$work/out3" && bad "the job ended though it could not be kept"
printf a >&3
exec 3>&-
wait "$job" 2>/dev/null || true
tr '\r' '\n' <"$work/out3" | grep -q '^Copy aborted' || bad "a did not abort: $(cat "$work/out3")"
forget_records
# Kept with x, the job says its number and how to go on with it, and that command finishes it.
"$REDODORI_CONSOLE" --limit 16K "$work/src/tree" "$work/dst3k/" <"$work/keys" >"$work/out4" 2>&1 &
job=$!
pids+=("$job")
exec 3>"$work/keys"
wait_until '[ -n "$(records)" ]' || setup_failed "the job did not start: $(cat "$work/out4")"
printf x >&3
exec 3>&-
wait "$job" 2>/dev/null || true
kept=$(tr '\r' '\n' <"$work/out4" | grep '^Kept for resume' | sed 's/ *$//')
record=$(records | head -n 1)
n=${record%% = *}
check_same "what x says" "Kept for resume as job $n: redodori-console --resume $n goes on with it" "$kept"
"$REDODORI_CONSOLE" --resume "$n" </dev/null >"$work/out5" 2>&1 || bad "the kept job did not resume: $(cat "$work/out5")"
diff -r "$work/src/tree" "$work/dst3k/tree" >/dev/null || bad "the resumed job did not finish the copy"
forget_records

# A record of an older version: its list, in the temporary folder, is read and removed.
perl -e 'print "\xff\xfe", map { "$_\0" } split //, "$ARGV[0]\r\n"' "$work/src/tree" >"$TMPDIR/vnfrm5.lst" ||
    setup_failed "cannot write an old list"
"$REDODORI_REG" set-text "$key" 5 "$REDODORI |$TMPDIR/vnfrm5.lst|$work/dst4/?|uwq2" || setup_failed "cannot store a record"
run_stored "$("$REDODORI_REG" get "$key" 5)"
diff -r "$work/src/tree" "$work/dst4/tree" >/dev/null || bad "an old record did not resume: $(cat "$work/err")"
[ ! -e "$TMPDIR/vnfrm5.lst" ] || bad "the old record's list was left in the temporary folder"

# A link planted at an old record's list name is not followed: the delete job it would have
# run through another list never starts.
mkdir -p "$work/keep" && echo data >"$work/keep/file" && printf '%s\r\n' "$work/keep" >"$work/own/other.lst" &&
    ln -s "$work/own/other.lst" "$TMPDIR/vnfrm6.lst" || setup_failed "cannot plant a list"
"$REDODORI_REG" set-text "$key" 6 "$REDODORI |$TMPDIR/vnfrm6.lst||uwMq2" || setup_failed "cannot store a record"
run_stored "$("$REDODORI_REG" get "$key" 6)"
grep -qxF "redodori: Can't use source filelist: $TMPDIR/vnfrm6.lst. It is a symbolic link" "$work/err" ||
    bad "the planted list was not refused: $(cat "$work/err")"
[ -f "$work/keep/file" ] || bad "a resumed record deleted a folder named by a planted list"

finish "resume lists"
