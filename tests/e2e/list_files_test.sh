#!/usr/bin/env bash
# The list files of real jobs. A list of the user's own elsewhere is read and kept; one in the
# temporary folder was written for the job and is removed, also when the job is handed to a
# running one. What is not a list (a fifo, /dev/zero, binary data, a huge file, a link planted
# in the temporary folder) is refused at once with its message, and nothing is copied.
set -euo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR" "$work/own" "$work/src" || setup_failed "cannot make the work folders"
echo one >"$work/src/a" && echo two >"$work/src/b" && head -c 600000 /dev/urandom >"$work/src/slow" ||
    setup_failed "cannot write the sources"

list_of() { printf '%s\r\n' "$@"; }
# Runs one job line; its stderr goes to $work/err. A job that waits on its list must not hang the
# suite, nor may one that reads a list without end take the machine's memory.
# A build with AddressSanitizer reserves far more address space than any limit allows; its
# memory is watched by the sanitizer itself.
memory_limit=4000000
case "$(ldd "$REDODORI" 2>/dev/null)" in *libasan*) memory_limit=unlimited ;; esac
run() {
    local status=0
    (ulimit -v "$memory_limit" && exec timeout -k 5 30 "$REDODORI" "$1") 2>"$work/err" || status=$?
    [ "$status" -ne 124 ] || bad "the job '$1' did not end"
}
said() { grep -qxF -- "$1" "$work/err" || bad "expected the line '$1' on stderr, got: $(cat "$work/err")"; }
kept() { [ -e "$1" ] || [ -L "$1" ] || bad "$2 was removed: $1"; }
gone() { [ ! -e "$1" ] && [ ! -L "$1" ] || bad "$2 was left behind: $1"; }
copied() { cmp -s "$1" "$2" || bad "$1 was not copied to $2"; }
untouched() { [ ! -e "$1" ] || bad "a refused job wrote to $1"; }

# The user's own files, read as lists, stay where they are.
list_of "$work/src/a" >"$work/own/sources.lst"
run "|$work/own/sources.lst|$work/dst1/|"
copied "$work/src/a" "$work/dst1/a"
kept "$work/own/sources.lst" "the user's own source list"
printf 'My thesis\r\nChapter one\r\n' >"$work/own/thesis.txt"
cp "$work/own/thesis.txt" "$work/thesis.orig"
run "|$work/own/thesis.txt|$work/backup/|v"
cmp -s "$work/thesis.orig" "$work/own/thesis.txt" || bad "a file read as a list was removed or changed"

# Lists in the temporary folder were written for the job: they go once read.
list_of "$work/src/b" >"$TMPDIR/job.lst"
run "|$TMPDIR/job.lst|$work/dst2/|"
copied "$work/src/b" "$work/dst2/b"
gone "$TMPDIR/job.lst" "the source list in the temporary folder"
list_of "$work/src/a" >"$TMPDIR/job2.lst"
list_of "$work/dst3" >"$TMPDIR/job2.dst"
run "|$TMPDIR/job2.lst|$TMPDIR/job2.dst|f"
copied "$work/src/a" "$work/dst3/a"
gone "$TMPDIR/job2.dst" "the target list in the temporary folder"
list_of "$work/src/a" >"$TMPDIR/job3.lst"
list_of "$work/dst4" >"$work/own/targets"
run "|$TMPDIR/job3.lst|$work/own/targets|f"
copied "$work/src/a" "$work/dst4/a"
kept "$work/own/targets" "the user's own target list"

# What is not a list is refused at once, with its reason; nothing is copied, nothing removed.
mkfifo "$work/own/fifo" "$TMPDIR/fifo.lst" || setup_failed "cannot make fifos"
for fifo in "$work/own/fifo" "$TMPDIR/fifo.lst"; do
    run "|$fifo|$work/dst5/|"
    said "redodori: Can't use source filelist: $fifo. It is not a regular file"
    kept "$fifo" "a fifo given as a list"
done
run "|/dev/zero|$work/dst5/|"
said "redodori: Can't use source filelist: /dev/zero. It is not a regular file"
list_of "$work/src/a" >"$TMPDIR/job4.lst"
run "|$TMPDIR/job4.lst|/dev/zero|f"
said "redodori: Can't use target filelist: /dev/zero. It is not a regular file"
{ list_of "$work/src/a"; printf '\0\177ELF\1\1'; } >"$work/own/binary"
run "|$work/own/binary|$work/dst5/|"
said "redodori: Can't use source filelist: $work/own/binary. It holds NUL bytes, so it is not a text list"
kept "$work/own/binary" "a binary file given as a list"
truncate -s 257M "$TMPDIR/huge.lst" || setup_failed "cannot make a sparse file"
run "|$TMPDIR/huge.lst|$work/dst5/|"
said "redodori: Can't use source filelist: $TMPDIR/huge.lst. It is larger than 256 MiB"
kept "$TMPDIR/huge.lst" "a list over the size limit"
rm -f "$TMPDIR/huge.lst"
# A link planted in the temporary folder is not followed, whatever it points at.
ln -s "$work/own/sources.lst" "$TMPDIR/planted.lst"
run "|$TMPDIR/planted.lst|$work/dst5/|"
said "redodori: Can't use source filelist: $TMPDIR/planted.lst. It is a symbolic link"
kept "$TMPDIR/planted.lst" "the planted link"
kept "$work/own/sources.lst" "the planted link's target"
untouched "$work/dst5"

