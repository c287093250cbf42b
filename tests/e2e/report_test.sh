#!/usr/bin/env bash
# The failure report of a job run from redodori-console that skipped or failed files: written
# into the private reports folder with one line for each file, named in the history entry and
# under the job's last line, where the first 20 files are named. A job that left nothing out
# writes none; a report that cannot be written is said so, and the job still ends as it would.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
history="$work/data/history.txt"
setup mkdir -p "$work/src" "$work/data"
setup "$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' hist 1
printf 'data\n' >"$work/src/f"
missing="failed, it cannot be reached (Error 2 - No such file or directory)"

# Runs the wrapper on a fresh reports folder with no input; its exit status lands in $status.
console() {
    clear_reports
    set +e
    "$REDODORI_CONSOLE" "$@" </dev/null >"$work/out" 2>"$work/console.err"
    status=$?
    set -e
}
# The job's last line and the lines under it, as the terminal shows them.
end_lines() {
    # The summary's time and speed vary from run to run.
    tr '\r' '\n' <"$work/out" | sed 's/ *$//; s/, elapsed [0-9:]*, average [^,]*$//' | awk '
        /^$/ { next }
        /^(Copy|Move|Delete) [a-z]+: [0-9]+ of / { on = 1; print; next }
        on && /^(  |No failure report)/ { print; next }
        { on = 0 }'
}
# The last two lines of the last history entry, without their carriage returns.
entry_end() {
    awk 'BEGIN { RS = "\r\n\r\n" } { e = $0 } END { print e }' "$history" | tr -d '\r' | tail -n 2
}

# More than 20: the console names 20 and points at the report, which names them all.
names=()
for i in $(seq -w 1 22); do names+=("$work/src/m$i"); done
console "$work/src/f" "${names[@]}" "$work/d1"
report=$(the_report)
summary="Copy finished: 1 of 1 files, 5 of 5 bytes, 0 retries, 22 skips"
written=$summary shown=$summary
for i in "${!names[@]}"; do
    written+=$'\n'"failed ${names[i]}: $missing"
    [ "$i" -lt 20 ] && shown+=$'\n'"  ${names[i]}: $missing"
done
check_same "22 skips: exit status" 1 "$status"
check_same "22 skips: the reports folder's mode" 700 "$(stat -c %a "$work/data/reports")"
check_same "22 skips: the report's mode" 600 "$(stat -c %a "$report" 2>&1)"
check_same "22 skips: the report" "$written" "$(cat "$report" 2>&1)"
check_same "22 skips: the console" "$shown"$'\n'"  and 2 more, see $report" "$(end_lines)"
check_same "22 skips: the history entry" "  To:   $work/d1/?"$'\n'"  Report: $report" "$(entry_end)"

# A few, a skip and a failure: all named, and the report after them.
console --overwrite "$work/src/nope" "$work/src/f" "$work/src"
report=$(the_report)
summary="Copy finished: 0 of 1 files, 0 of 5 bytes, 0 retries, 2 skips"
check_same "2 skips: exit status" 1 "$status"
check_same "2 skips: the report" "$summary
failed $work/src/nope: $missing
skipped $work/src/f: skipped, the destination is the source itself" "$(cat "$report" 2>&1)"
check_same "2 skips: the console" "$summary
  $work/src/nope: $missing
  $work/src/f: skipped, the destination is the source itself
  Report: $report" "$(end_lines)"
check_same "2 skips: the history entry" "  To:   $work/src/?"$'\n'"  Report: $report" "$(entry_end)"

# Nothing left out: no report, and nothing says there is one.
console "$work/src/f" "$work/d3/"
check_same "clean: exit status" 0 "$status"
check_same "clean: a report" "(no report)" "$(the_report)"
check_same "clean: the console" "Copy finished: 1 of 1 files, 5 of 5 bytes, 0 retries, 0 skips" \
    "$(end_lines)"
check_same "clean: the history entry" "  From: $work/src/f?"$'\n'"  To:   $work/d3/?" "$(entry_end)"

# A reports folder that is not one: the report is lost, said so, and nothing else is.
rm -rf "$work/data/reports"
printf 'mine\n' >"$work/data/reports"
set +e
"$REDODORI_CONSOLE" "$work/src/f" "$work/src/nope" "$work/d4" </dev/null >"$work/out" 2>&1
status=$?
set -e
check_same "unwritable: exit status" 1 "$status"
check_same "unwritable: the console" "Copy finished: 1 of 1 files, 5 of 5 bytes, 0 retries, 1 skips
  $work/src/nope: $missing
No failure report was written: the reports folder $work/data/reports is not a folder; refusing to use it" \
    "$(end_lines)"
check_same "unwritable: what stood there" mine "$(cat "$work/data/reports")"
check "unwritable: the copy" cmp -s "$work/src/f" "$work/d4/f"
check_same "unwritable: the history entry" "  From: $work/src/f?$work/src/nope?"$'\n'"  To:   $work/d4/?" \
    "$(entry_end)"

# Without the wrapper, the program's own end lines on stderr: a name with an escape sequence is
# shown with it escaped, and no raw control character reaches the terminal.
clear_reports
red=$'red\e[31m'
"$REDODORI" "|$work/src/$red|$work/d5/|e" 2>"$work/own.err" || true
check_same "escaped: the line naming it" \
    "redodori:   $work/src/red\x1b[31m: $missing" "$(grep -F 'red\x1b' "$work/own.err")"
check "escaped: no control character" test -z "$(tr -d '\n' <"$work/own.err" | tr -d '[:print:]')"

finish report
