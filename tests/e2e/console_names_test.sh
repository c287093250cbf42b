#!/usr/bin/env bash
# Names as a file system allows them, through the console wrapper: a line break in a source's
# name, at the top and inside a folder, is copied; the failure report keeps each entry on one
# line (escaped as coreutils' checksum lines are) with a space after its first word; the
# wrapper's output shows bytes that are not UTF-8 escaped; and a job whose only source is
# missing makes no destination folder.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export TMPDIR="$work/tmp"
src="$work/src"
setup mkdir -p "$work/tmp" "$src/folder" "$work/kept"
broken="$src/line"$'\n'"break"
inner="$src/folder/in"$'\n'"side"
printf 'top\n' >"$broken" || setup_failed "cannot name a file with a line break here"
printf 'inner\n' >"$inner" || setup_failed "cannot write $inner"
printf 'same\n' >"$src/same" || setup_failed "cannot write $src/same"
setup cp "$src/same" "$work/kept/same"

# Runs the wrapper with no input on a fresh reports folder; its exit status lands in $status.
console() {
    clear_reports
    set +e
    "$REDODORI_CONSOLE" "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
    set -e
}
# The job's last line and the lines under it, without the time and the speed.
end_lines() {
    sed 's/, elapsed [0-9:]*, average [^,]*$//' "$work/out" | sed -n '/^Copy [a-z]*: /,$p'
}

# A line break at the top and inside a folder: both copied, the destination the last path.
console "$broken" "$src/folder" "$work/copy/"
check_same "line breaks: exit status" 0 "$status"
check "line breaks: the top-level file" cmp -s "$broken" "$work/copy/line"$'\n'"break"
check "line breaks: the file in the folder" cmp -s "$inner" "$work/copy/folder/in"$'\n'"side"
check_same "line breaks: the summary" "Copy finished: 2 of 2 files, 10 of 10 bytes, 0 retries, 0 skips" \
    "$(end_lines)"

# Names that would break a line, a backslash, a byte that is not UTF-8 and a plain skip.
gone="$src/gone"$'\n'"line"$'\xff'
slash="$src/back\\slash"
console --skip-existing "$src/same" "$gone" "$slash" "$work/kept"
report=$(the_report)
esc_src=${src//\\/\\\\}
summary="Copy finished: 0 of 1 files, 0 of 5 bytes, 0 retries, 3 skips"
missing="failed, it cannot be reached (Error 2 - No such file or directory)"
check_same "escaped: exit status" 1 "$status"
check_same "escaped: the report" "$summary
\\failed $esc_src/gone\\nline\\xff: $missing
\\failed $esc_src/back\\\\slash: $missing
skipped $src/same -> $work/kept/same: skipped, the destination exists" "$(cat "$report" 2>&1)"
check_same "escaped: the console" "$summary
  $src/gone\\x0aline\\xff: $missing
  $src/back\\slash: $missing
  $src/same -> $work/kept/same: skipped, the destination exists
  Report: $report" "$(end_lines)"
check "escaped: no raw byte on the console" test "$(LC_ALL=C grep -c $'\xff' "$work/out")" = 0
check_same "escaped: nothing on stderr" "" "$(cat "$work/err")"

# Nothing to copy: the destination folder is not made, and not said to be.
console "$src/missing" "$work/never/"
check_same "missing: exit status" 1 "$status"
check_same "missing: the console" "Copy failed: 0 of 0 files, 0 of 0 bytes, 0 retries, 1 skips
  $src/missing: $missing
  Report: $(the_report)" "$(end_lines)"
check "missing: no destination folder" test ! -e "$work/never"
check_same "missing: nothing on stderr" "" "$(cat "$work/err")"

finish console_names
