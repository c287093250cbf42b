#!/usr/bin/env bash
# Each destination file of a job is written by one source: two sources of one name (given side by
# side, or met in two folders that merge) never write over each other's copy, even with
# overwrite on; the later one is skipped and named, and on a move it stays where it is. A file
# that was there before the job is still overwritten as asked.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}" "${REDODORI_REG:?}"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY

run() {
    set +e
    "$REDODORI_CONSOLE" "$@" </dev/null >"$work/out" 2>&1
    status=$?
    set -e
}
# The console's end lines: the summary without its times, then the files it names.
end_lines() {
    tr '\r' '\n' <"$work/out" | sed 's/, elapsed [0-9:]*, average .*$//' |
        awk '/^(Copy|Move|Delete) [a-z]+: / { on = 1 } on && !/^  Report: / { print }'
}

# Two sources of one name moved with overwrite: the first one's copy stands, the second stays.
setup mkdir -p "$work/a" "$work/b" "$work/dst"
printf 'from a\n' >"$work/a/f"
printf 'from b\n' >"$work/b/f"
printf 'new g\n' >"$work/a/g"
printf 'old g\n' >"$work/dst/g"
run --move --overwrite "$work/a/f" "$work/a/g" "$work/b/f" "$work/dst"
check_same "move: exit status" 1 "$status"
check_same "move: the copy is the first source's" "from a" "$(cat "$work/dst/f")"
check_same "move: the second source stays" "from b" "$(cat "$work/b/f" 2>&1)"
check "move: the first source went" test ! -e "$work/a/f"
check_same "move: a file that was there before is overwritten" "new g" "$(cat "$work/dst/g")"
check_same "move: the end lines" "Move finished: 2 of 3 files, 13 of 20 bytes, 0 retries, 1 skips
  $work/b/f: skipped, it would replace $work/dst/f, written by this job from $work/a/f" \
    "$(end_lines)"
check "move: the report names it" grep -qF \
    "skipped $work/b/f: skipped, it would replace $work/dst/f, written by this job from $work/a/f" \
    "$(the_report)"

# Two folders that merge into one: each name is written once, by the first folder, also to a
# second destination and with the writers in parallel.
setup mkdir -p "$work/x/d/sub" "$work/y/d/sub"
for i in 1 2 3; do
    printf 'x%s\n' "$i" >"$work/x/d/sub/f$i"
    printf 'y%s\n' "$i" >"$work/y/d/sub/f$i"
done
printf 'only y\n' >"$work/y/d/sub/mine"
for parcopy in 0 1; do
    setup "$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' parcopy "$parcopy"
    rm -rf "$work/m1" "$work/m2"
    "$REDODORI" "|$work/x/d?$work/y/d|$work/m1/?$work/m2/|ew" 2>"$work/err" || true
    for m in m1 m2; do
        for i in 1 2 3; do
            check_same "parcopy $parcopy: $m/f$i is the first folder's" "x$i" \
                "$(cat "$work/$m/d/sub/f$i")"
        done
        check_same "parcopy $parcopy: $m/mine" "only y" "$(cat "$work/$m/d/sub/mine")"
    done
    check_same "parcopy $parcopy: the later copies are named" 6 \
        "$(grep -c "written by this job from $work/x/d/sub/f" "$work/err" || true)"
done

finish one_writer
