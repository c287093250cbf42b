#!/usr/bin/env bash
# Runs the real program's --explain and the store tool on a private store.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"

mkdir -p "$work/src/sub"
echo one >"$work/src/a.txt"
echo two >"$work/src/b.txt"
printf '%s\r\n%s\r\n%s' "$work/src/a.txt" "$work/src/sub/" "$work/src/*.txt" >"$work/list"

# Stored settings of the profile are shown, switches override them, the user's list stays.
"$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' bufsz 10
"$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\network' bufsz 2
out=$("$REDODORI" --explain "|$work/list|$work/dst1/?$work/dst2//|mwLk3v")
expect "Profile: local" "$out"
expect "Buffer size: 32 Mbytes" "$out"
expect "Speed limit: 256 Kbps" "$out"
expect "Copy verification: ON" "$out"
expect "Delete mode: Move files" "$out"
expect "     Overwrite" "$out"
expect "Sources (4):" "$out"
expect "  $work/src/sub" "$out"
expect "  $work/src/b.txt" "$out"
expect "Destinations (2):" "$out"
expect "  $work/dst2" "$out"
expect "The source list file $work/list would be kept: only lists in the temporary folder" "$out"
# No wrapper is involved, and nothing is listed: the wrapper's lines around the settings stay out.
expect "***Current settings***" "$out"
! grep -qE "loaded by console wrapper|Preparing filelist" <<<"$out" || fail "--explain speaks as the wrapper's job: $out"
[ -f "$work/list" ] || fail "--explain removed the source list"
[ ! -e "$work/dst1" ] || fail "--explain created a destination folder"

# The network profile is chosen by q1, even after other switches.
# The target field is scanned for "q" too, so it must not hold the random folder name.
out=$("$REDODORI" --explain "|$work/list|/backup/|xq1")
expect "Profile: network" "$out"
expect "Buffer size: 32 Kbytes" "$out"

# A missing list: the job's own message, and a failure status.
set +e
out=$("$REDODORI" --explain "|$work/missing|$work/dst/|")
status=$?
set -e
[ "$status" -ne 0 ] || fail "a missing list explained as success"
expect "Can't open source filelist: $work/missing. Error 2" "$out"

# No target: the chooser would open; delete needs none.
out=$("$REDODORI" --explain "|$work/src/a.txt||e")
expect "the destination chooser would open" "$out"
out=$("$REDODORI" --explain "|$work/src/a.txt||eM")
expect "Job: delete the sources" "$out"
expect "Destinations (0):" "$out"

# Lines without a job.
out=$("$REDODORI" --explain "|||q1")
expect 'settings dialog for the profile "network"' "$out"

# The program never fails on no or odd arguments.
help=$("$REDODORI" --help)
expect "--explain" "$help"
# The resume manager never starts a job; without a display its window cannot be closed, so it
# says what works instead and ends.
set +e
env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$REDODORI" /vnresume >"$work/out" 2>"$work/err"
status=$?
set -e
[ "$status" -eq 0 ] || fail "/vnresume gave status $status"
grep -q "the resume manager's window needs a display" "$work/err" || fail "/vnresume said nothing"

# The store is the private one: its values are where the test put them.
[ -f "$work/config/registry.db" ] || fail "the private store was not used"
echo "explain: all checks passed"
