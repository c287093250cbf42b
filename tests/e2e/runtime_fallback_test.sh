#!/usr/bin/env bash
# Without XDG_RUNTIME_DIR the runtime folder lies in the temporary folder, where another user
# may have made <TMPDIR>/redodori-<uid> first. That folder is not used: the jobs meet in
# <TMPDIR>/redodori-<uid>-1 instead, the console wrapper still runs a job to its end, and a
# second job still finds a running one and hands its source over.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"
source "$(dirname "$0")/common.sh"
[ "$(id -u)" -eq 0 ] || skip_all "only root can make a folder for another user (chown)"
id nobody >/dev/null 2>&1 || skip_all "needs the user nobody"
unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR
export QT_QPA_PLATFORM=offscreen
export TMPDIR="$work/tmp"

planted="$TMPDIR/redodori-$(id -u)"
ours="$planted-1"
setup mkdir -p "$planted" "$work/src"
setup chmod 700 "$planted"
setup chown nobody "$planted"
{ head -c 300000 /dev/urandom >"$work/src/slow" && echo extra >"$work/src/extra"; } ||
    setup_failed "cannot write the sources"

# Waits up to 20 s for a file matching the glob $1; true when one came.
wait_for_glob() {
    local _ found
    for _ in $(seq 1 400); do
        found=$(compgen -G "$1" || true)
        [ -n "$found" ] && return 0
        sleep 0.05
    done
    return 1
}
owner_and_mode() { stat -c '%U %a' "$1" 2>/dev/null || echo "(missing)"; }

# The console wrapper and its job meet on the bus.
status=0
timeout -k 5 120 "$REDODORI_CONSOLE" "$work/src/slow" "$work/console/" \
    </dev/null >"$work/console.out" 2>&1 || status=$?
check_same "the console wrapper's exit status ($(tail -3 "$work/console.out"))" 0 "$status"
cmp -s "$work/src/slow" "$work/console/slow" || bad "the console wrapper's job did not copy"
check_same "the runtime folder the jobs use" "root 700" "$(owner_and_mode "$ours")"
check_same "the planted folder's owner and mode" "nobody 700" "$(owner_and_mode "$planted")"
check_same "what was put into the planted folder" "" "$(ls -A "$planted")"

# A running job, slowed to 4 KiB blocks at 128 KiB/s, and a second one to the same destination
# that attaches to it.
(exec "$REDODORI" "|$work/src/slow|$work/first/|enLb1Lk2" 2>"$work/first.err") &
first=$!
pids+=("$first")
if wait_for_glob "$ours/TRedoDoriWnd.*"; then
    status=0
    "$REDODORI" "|$work/src/extra|$work/first/|eng" 2>"$work/second.err" || status=$?
    check_same "the second job's exit status" 0 "$status"
    check_same "the second job's hand-off" "redodori: Job attached to another RedoDori session" \
        "$(grep '^redodori: Job' "$work/second.err" || true)"
    wait_job "$first"
    check_same "the first job's exit status" 0 "$status"
    cmp -s "$work/src/extra" "$work/first/extra" || bad "the running job did not copy the handed source"
else
    bad "the running job made no window endpoint in $ours"
fi
check_same "what was put into the planted folder at last" "" "$(ls -A "$planted")"
finish runtime_fallback
