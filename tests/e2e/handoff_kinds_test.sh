#!/usr/bin/env bash
# A copy started with g towards a running job of another kind, or with other destinations, is
# not taken: it runs by itself, says why, and its source is left alone by the running job. The
# running job is started paused (switch p), so that it surely runs when the hand-off comes; one
# of the same kind and destinations, written otherwise, takes the source.
set -uo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/handoff_common.sh"

# name | switches of the running job | its destination | the g job's destination | message
cases=(
    "delete|eMp|run/|run/|$(refused "its job is of another kind")"
    "move|emp|run/|run/|$(refused "its job is of another kind")"
    "elsewhere|ep|run/|other/|$(refused "its destinations differ")"
    "same|ep|run/|run/./x/..//|$attached"
)

for entry in "${cases[@]}"; do
    IFS='|' read -r name switches runs_to given_to message <<<"$entry"
    dir="$work/$name"
    mkdir -p "$dir/victim" "$dir/src" || setup_failed "cannot make $dir"
    head -c 3000 /dev/urandom >"$dir/victim/own" && head -c 4000 /dev/urandom >"$dir/src/handed" &&
        cp "$dir/src/handed" "$dir/handed.orig" || setup_failed "cannot write the files of $name"
    "$REDODORI" "|$dir/victim|$dir/$runs_to|$switches" 2>"$dir/running.err" &
    running=$!
    pids+=("$running")
    # Its destinations are parsed right before it takes hand-offs, in the same step.
    wait_for "$dir/run" || setup_failed "$name: the running job did not start"

    "$REDODORI" "|$dir/src/handed|$dir/$given_to|eg" 2>"$dir/given.err" ||
        bad "$name: the g job ended with status $?"
    control 3
    wait "$running" || bad "$name: the running job ended with status $?"

    [ "$(handoff_line "$dir/given.err")" = "$message" ] ||
        bad "$name: the g job's message: $(cat "$dir/given.err")"
    cmp -s "$dir/handed.orig" "$dir/src/handed" || bad "$name: the g job's source was touched"
    check_sender "$dir/src/handed" "$dir/${given_to%%/*}" "$dir/given.err" "$(history_sources)"
done
finish "hand-off to other jobs"
