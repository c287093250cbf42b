#!/usr/bin/env bash
# A moved file's source goes only once its copy is on the disk with its name: every folder that
# received copies is synced before the first source of them is removed, and once per folder,
# not once per file.
set -euo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
trap 'rm -rf "$work"' EXIT
strace -V >/dev/null 2>&1 || skip_all "strace is needed to see the order of the calls"

setup mkdir -p "$work/src/tree/sub"
for name in a b c; do printf '%s\n' "$name" >"$work/src/tree/$name"; done
printf 'deep\n' >"$work/src/tree/sub/d"
# Two destinations: the move copies, then removes the sources.
strace -f -y -qq -o "$work/trace" -e trace=fsync,unlink,rmdir \
    "$REDODORI" "|$work/src/tree|$work/d1/?$work/d2/|em" 2>/dev/null || true
for d in d1 d2; do
    check "$d: the copy differs" test "$(cat "$work/$d/tree/sub/d")" = deep -a "$(cat "$work/$d/tree/c")" = c
done
check "the sources were not removed" test ! -e "$work/src/tree"

# Where in the trace each folder was synced and each source removed.
first_unlink=$( (grep -n "unlink(\"$work/src/" "$work/trace" || true) | head -n 1 | cut -d: -f1)
check "no source was removed" test -n "$first_unlink"
for folder in d1/tree d2/tree d1/tree/sub d2/tree/sub; do
    synced=$( (grep -n "fsync([0-9]*<$work/$folder>)" "$work/trace" || true) | cut -d: -f1)
    check "$folder was not synced exactly once" test "$(wc -l <<<"$synced")" -eq 1 -a -n "$synced"
    check "$folder was synced after a source was removed" test "${synced:-0}" -lt "${first_unlink:-0}"
done

finish move_durability
