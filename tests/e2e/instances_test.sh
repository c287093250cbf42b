#!/usr/bin/env bash
# Jobs that meet: a second job attaching its sources to a running one (g), and a job waiting
# until the running ones have ended (G).
set -euo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
mkdir -p "$work/src"
wait_for() { for _ in $(seq 1 400); do [ -e "$1" ] && return 0; sleep 0.05; done; fail "timed out waiting for $1"; }

head -c 300000 /dev/urandom >"$work/src/slow"
head -c 4000 /dev/urandom >"$work/src/extra"

# The first job is slowed to 128 KiB/s in 4 KiB blocks; the second, a copy to the same
# destination (written otherwise), attaches its source to it.
(exec "$REDODORI" "|$work/src/slow|$work/first/|eLb1Lk2" 2>"$work/first.err") &
first=$!
pids+=("$first")
wait_for "$work/first/slow"
set +e
"$REDODORI" "|$work/src/extra|$work/first|eg" 2>"$work/second.err"
status=$?
set -e
[ "$status" -eq 0 ] || fail "the attaching job ended with $status"
grep -qx "redodori: Job attached to another RedoDori session" "$work/second.err" || fail "no attach message"
wait "$first"
cmp -s "$work/src/slow" "$work/first/slow" || fail "the running job's own file differs"
cmp -s "$work/src/extra" "$work/first/extra" || fail "the attached source was not copied by the running job"
grep -q "  From: $work/src/slow?$work/src/extra?" "$work/data/history.txt" || fail "history lacks the attached source"
[ "$(grep -c "  From: .*$work/src/extra?" "$work/data/history.txt")" -eq 1 ] || fail "the attached source was copied twice"

# With g and nobody running, the job runs by itself.
"$REDODORI" "|$work/src/extra|$work/alone/|eg" 2>/dev/null
cmp -s "$work/src/extra" "$work/alone/extra" || fail "g without a running job did not copy"

# A job killed outright leaves its window endpoint behind: a later g job finds no one behind
# it and runs by itself.
(exec "$REDODORI" "|$work/src/slow|$work/killed/|eLb1Lk2" 2>/dev/null) &
killed=$!
pids+=("$killed")
wait_for "$work/killed/slow"
kill -KILL "$killed"
wait "$killed" 2>/dev/null || true
ls "$work/run/redodori/" | grep -q '^TRedoDoriWnd\.' || fail "the killed job left no endpoint to test with"
"$REDODORI" "|$work/src/extra|$work/after-kill/|eg" 2>"$work/after-kill.err"
cmp -s "$work/src/extra" "$work/after-kill/extra" || fail "g after a killed job did not copy by itself"
grep -q "attached" "$work/after-kill.err" && fail "the job attached to a dead one"

# Datagrams of the wrong size at a running job's window are dropped; the job goes on.
(exec "$REDODORI" "|$work/src/slow|$work/noisy/|eLb1Lk2" 2>/dev/null) &
noisy=$!
pids+=("$noisy")
wait_for "$work/noisy/slow"
for endpoint in "$work"/run/redodori/TRedoDoriWnd.*; do
    perl -MIO::Socket::UNIX -e '
        my $s = IO::Socket::UNIX->new(Type => SOCK_DGRAM(), Peer => $ARGV[0]) or exit 0;
        # An abort (WMU_CONTROL 1) with a byte too many and with one too few.
        my $abort = pack("V Q< q<", 2238, 0, 1);
        $s->send($abort . "\0");
        $s->send(substr($abort, 0, 19));' "$endpoint"
done
wait "$noisy"
cmp -s "$work/src/slow" "$work/noisy/slow" || fail "a job that got bad datagrams did not finish its copy"

# G waits for the running job to end before it starts.
(exec "$REDODORI" "|$work/src/slow|$work/busy/|eLb1Lk2" 2>/dev/null) &
busy=$!
pids+=("$busy")
wait_for "$work/busy/slow"
"$REDODORI" "|$work/src/extra|$work/later/|eG" 2>/dev/null
# By now the busy job must have finished: the waiting one started only after it.
kill -0 "$busy" 2>/dev/null && fail "the waiting job did not wait for the running one"
cmp -s "$work/src/slow" "$work/busy/slow" || fail "the busy job's copy differs"
cmp -s "$work/src/extra" "$work/later/extra" || fail "the waiting job did not copy"
echo "instances: all checks passed"
