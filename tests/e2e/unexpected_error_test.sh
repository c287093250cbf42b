#!/usr/bin/env bash
# An error that nothing in the program expects (an exception, made here by a preloaded library
# that throws when a chosen path is opened): on the job's thread and in a handler of the event
# loop, the program says so and ends with the final status 3, and the console wrapper says that
# the program failed and exits with status 4. Without a wrapper the program says so and ends.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${REDODORI_CONSOLE:?}" "${REDODORI_THROW_ON_OPEN_LIB:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
# A sanitizer's runtime must come first of all libraries, so nothing can be preloaded before it.
if ldd "$REDODORI" | grep -q 'lib[at]san'; then
    skip_all "a sanitizer build cannot take a preloaded library"
fi
export TMPDIR="$work/tmp"
setup mkdir -p "$work/tmp" "$work/src" "$work/d1" "$work/d2" "$work/d3"
printf 'data\n' >"$work/src/throws-here" || setup_failed "cannot write the source"
printf 'data\n' >"$work/src/plain" || setup_failed "cannot write the source"
# The history is written by the window thread at the end of the job, in a handler of its loop.
setup "$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' hist 1

# Runs the wrapper with the throwing open for paths holding $1; its exit status lands in $status.
console() {
    local marker=$1
    shift
    set +e
    LD_PRELOAD="$REDODORI_THROW_ON_OPEN_LIB" REDODORI_TEST_THROW_ON_OPEN="$marker" \
        "$REDODORI_CONSOLE" "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
    set -e
}
failed="redodori-console: the program failed: an unexpected error ended it"

# On the job's thread, while it opens a source.
console throws-here "$work/src/throws-here" "$work/d1"
check_same "job thread: exit status" 4 "$status"
check_same "job thread: what is said" \
    "redodori: an unexpected error ended the program: a test fault while opening $work/src/throws-here
$failed" "$(cat "$work/err")"
check "job thread: no summary" bash -c "! grep -q '^Copy' '$work/out'"

# On the window thread, in the event loop: the history is opened once the copy is done.
console history.txt "$work/src/plain" "$work/d2"
check_same "event loop: exit status" 4 "$status"
check_same "event loop: what is said" \
    "redodori: an unexpected error ended the program: a test fault while opening $work/data/history.txt
$failed" "$(cat "$work/err")"
check "event loop: the copy was made before" cmp -s "$work/src/plain" "$work/d2/plain"

# Without a wrapper: said on stderr, and the program ends with 1, a failure a script can see.
set +e
LD_PRELOAD="$REDODORI_THROW_ON_OPEN_LIB" REDODORI_TEST_THROW_ON_OPEN=throws-here \
    timeout 60 "$REDODORI" "|$work/src/throws-here|$work/d3/|e" 2>"$work/own.err"
status=$?
set -e
check_same "alone: exit status" 1 "$status"
check_same "alone: what is said" \
    "redodori: an unexpected error ended the program: a test fault while opening $work/src/throws-here" \
    "$(own_lines "$work/own.err")"

finish unexpected_error
