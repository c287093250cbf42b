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

# Files that cannot be written for one cause are asked about once: here the folder that could not
# be made, which the question and every file's line name. A link there fails for the same cause.
setup mkdir -p "$work/tree/sub"
for f in f1 f2 sub/g1 sub/g2; do printf 'x\n' >"$work/tree/$f"; done
setup ln -s f1 "$work/tree/link"
clear_reports
"$REDODORI_CONSOLE" "$work/tree" "$work/closed/d" </dev/null >"$work/out" 2>&1 || true
tr '\r' '\n' <"$work/out" >"$work/lines"
check_same "one question for a folder that could not be made" 1 \
    "$(grep -c '^Copy process error' "$work/lines")"
check_same "the question names the folder" "File: $work/closed/d/" "$(grep '^File: ' "$work/lines")"
check_same "each file names the folder and its cause" \
    "  $work/tree/f1 -> $work/closed/d/tree/f1: failed making its folder $work/closed/d ($cause)
  $work/tree/f2 -> $work/closed/d/tree/f2: failed making its folder $work/closed/d ($cause)
  $work/tree/link -> $work/closed/d/tree/link: failed making its folder $work/closed/d ($cause)
  $work/tree/sub/g1 -> $work/closed/d/tree/sub/g1: failed making its folder $work/closed/d ($cause)
  $work/tree/sub/g2 -> $work/closed/d/tree/sub/g2: failed making its folder $work/closed/d ($cause)" \
    "$(grep ' -> ' "$work/lines")"
# Files written straight into a read-only file system: one question for all of them.
if [ "$(id -u)" -eq 0 ]; then
    "$REDODORI_CONSOLE" "$work/tree/f1" "$work/tree/f2" "$work/tree/sub/g1" "$work/closed" \
        </dev/null >"$work/out" 2>&1 || true
    tr '\r' '\n' <"$work/out" >"$work/lines"
    check_same "one question for a read-only file system" 1 \
        "$(grep -c '^Copy process error' "$work/lines")"
    check_same "every file failed for it" 3 "$(grep -c "failed writing it ($cause)" "$work/lines")"
fi

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
