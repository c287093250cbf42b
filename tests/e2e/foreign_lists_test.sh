#!/usr/bin/env bash
# Lists of another user. In the temporary folder anyone may plant a file: a source list, a
# target list or an older version's resume list there that belongs to another user is refused,
# never removed, and its job never runs. Elsewhere the user chose the list: it is read and kept.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"
[ "$(id -u)" -eq 0 ] || skip_all "only root can give a list to another user (chown)"
unset DISPLAY WAYLAND_DISPLAY
export TMPDIR="$work/tmp"
other=12345
key='Software\DIRAREDI\RedoDori\Resume'
mkdir -p "$TMPDIR" "$work/own" "$work/src" "$work/keep" && echo one >"$work/src/a" &&
    echo data >"$work/keep/file" || setup_failed "cannot make the work folders"
theirs() { printf '%s\r\n' "$2" >"$1" && chown "$other:$other" "$1" || setup_failed "cannot give $1 away"; }
run() { timeout -k 5 60 "$REDODORI" "$1" 2>"$work/err" || true; }
said() { grep -qxF -- "$1" "$work/err" || bad "expected the line '$1' on stderr, got: $(cat "$work/err")"; }
kept() { [ -e "$1" ] || bad "$2 was removed: $1"; }

theirs "$TMPDIR/job.lst" "$work/src/a"
run "|$TMPDIR/job.lst|$work/dst1/|"
said "redodori: Can't use source filelist: $TMPDIR/job.lst. It belongs to another user"
kept "$TMPDIR/job.lst" "another user's source list"
[ ! -e "$work/dst1" ] || bad "a job ran from another user's source list"

printf '%s\r\n' "$work/src/a" >"$TMPDIR/mine.lst"
theirs "$TMPDIR/job.dst" "$work/dst2"
run "|$TMPDIR/mine.lst|$TMPDIR/job.dst|f"
said "redodori: Can't use target filelist: $TMPDIR/job.dst. It belongs to another user"
kept "$TMPDIR/job.dst" "another user's target list"
[ ! -e "$work/dst2" ] || bad "a job copied to the folders of another user's target list"

# An older version's record whose list another user pre-created and edited to name a folder
# of this user's: the delete job it now holds never starts.
theirs "$TMPDIR/vnfrm7.lst" "$work/keep"
"$REDODORI_REG" set-text "$key" 7 "$REDODORI |$TMPDIR/vnfrm7.lst||uwMq2" || setup_failed "cannot store a record"
command=$("$REDODORI_REG" get "$key" 7)
"${command%% |*}" "|${command#* |}" 2>"$work/err" || true
said "redodori: Can't use source filelist: $TMPDIR/vnfrm7.lst. It belongs to another user"
[ -f "$work/keep/file" ] || bad "a resumed record deleted a folder named by another user's list"

# Outside the temporary folder the list is the one the user named: read, and left alone.
theirs "$work/own/shared.lst" "$work/src/a"
run "|$work/own/shared.lst|$work/dst3/|"
cmp -s "$work/src/a" "$work/dst3/a" || bad "a list the user named outside the temporary folder was not read"
kept "$work/own/shared.lst" "a list outside the temporary folder"

finish "foreign lists"
