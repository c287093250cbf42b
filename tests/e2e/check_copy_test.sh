#!/usr/bin/env bash
# bench/check_copy.sh, which checks every copy the bench makes: it passes a copy made by the real
# program, and finds each kind of difference made in that copy afterwards, even one that keeps
# the file's size and the second of its time.
set -euo pipefail
: "${REDODORI_CONSOLE:?}" "${SOURCE_DIR:?}"
source "$(dirname "$0")/common.sh"
export REDODORI_FAKE_POWEROFF="$work/poweroff"
unset DISPLAY WAYLAND_DISPLAY
checker=$SOURCE_DIR/bench/check_copy.sh

setup mkdir -p "$work/src/tree/sub/deep"
setup head -c 200000 /dev/urandom >"$work/src/tree/sub/big"
printf 'small\n' >"$work/src/tree/small"
: >"$work/src/tree/empty"
setup ln -s small "$work/src/tree/link"
setup chmod 640 "$work/src/tree/small"
setup chmod 750 "$work/src/tree/sub"
setup touch -d '2021-03-04 05:06:07.123456789' "$work/src/tree/small" "$work/src/tree/sub/deep"

# fresh_copy: the tree copied by the program into $work/d/tree.
fresh_copy() {
    chmod -R u+w "$work/d" 2>/dev/null || true
    rm -rf "$work/d"
    mkdir "$work/d"
    "$REDODORI_CONSOLE" --no-window "$work/src/tree" "$work/d/" >"$work/job.out" 2>&1 ||
        setup_failed "the job failed: $(cat "$work/job.out")"
}
# differs WHAT: the checker must fail on the copy as it is now, with status 1, and say why.
differs() {
    local status=0
    "$checker" "$work/src/tree" "$work/d/tree" 2>"$work/check.err" || status=$?
    check_same "$1: exit status" 1 "$status"
    grep -q "differ" "$work/check.err" || bad "$1: no difference named: $(cat "$work/check.err")"
}

fresh_copy
check "the program's copy passes" "$checker" "$work/src/tree" "$work/d/tree"
check "a single file passes" "$checker" "$work/src/tree/small" "$work/d/tree/small"

touch -d '2021-03-04 05:06:07.123456788' "$work/d/tree/small"
differs "a modification time one nanosecond off"
fresh_copy
chmod 600 "$work/d/tree/small"
differs "a file's mode"
fresh_copy
chmod 700 "$work/d/tree/sub"
touch -r "$work/src/tree/sub" "$work/d/tree/sub"
differs "a folder's mode"
fresh_copy
touch -d '2000-01-01' "$work/d/tree"
differs "the top folder's time"
fresh_copy
ln -sfn sub "$work/d/tree/link"
differs "a link's target"
fresh_copy
printf 'SMALL\n' >"$work/d/tree/small"
touch -r "$work/src/tree/small" "$work/d/tree/small"
touch -r "$work/src/tree" "$work/d/tree"
differs "contents of the same size and time"
fresh_copy
rm "$work/d/tree/empty"
touch -r "$work/src/tree" "$work/d/tree"
differs "a missing file"
if [ "$(id -u)" -eq 0 ]; then
    fresh_copy
    chown -h 1234:1234 "$work/d/tree/sub/big"
    differs "a file's owner"
fi

status=0
"$checker" "$work/src/tree" "$work/missing" 2>/dev/null || status=$?
check_same "a missing copy" 1 "$status"
status=0
"$checker" "$work/src/tree" 2>/dev/null || status=$?
check_same "one argument" 2 "$status"

finish check_copy
