#!/usr/bin/env bash
# Jobs whose destination is their own source: a move onto the source's folder, the same through
# a link to that folder, a source given with ".." in it. The sources stay whole; each file is a
# skip, counted and named. And a ".." in a source never carries a copy out of its destination.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"

# A fresh source folder t/src holding a (6 bytes) and b (6 bytes).
fresh() {
    rm -rf "$work/t"
    setup mkdir -p "$work/t/src/sub"
    printf 'hello\n' >"$work/t/src/a"
    printf 'world\n' >"$work/t/src/b"
}
intact() {
    [ "$(cat "$work/t/src/a")" = hello ] && [ "$(cat "$work/t/src/b")" = world ] &&
        [ "$(ls "$work/t/src")" = "$(printf 'a\nb\nsub')" ]
}
expected_lines() {
    printf 'redodori: %s finished: 0 of 2 files, 0 of 12 bytes, 0 retries, 2 skips\n' "$1"
    printf 'redodori:   %s/a: skipped, the destination is the source itself\n' "$2"
    printf 'redodori:   %s/b: skipped, the destination is the source itself\n' "$2"
    printf 'redodori:   Report: %s\n' "$(the_report)"
}

setup ln -s "$work/t" "$work/via"
# Line, the folder the copies would be written to, what kind of job.
cases=(
    "|$work/t/src|$work/t/|emu" "$work/t/src" Move
    "|$work/t/src|$work/t/|emw" "$work/t/src" Move
    "|$work/t/src|$work/t/|emo" "$work/t/src" Move
    "|$work/t/src|$work/t/|emwr" "$work/t/src" Move
    "|$work/t/src|$work/via/|emu" "$work/via/src" Move
    "|$work/t/src/sub/..|$work/t/|emw" "$work/t/src" Move
    "|$work/t/src/a?$work/t/src/b|$work/t/src/|ew" "$work/t/src" Copy
    "|$work/t/src/a?$work/t/src/b|$work/via/src/|emu" "$work/via/src" Move
)
for ((i = 0; i < ${#cases[@]}; i += 3)); do
    line=${cases[i]} folder=${cases[i + 1]} kind=${cases[i + 2]}
    fresh
    clear_reports
    "$REDODORI" "$line" 2>"$work/err" || true
    check "$line: the sources are not intact" intact
    check "$line: a file was renamed aside" test ! -e "$work/t/src/vn_rename.a"
    check_same "$line: the job's report" "$(expected_lines "$kind" "$folder")" "$(own_lines "$work/err")"
done

# The same with parallel reading and writing.
fresh
"$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' parcopy 1
clear_reports
"$REDODORI" "|$work/t/src|$work/via/|emu" 2>"$work/err" || true
check "parallel: the sources are not intact" intact
check_same "parallel: the job's report" "$(expected_lines Move "$work/via/src")" "$(own_lines "$work/err")"
"$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' parcopy 0

# A ".." in a source: the copy lands inside the destination and nowhere else.
fresh
printf 'deep\n' >"$work/t/src/sub/c"
setup mkdir -p "$work/out"
"$REDODORI" "|$work/t/src/sub/..|$work/out/in/|e" 2>"$work/err" || true
check "..: something landed beside the destination" test "$(ls "$work/out")" = in
check "..: the copy differs" diff -r "$work/t/src" "$work/out/in/src"
check_same "..: the job's report" \
    "redodori: Copy finished: 3 of 3 files, 17 of 17 bytes, 0 retries, 0 skips" "$(own_lines "$work/err")"

finish own_sources
