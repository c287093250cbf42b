#!/usr/bin/env bash
# Jobs started with g at nearly the same time, in rounds of two and of three, 0-250 ms apart,
# each with a source of its own and all with the same destination: every source is copied
# exactly once, and every job's message is true. The copies are slowed to 128 KiB/s so that a
# job still runs, or is just ending, when the next one starts.
set -uo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/handoff_common.sh"
rounds=${HANDOFF_ROUNDS:-50}
declare -A outcomes=()

run_round() {
    local dir="$work/$1" jobs=$2 k round=() listing line
    mkdir -p "$dir/src" || setup_failed "cannot make $dir/src"
    for k in $(seq 1 "$jobs"); do
        head -c $((8000 + RANDOM % 16000)) /dev/urandom >"$dir/src/s$k" ||
            setup_failed "cannot write $dir/src/s$k"
    done
    for k in $(seq 1 "$jobs"); do
        [ "$k" -eq 1 ] || sleep "0.$(printf %03d $((RANDOM % 251)))"
        "$REDODORI" "|$dir/src/s$k|$dir/dst/|eLb1Lk2g" 2>"$dir/err$k" &
        round+=($!)
        pids+=($!)
    done
    for k in $(seq 1 "$jobs"); do
        wait "${round[k - 1]}" || bad "$1: job $k ended with status $?"
    done
    listing=$(history_sources)
    for k in $(seq 1 "$jobs"); do
        check_sender "$dir/src/s$k" "$dir/dst" "$dir/err$k" "$listing"
        line=$(handoff_line "$dir/err$k")
        line=${line:-(no hand-off line: no running job found)}
        outcomes[$line]=$((${outcomes[$line]:-0} + 1))
    done
}

for round in $(seq 1 "$rounds"); do
    run_round "two-$round" 2
    run_round "three-$round" 3
done

# Only these lines may be printed; which ones come depends on the timing.
for line in "${!outcomes[@]}"; do
    echo "${outcomes[$line]} x $line"
    case "$line" in
    "$attached" | "(no hand-off line: no running job found)" | "$(refused "it has not started its job yet")" | \
        "$(refused "its job is ending")" | "$(refused "the hand-off could not be sent")" | \
        "$(refused "the hand-off arrived too late")" | "$(refused "no answer came")") ;;
    *) bad "unexpected message: $line" ;;
    esac
done
finish "hand-off rounds"
