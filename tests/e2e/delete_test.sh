#!/usr/bin/env bash
# Delete jobs: a tree holding links (to a file, to a folder, dangling) and a fifo goes whole,
# while what the links point at stays; what cannot be removed is counted as a skip and named.
set -euo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"

setup mkdir -p "$work/tree/sub" "$work/outside/folder"
printf 'keep\n' >"$work/outside/keep"
printf 'a\n' >"$work/tree/a"
printf 'bb\n' >"$work/tree/sub/b"
setup ln -s "$work/outside/keep" "$work/tree/tofile"
setup ln -s "$work/outside/folder" "$work/tree/sub/tofolder"
setup ln -s nowhere "$work/tree/dangling"
setup mkfifo "$work/tree/sub/fifo"

"$REDODORI" "|$work/tree||eM" 2>"$work/err" || true
check "the tree is still there" test ! -e "$work/tree"
check "a link's file was removed or changed" test "$(cat "$work/outside/keep")" = keep
check "a link's folder was removed" test -d "$work/outside/folder"
check_same "the job's report" \
    "redodori: Delete finished: 6 of 6 files, 5 of 5 bytes, 0 retries, 0 skips" "$(own_lines "$work/err")"

# A folder that cannot be removed: a mount point as root, a folder without write permission
# otherwise. It and the folder holding it are named.
setup mkdir -p "$work/tree2/stuck"
printf 'x\n' >"$work/tree2/x"
if [ "$(id -u)" -eq 0 ]; then
    mount -t tmpfs -o size=1m tmpfs "$work/tree2/stuck" 2>/dev/null ||
        skip_all "cannot mount a tmpfs to make a folder that cannot be removed"
    mounts+=("$work/tree2/stuck")
    reason="Error 16 - Device or resource busy"
    skips=2
else
    printf 'y\n' >"$work/tree2/stuck/y"
    chmod 0555 "$work/tree2/stuck"
    reason="Error 39 - Directory not empty"
    # The file in it cannot be removed either.
    skips=3
fi
clear_reports
"$REDODORI" "|$work/tree2||eM" 2>"$work/err" || true
check "the removable file stayed" test ! -e "$work/tree2/x"
check "the stuck folder went" test -d "$work/tree2/stuck"
lines=$(own_lines "$work/err")
check_same "the named folders" \
    "redodori:   $work/tree2/stuck: not removed ($reason)
redodori:   $work/tree2: not removed (Error 39 - Directory not empty)
redodori:   Report: $(the_report)" "$(tail -n 3 <<<"$lines")"
check "the skips are not counted" grep -q ", $skips skips\$" <<<"$(head -n 1 <<<"$lines")"

finish delete
