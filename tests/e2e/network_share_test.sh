#!/usr/bin/env bash
# A share of the network as a job's destination, on a Samba server of the test's own: typed in
# the chooser as smb://host/share/, it is written straight through libsmbclient with the
# credentials the network view keeps, byte for byte and with no GVfs mount, though GVfs could
# make one on the test's session bus; with a wrong password the chooser says why, stays open,
# and closing it copies nothing. As root it runs in a network of its own.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_PLUGIN_DIR:?}" "${SOURCE_DIR:?}"

source "$(dirname "$0")/own_network.sh"
source "$(dirname "$0")/common.sh"
command -v dbus-daemon >/dev/null || skip_all "needs dbus-daemon (scripts/setup.sh installs it)"
start_samba
stop_all() {
    umount "$XDG_RUNTIME_DIR/gvfs" 2>/dev/null || true
    stop_samba
    cleanup_work
}
trap stop_all EXIT

# A session bus of the test's own, on which GVfs would start.
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) ||
    setup_failed "no session bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -1 <<<"$bus")
pids+=("$(tail -1 <<<"$bus")")

start_display

setup mkdir -p "$work/src/sub"
setup head -c 200000 /dev/urandom >"$work/src/sub/data"
printf 'text\n' >"$work/src/notes"

# Runs the job without a target with the network view knowing PASSWORD for the server, types
# the share SHARE into the chooser and presses Enter; AFTER runs next (the job's pid in $job).
run_to_share() {
    local password=$1 share="smb://127.0.0.1:$port/$2/" after=$3
    LD_LIBRARY_PATH="$REDODORI_PLUGIN_DIR" \
        REDODORI_TEST_HOSTS="127.0.0.1:$port|0|on|||nobody|$password" \
        "$REDODORI" "|$work/src||e" >"$work/out" 2>"$work/err" &
    job=$!
    pids+=("$job")
    if [ -z "$(focus_window "RedoDori to")" ]; then
        bad "no chooser appeared: $(cat "$work/err")"
        kill "$job" 2>/dev/null || true
        status=none
        return
    fi
    xdotool key Tab ctrl+a && xdotool type "$share" && xdotool key Return
    $after
    wait_job "$job"
}

# A wrong password: the server refuses it, the chooser says so and stays; Escape closes the
# message, then the chooser.
refused() {
    for _ in $(seq 300); do
        [ "$(xdotool search --onlyvisible --name "RedoDori to" | wc -l)" -ge 2 ] && break
        sleep 0.1
    done
    check "refused: the chooser told why" \
        test "$(xdotool search --onlyvisible --name "RedoDori to" | wc -l)" -ge 2
    xdotool key Escape
    if [ -n "$(focus_window "RedoDori to")" ]; then
        xdotool key Escape
    fi
}
run_to_share wrong-pw rw refused
check_same "refused: exit status" 0 "$status"
check "refused: nothing copied" test ! -e "$server/rw/src"
check "refused: stderr says why" grep -qx "redodori: smb://127.0.0.1:$port/rw/ could not be \
reached: the user name or password was refused" "$work/err"

run_to_share right-pw rw :
check_same "copied: exit status" 0 "$status"
# The share keeps no permissions of its own: that is told once, for the whole destination.
check_same "copied: summary" \
    "redodori: Copy finished: 2 of 2 files, 200005 of 200005 bytes, 0 retries, 0 skips
redodori:   smb://127.0.0.1:$port/rw: the copies have the permissions its file system gives \
them: it refused to change them (Error 95 - Operation not supported)" \
    "$(own_lines "$work/err" | grep -v '^redodori:   Report: ')"
check "copied: the share holds the tree" diff -r "$work/src" "$server/rw/src"
check "copied: no GVfs mount" test -z "$(ls -A "$XDG_RUNTIME_DIR/gvfs" 2>/dev/null)"
check "copied: no GVfs mount in the table" test -z "$(grep -F " $XDG_RUNTIME_DIR/gvfs " /proc/self/mountinfo)"

finish network_share_test
