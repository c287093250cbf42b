#!/usr/bin/env bash
# What a job says when it cannot work: sources that are not there are named at once and the job
# failed; a target that names no folder is refused; a destination that cannot be written is
# reported with its own cause, not with the missing folder that follows from it; files that did
# not fit on a full disk are named and the wrapper's caller is told.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"

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

# Without a display nobody could answer the destination chooser: the job says so and ends.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$REDODORI" "|$work/src||em" 2>"$work/err" || status=$?
check_same "no target off screen" "redodori: The job has no destination, and the destination \
chooser needs a display: give the job a destination" "$(own_lines "$work/err")"
check_same "no target off screen: exit status" 0 "$status"
check "a move without a target removed its source" test -f "$work/src/f"

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

# A destination too small for the sources, with errors skipped: every file that did not fit is
# named with its cause, and the wrapper ends with status 1. Needs root for the small file system.
if [ "$(id -u)" -eq 0 ]; then
    setup mkdir -p "$work/photos" "$work/small"
    for i in 1 2 3 4 5; do setup head -c 20000000 /dev/urandom >"$work/photos/p$i"; done
    setup mount -t tmpfs -o size=20m tmpfs "$work/small"
    mounts+=("$work/small")
    clear_reports
    set +e
    "$REDODORI_CONSOLE" --skip-errors "$work/photos" "$work/small" </dev/null >"$work/out" 2>&1
    status=$?
    set -e
    check_same "the status of a job that lost files" 1 "$status"
    summary=$(tr '\r' '\n' <"$work/out" | grep -E '^Copy [a-z]+: [0-9]' |
        sed 's/ *$//; s/, elapsed [0-9:]*, average [^,]*$//' || true)
    check_same "the summary of a job that lost files" \
        "Copy finished: 1 of 5 files, 20000000 of 100000000 bytes, 0 retries, 4 skips, 4 failed" \
        "$summary"
    # What did not fit is not left as a part that would pass for a whole photo.
    kept=$(cd "$work/small/photos" && ls)
    check_same "only whole copies stay" 1 "$(wc -w <<<"$kept")"
    for f in $kept; do check "$f is whole" cmp -s "$work/photos/$f" "$work/small/photos/$f"; done
    named=$(tr '\r' '\n' <"$work/out" | grep -c 'failed writing it (Error 28 - No space left on device)' || true)
    check_same "the files that did not fit, named" 4 "$named"
    check "the report names them" grep -q 'Error 28' "$(the_report)"
fi

finish error_causes
