# Sourced by the end-to-end tests: a private work folder with its own store, data and runtime
# folders, and the helpers the tests share.

# The job line reads a "q" after its source field as the profile switch, so the work folder,
# which stands in target fields, must not contain one.
work=$(mktemp -d)
while [[ "$work" == *q* ]]; do
    rmdir "$work"
    work=$(mktemp -d)
done
# The state folder (resume lists) and the autostart folder are left for the program to make.
export REDODORI_CONFIG_DIR="$work/config" REDODORI_DATA_DIR="$work/data" XDG_RUNTIME_DIR="$work/run" \
    REDODORI_STATE_DIR="$work/state" XDG_CONFIG_HOME="$work/xdg-config"
mkdir -p "$work/run" && chmod 700 "$work/run"
# What the caller's session chose for Qt is not the test's: without a display the program draws
# off screen by itself, and a script that starts a display sets what it needs.
unset QT_QPA_PLATFORM

# At the script's exit, the processes it started (their ids in `pids`) are ended, what it
# mounted (in `mounts`) is unmounted, and the work folder goes. A script with more to undo sets
# a trap of its own.
pids=()
mounts=()
cleanup_work() {
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
    # And what those started in turn, a job its killed wrapper started among them: every
    # process whose command line names this script's own work folder.
    for p in $(pgrep -f -- "$work/" || true); do kill -KILL "$p" 2>/dev/null || true; done
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || true; done
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup_work EXIT

# strace with its arguments. LeakSanitizer cannot work under ptrace, so what a sanitizer build
# runs under it is not checked for leaks.
trace() { ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" strace "$@"; }

fail() { echo "FAIL: $*"; exit 1; }
expect() { grep -qF -- "$1" <<<"$2" || fail "expected '$1' in:"$'\n'"$2"; }

# Checks that go on after a failure: each failed check is told, and finish ends the script with
# all of them. Set-up that does not work is told apart and ends the script at once; a script
# that cannot test here skips with exit status 77 and says why.
failures=0
bad() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() {
    local what=$1
    shift
    "$@" || bad "$what"
}
# check_same WHAT EXPECTED ACTUAL: exact texts.
check_same() {
    [ "$2" = "$3" ] || bad "$(printf '%s\n  expected: %s\n  actual:   %s' "$1" "$2" "$3")"
}
setup_failed() {
    echo "SET-UP FAILED: $*"
    exit 2
}
setup() { "$@" || setup_failed "$*"; }
skip_all() {
    echo "SKIP: $*"
    exit 77
}
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$1: $failures check(s) failed"
        exit 1
    fi
    echo "$1: all checks passed"
}
# wait_for TEXT FILE: true once FILE holds TEXT; false after 30 seconds.
wait_for() {
    for _ in $(seq 300); do
        grep -qa -- "$1" "$2" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
# wait_for_file FILE: true once FILE exists; false after 30 seconds.
wait_for_file() {
    for _ in $(seq 300); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
# The program's own lines on stderr (the display's notes left out).
own_lines() { grep '^redodori' "$1" || true; }
# A job that skips or fails anything writes a report into the data folder's reports folder.
# clear_reports before such a job; the_report then names the one it wrote, or says that there
# is none or more than one.
clear_reports() { rm -rf "$REDODORI_DATA_DIR/reports"; }
the_report() {
    local found
    found=$(find "$REDODORI_DATA_DIR/reports" -type f 2>/dev/null || true)
    case $(grep -c . <<<"$found" || true) in
        0) echo "(no report)" ;;
        1) echo "$found" ;;
        *) echo "(several reports)" ;;
    esac
}

# The windows' own display: Xvfb picks a free number, xdotool gives the user's keys. A script
# without them skips.
start_display() {
    command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
        skip_all "needs Xvfb and xdotool (scripts/setup.sh installs them)"
    Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || setup_failed "Xvfb did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=":$(cat "$work/display")"
    unset WAYLAND_DISPLAY
}
# Waits up to 30 s for a shown window whose title matches PATTERN and gives it the keyboard
# (a window just mapped may not take it yet, and no window manager gives it back); prints its
# id, or nothing when none came.
focus_window() {
    local window='' deadline=$((SECONDS + 30))
    # A search fails at once when a window it looks at goes away meanwhile: searched again.
    while [ -z "$window" ] && [ "$SECONDS" -lt "$deadline" ]; do
        window=$(timeout 30 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null |
            head -1) || true
        [ -n "$window" ] || sleep 0.2
    done
    [ -n "$window" ] || return 0
    for _ in $(seq 50); do
        xdotool windowfocus --sync "$window" 2>/dev/null && break
        sleep 0.1
    done
    echo "$window"
}
# After a program of PROGRAM's that ended on a signal: the stacks of its threads from the core it
# left in the work folder (where the machine writes cores beside the crashed program), so that a
# crash seen once on a busy machine shows where it was. Says nothing when no core was written.
crash_stacks() {
    local core
    while IFS= read -r core; do
        if command -v gdb >/dev/null; then
            echo "stacks of the crashed program:"
            gdb -batch -nx -ex "thread apply all bt" "$1" "$core" 2>/dev/null | grep '^#\|^Thread'
        else
            echo "a core was left, and there is no gdb to read it"
        fi
        rm -f "$core"
    done < <(find "$work" -maxdepth 3 -type f \( -name core -o -name 'core.[0-9]*' \))
}
# Waits up to 90 s for the process JOB to end and puts its exit status in `status`; one that
# does not end is told and killed.
wait_job() {
    status=0
    if ! timeout 90 tail --pid="$1" -f /dev/null; then
        bad "the job did not end"
        kill "$1" 2>/dev/null || true
    fi
    wait "$1" || status=$?
}

# start_samba: the tests' own Samba server (tests/support/samba_server.sh) in $work/server, its
# port in `port`; skips where it cannot run here. The exit trap stops it (stop_samba) before the
# work folder goes; a script with a trap of its own calls both.
start_samba() {
    server="$work/server"
    # The server's user reaches the shares through the work folder.
    chmod 711 "$work"
    local started=0
    port=$("$SOURCE_DIR/tests/support/samba_server.sh" start "$server") || started=$?
    [ "$started" -eq 77 ] && skip_all "no Samba server here (needs root and smbd)"
    [ "$started" -eq 0 ] || setup_failed "the Samba server did not start"
    trap 'stop_samba; cleanup_work' EXIT
}
stop_samba() {
    "$SOURCE_DIR/tests/support/samba_server.sh" stop "$server"
}
