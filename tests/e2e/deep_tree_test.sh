#!/usr/bin/env bash
# A tree deeper than a path can name: what the job cannot reach is counted as a skip and named
# in its report, and everything it can reach is copied.
set -euo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"

# 25 folders of 200-byte names below src/deep, made one step at a time: their full path outgrows
# the 4096 bytes a path call takes. A file at the top and one at the bottom.
name=$(printf 'd%.0s' $(seq 1 200))
setup mkdir -p "$work/src/deep"
printf 'top\n' >"$work/src/deep/top"
(cd "$work/src/deep" && perl -e 'my $n = shift; for (1 .. 25) { mkdir $n or die; chdir $n or die }
    open(my $f, ">", "bottom") or die;' "$name") || { echo "SET-UP FAILED: the deep tree"; exit 2; }

"$REDODORI" "|$work/src/deep|$work/d/|e" 2>"$work/err" || true
check "the reachable file was not copied" cmp -s "$work/src/deep/top" "$work/d/deep/top"
# The first folder whose path is too long for the system.
first="$work/src/deep/$name"
while [ ${#first} -lt 4096 ]; do first="$first/$name"; done
check_same "the job's report" \
    "redodori: Copy finished: 1 of 1 files, 4 of 4 bytes, 0 retries, 1 skips
redodori:   $first: failed, it cannot be reached (Error 36 - File name too long)
redodori:   Report: $(the_report)" \
    "$(own_lines "$work/err")"

finish deep_tree
