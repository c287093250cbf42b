#!/usr/bin/env bash
# redodori without a job opens the settings dialog alone (off screen without a display) and
# ends with status 0 once it is closed; SIGTERM closes it as its Cancel does. The local and the
# network profile, and a damaged store, which the dialog still opens over.
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY

# Starts the dialog with ARGS, waits until it has opened the settings store (it takes the
# closing signal from then on), closes it and checks how it ended.
dialog_round() {
    local what=$1
    shift
    "$REDODORI" "$@" >"$work/out" 2>"$work/err" &
    local pid=$!
    pids+=("$pid")
    local waited=0
    until ls -l "/proc/$pid/fd" 2>/dev/null | grep -q 'registry.db$'; do
        if ! kill -0 "$pid" 2>/dev/null; then
            bad "$what: the program ended before its dialog opened: $(cat "$work/err")"
            return
        fi
        waited=$((waited + 1))
        [ "$waited" -lt 600 ] || setup_failed "$what: the dialog did not open"
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null || bad "$what: the dialog did not stay open"
    kill -TERM "$pid"
    local status=0
    wait "$pid" || status=$?
    check_same "$what: status once closed" 0 "$status"
    check_same "$what: the program's own lines" "" "$(own_lines "$work/err")"
    check "$what: no job runs" test ! -s "$work/out"
}

dialog_round "no argument"
dialog_round "settings-only line, network profile" '|||q1'
dialog_round "settings-only line" '|||'

# A store that is no database: the dialog opens over a fresh one, and the damaged file is kept.
mkdir -p "$REDODORI_CONFIG_DIR"
printf 'this is not a database' >"$REDODORI_CONFIG_DIR/registry.db"
"$REDODORI" >"$work/out" 2>"$work/err" &
pid=$!
pids+=("$pid")
for _ in $(seq 600); do
    ls -l "/proc/$pid/fd" 2>/dev/null | grep -q 'registry.db$' && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -TERM "$pid" 2>/dev/null
status=0
wait "$pid" || status=$?
check_same "damaged store: status once closed" 0 "$status"
check "damaged store: the damaged file is kept aside" \
    test -n "$(find "$REDODORI_CONFIG_DIR" -name 'registry.db?*' ! -name '*-wal' ! -name '*-shm')"

finish settings_dialog_test
