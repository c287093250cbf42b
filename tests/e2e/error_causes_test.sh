#!/usr/bin/env bash
# What a job says when it cannot work: sources that are not there are named at once and the job
# failed; a target that names no folder is refused; a destination that cannot be written is
# reported with its own cause, not with the missing folder that follows from it.
set -euo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
setup mkdir -p "$work/src"
printf 'data\n' >"$work/src/f"

"$REDODORI" "|$work/nope1?$work/src/nope2|$work/d/|e" 2>"$work/err" || true
check_same "missing sources" \
    "redodori: Copy failed: 0 of 0 files, 0 of 0 bytes, 0 retries, 2 skips
redodori:   $work/nope1: failed, it cannot be reached (Error 2 - No such file or directory)
redodori:   $work/src/nope2: failed, it cannot be reached (Error 2 - No such file or directory)
redodori:   Report: $(the_report)" \
    "$(own_lines "$work/err")"

"$REDODORI" "|$work/src|???|em" 2>"$work/err" || true
check_same "no destination" 'redodori: The job has no destination: "???" names no folder' \
    "$(own_lines "$work/err")"
check "a move to nowhere removed its source" test -f "$work/src/f"

# A destination below a folder that cannot take new folders: a read-only file system as root,
# a folder without write permission otherwise.
setup mkdir -p "$work/closed"
if [ "$(id -u)" -eq 0 ]; then
    mount -t tmpfs -o ro,size=1m tmpfs "$work/closed" 2>/dev/null ||
        skip_all "cannot mount a read-only tmpfs here"
    mounts+=("$work/closed")
    cause="Error 30 - Read-only file system"
else
    chmod 0555 "$work/closed"
    cause="Error 13 - Permission denied"
fi
"$REDODORI" "|$work/src|$work/closed/d/|e" 2>"$work/err" || true
errors=$(grep -o 'Error [0-9]* - [A-Za-z -]*' "$work/err" | sort -u)
check_same "the cause of the failed writes" "$cause" "$errors"

finish error_causes
