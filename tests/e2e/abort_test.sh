#!/usr/bin/env bash
# One Abort ends the job: at a write error answered from the console wrapper, the question is
# asked once, the job ends aborted and nothing is asked again.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
setup mkdir -p "$work/src" "$work/closed"
printf 'data\n' >"$work/src/f"
# A destination that cannot be written: a read-only file system as root, a folder without
# write permission otherwise.
if [ "$(id -u)" -eq 0 ]; then
    mount -t tmpfs -o ro,size=1m tmpfs "$work/closed" 2>/dev/null ||
        skip_all "cannot mount a read-only tmpfs here"
    mounts+=("$work/closed")
else
    chmod 0555 "$work/closed"
fi

setup mkfifo "$work/keys"
"$REDODORI_CONSOLE" "$work/src/f" "$work/closed/d/" <"$work/keys" >"$work/out" 2>&1 &
wrapper=$!
pids+=("$wrapper")
exec 3>"$work/keys"
asked=0
for _ in $(seq 1 200); do
    grep -q "Can't write to the destination" "$work/out" && asked=1 && break
    sleep 0.1
done
check "the write error was not asked" test "$asked" -eq 1
printf 'a' >&3
# Ended within the guard's time, not hanging on a question asked again.
for _ in $(seq 1 200); do
    kill -0 "$wrapper" 2>/dev/null || break
    sleep 0.1
done
check "the job still runs after Abort" bash -c "! kill -0 $wrapper 2>/dev/null"
status=0
wait "$wrapper" || status=$?
exec 3>&-
check_same "the wrapper's exit status" 2 "$status"
check_same "how often the question was asked" 1 "$(grep -c "Can't write to the destination" "$work/out")"
check "the job did not say it was aborted" grep -q "Copy aborted" "$work/out"
# Nothing was written, and an Abort retries nothing.
check "the abort's counts" grep -qF "Copy aborted: 0 of 1 files, 0 of 5 bytes, 0 retries, 0 skips" "$work/out"

finish abort