# A job handed to a running one of the same kind and destination (g) keeps the user's list and
# removes its temporary one.
wait_for() { for _ in $(seq 1 400); do [ -e "$1" ] && return 0; sleep 0.05; done; return 1; }
(exec "$REDODORI" "|$work/src/slow|$work/first/|eLb1Lk2" 2>/dev/null) &
first=$!
pids+=("$first")
wait_for "$work/first/slow" || setup_failed "the running job did not start"
list_of "$work/src/a" >"$work/own/handed.lst"
run "|$work/own/handed.lst|$work/first/|g"
said "redodori: Job attached to another RedoDori session"
kept "$work/own/handed.lst" "the user's own list of a handed-off job"
list_of "$work/src/b" >"$TMPDIR/handed.lst"
run "|$TMPDIR/handed.lst|$work/first/|g"
said "redodori: Job attached to another RedoDori session"
gone "$TMPDIR/handed.lst" "the temporary list of a handed-off job"
wait "$first" || true
copied "$work/src/a" "$work/first/a"
copied "$work/src/b" "$work/first/b"

# A name in a user's list or an inline line that exists as written is that file, "*" and all;
# only a name that names nothing is a pattern. The program's own literal lists are never patterns.
mkdir -p "$work/w" && printf 'star\n' >"$work/w/a*" && printf 'b\n' >"$work/w/ab" &&
    printf 'c\n' >"$work/w/ac" || setup_failed "cannot write the named files"
list_of "$work/w/a*" >"$work/own/star.lst"
run "|$work/own/star.lst|$work/star1/|"
check_same "a user's list naming an existing a*" "a*" "$(ls "$work/star1" 2>&1)"
run "|$work/w/a*|$work/star2/|e"
check_same "an inline line naming an existing a*" "a*" "$(ls "$work/star2" 2>&1)"
list_of "$work/w/ab*" >"$work/own/pattern.lst"
run "|$work/own/pattern.lst|$work/star3/|"
check_same "a pattern in a user's list that names no file" "ab" "$(ls "$work/star3" 2>&1)"
run "|$work/w/a*c|$work/star4/|e"
check_same "an inline pattern that names no file" "ac" "$(ls "$work/star4" 2>&1)"
printf '\0RedoDori literal list\n%s\0%s\0' "$work/w/ab*" "$work/w/a*" >"$TMPDIR/literal.lst"
run "|$TMPDIR/literal.lst|$work/star5/|"
check_same "a literal list" "a*" "$(ls "$work/star5" 2>&1)"
gone "$TMPDIR/literal.lst" "the literal list in the temporary folder"
printf '\0RedoDori literal list\n%s\0' "$work/x?y" >"$TMPDIR/literal.dst"
list_of "$work/w/ab" >"$TMPDIR/star6.lst"
run "|$TMPDIR/star6.lst|$TMPDIR/literal.dst|f"
check_same "a literal target list naming x?y" "x?y" "$(ls "$work" | grep -e '^x' || true)"
copied "$work/w/ab" "$work/x?y/ab"

# --explain reads lists by the same rules, says what the job would do with them and removes none.
list_of "$work/src/a" >"$TMPDIR/explained.lst"
out=$("$REDODORI" --explain "|$TMPDIR/explained.lst|$work/dst6/|") || bad "--explain failed"
grep -qxF "The source list file $TMPDIR/explained.lst would be removed once it is read." <<<"$out" ||
    bad "--explain does not say the temporary list would be removed: $out"
kept "$TMPDIR/explained.lst" "a list read by --explain"
out=$("$REDODORI" --explain "|$work/own/sources.lst|$work/dst6/|") || bad "--explain failed"
grep -qxF "The source list file $work/own/sources.lst would be kept: only lists in the temporary folder or in RedoDori's own list folder are removed." <<<"$out" ||
    bad "--explain does not say the user's list would be kept: $out"
status=0
out=$(timeout -k 5 30 "$REDODORI" --explain "|$work/own/fifo|$work/dst6/|") || status=$?
[ "$status" -ne 0 ] || bad "--explain accepted a fifo as a list"
grep -qxF "Can't use source filelist: $work/own/fifo. It is not a regular file" <<<"$out" ||
    bad "--explain gave no reason for the fifo: $out"

finish "list files"
