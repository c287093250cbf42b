#!/usr/bin/env bash
# Hand-offs at the two edges of a running job's life, where it cannot take sources, held there
# with strace: two g jobs that find each other while both still decide where to go, and a g job
# that meets a running job making its copies durable at its end, after its last node. Each
# sender runs by itself and says why, and every source is copied exactly once.
set -uo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/handoff_common.sh"
strace -f -o /dev/null -e trace=none true 2>/dev/null ||
    skip_all "strace is missing or cannot trace here; it holds the jobs at their edges"
mkdir -p "$work/src" || setup_failed "cannot make $work/src"
for name in one two first second; do
    head -c 5000 /dev/urandom >"$work/src/$name" || setup_failed "cannot write $work/src/$name"
done

# Both make their window endpoints, then wait two seconds (in the chmod that protects each
# endpoint), so that each finds the other before either has decided. On a machine so busy that
# one of them started only after the other had decided, that one attaches; its message must
# then be true like any other.
for name in one two; do
    trace -f -o /dev/null -e trace=chmod -e inject=chmod:delay_exit=2000000 \
        "$REDODORI" "|$work/src/$name|$work/together/|eg" 2>"$work/$name.err" &
    pids+=($!)
done
wait "${pids[0]}" || bad "the first job ended with status $?"
wait "${pids[1]}" || bad "the second job ended with status $?"
listing=$(history_sources)
attaching=0
for name in one two; do
    line=$(handoff_line "$work/$name.err")
    [ "$line" = "$attached" ] && attaching=$((attaching + 1))
    [ "$line" = "$(refused "it has not started its job yet")" ] || [ "$line" = "$attached" ] ||
        bad "together: the message of $name: $(cat "$work/$name.err")"
    check_sender "$work/src/$name" "$work/together" "$work/$name.err" "$listing"
done
[ "$attaching" -le 1 ] || bad "together: both jobs say they attached"

# The running job is held in syncfs, which it calls after its last node.
trace -f -o "$work/trace" -e trace=syncfs -e inject=syncfs:delay_enter=4000000 \
    "$REDODORI" "|$work/src/first|$work/end/|e" 2>"$work/first.err" &
first=$!
pids+=("$first")
for _ in $(seq 1 400); do
    grep -q syncfs "$work/trace" 2>/dev/null && break
    sleep 0.05
done
grep -q syncfs "$work/trace" || setup_failed "the running job did not reach its end"
"$REDODORI" "|$work/src/second|$work/end/|eg" 2>"$work/second.err" ||
    bad "the g job ended with status $?"
kill -0 "$first" 2>/dev/null || setup_failed "the running job ended before the g job asked it"
wait "$first" || bad "the running job ended with status $?"
[ "$(handoff_line "$work/second.err")" = "$(refused "its job is ending")" ] ||
    bad "at the end: the g job's message: $(cat "$work/second.err")"
listing=$(history_sources)
check_sender "$work/src/first" "$work/end" "$work/first.err" "$listing"
check_sender "$work/src/second" "$work/end" "$work/second.err" "$listing"
finish "hand-offs at the edges"
