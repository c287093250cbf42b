#!/usr/bin/env bash
# Under a Wayland compositor (weston's headless back end) the windows open without a word from
# the windowing system: a small job runs to its end, a job with an existing destination waits at
# its question, a job without a destination waits at the chooser, and every window (progress,
# queue, both prompts, countdown, chooser, resume manager, settings) is drawn.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_SCREENSHOTS:?}"

source "$(dirname "$0")/common.sh"
command -v weston >/dev/null || skip_all "weston is not installed"
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null ||
    skip_all "Qt's Wayland platform is not installed"
unset DISPLAY
# A full path: the pictures' job runs with a runtime folder of its own.
export WAYLAND_DISPLAY="$XDG_RUNTIME_DIR/wayland-rd" QT_QPA_PLATFORM=wayland
weston --backend=headless-backend.so --socket=wayland-rd --idle-time=0 >"$work/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 200); do
    [ -S "$WAYLAND_DISPLAY" ] && break
    sleep 0.05
done
[ -S "$WAYLAND_DISPLAY" ] || setup_failed "weston did not start: $(cat "$work/weston.log")"

# Anything on stderr that is not the program's own line is the windowing system speaking.
foreign_lines() { grep -v '^redodori' "$1" || true; }
# Waits up to 3 s for process $1 to end; true when it still runs after that.
still_waits() {
    for _ in $(seq 1 30); do
        kill -0 "$1" 2>/dev/null || return 1
        sleep 0.1
    done
}

setup mkdir -p "$work/src/tree" "$work/dst/tree"
printf 'one\n' >"$work/src/tree/one"
printf 'two\n' >"$work/src/tree/two"

status=0
timeout 60 "$REDODORI" "|$work/src/tree|$work/copy/|e" 2>"$work/err" || status=$?
check_same "a small job: exit status" 0 "$status"
check "a small job: copied" diff -r "$work/src/tree" "$work/copy/tree"
check_same "a small job: nothing but the program's lines" "" "$(foreign_lines "$work/err")"

# An existing destination and no policy: the question is shown and waits for its answer.
printf 'older\n' >"$work/dst/tree/one"
"$REDODORI" "|$work/src/tree|$work/dst/|e" 2>"$work/err" &
job=$!
pids+=("$job")
check "the question waits for an answer" still_waits "$job"
check_same "the question: nothing but the program's lines" "" "$(foreign_lines "$work/err")"
check_same "the question: the destination is kept meanwhile" "older" "$(cat "$work/dst/tree/one")"
kill -TERM "$job" 2>/dev/null || true
wait "$job" 2>/dev/null || true

# No destination: the chooser is shown and waits.
"$REDODORI" "|$work/src/tree||e" 2>"$work/err" &
job=$!
pids+=("$job")
check "the chooser waits for a destination" still_waits "$job"
check_same "the chooser: nothing but the program's lines" "" "$(foreign_lines "$work/err")"
kill -TERM "$job" 2>/dev/null || true
wait "$job" 2>/dev/null || true

# Every window, drawn on the compositor.
status=0
timeout 120 "$REDODORI_SCREENSHOTS" "$work/shots" "$work/job" >"$work/out" 2>"$work/err" || status=$?
check_same "the windows' pictures: exit status" 0 "$status"
for name in progress_window queue_window exists_prompt error_prompt shutdown_countdown chooser \
    resume_manager settings_dialog; do
    check "$name.png drawn" test -s "$work/shots/$name.png"
done
check_same "the windows: nothing but the program's lines" "" "$(foreign_lines "$work/err")"

finish wayland
