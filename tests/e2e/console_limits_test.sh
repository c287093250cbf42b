#!/usr/bin/env bash
# The console wrapper's speed limits: a limited job's average, in the units --limit takes, is
# never above its limit; a rate between the job's limits or above them is said, a number
# without a unit is refused, and 0 is no limit, whatever the stored settings hold.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export TMPDIR="$work/tmp"
setup mkdir -p "$work/tmp" "$work/src" "$work/dst/5g" "$work/dst/100k" "$work/dst/0" "$work/dst/step"
head -c 3145728 /dev/urandom >"$work/src/big" || setup_failed "cannot write the source"
printf 'small\n' >"$work/src/small" || setup_failed "cannot write the source"
# The stored profile has a limit of its own (256 KiB/s), which the options replace.
setup "$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' splim 3
setup "$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' limtip 0

console() {
    set +e
    "$REDODORI_CONSOLE" "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
    set -e
}
# The settings' speed-limit line of a verbose run.
limit_line() { grep '^Speed limit:' "$work/out" || true; }

# 3 MiB at 1 MiB/s in blocks of 512 KiB: the average of its summary is at most 1 MiB/s.
console --limit 1M --buffer 5 "$work/src/big" "$work/dst/limited/"
check_same "limited: exit status" 0 "$status"
check "limited: the copy" cmp -s "$work/src/big" "$work/dst/limited/big"
average=$(sed -n 's/^Copy finished: .*, average \([0-9.]*\) \([KMG]iB\/s\|B\/s\)$/\1 \2/p' "$work/out")
check "limited: an average in KiB/s or MiB/s is shown ($(cat "$work/out"))" test -n "$average"
check "limited: the average $average is at most 1 MiB/s" awk -v a="$average" 'BEGIN {
    split(a, p, " "); f = p[2] == "MiB/s" ? 1048576 : p[2] == "KiB/s" ? 1024 : p[2] == "GiB/s" ? 1073741824 : 1
    exit !(p[1] * f <= 1048576) }'

# Above the highest limit: no limit, and said so.
console --verbose --limit 5G "$work/src/small" "$work/dst/5g"
check_same "5G: exit status" 0 "$status"
check_same "5G: what is said" \
    "redodori-console: --limit 5G is above the highest limit, 16 MiB/s: the job runs without a speed limit" \
    "$(cat "$work/err")"
check_same "5G: the job's limit" "Speed limit:  None" "$(limit_line)"

# Between two limits: the one below, and said so.
console --verbose --limit 100K "$work/src/small" "$work/dst/100k"
check_same "100K: exit status" 0 "$status"
check_same "100K: what is said" \
    "redodori-console: --limit 100K lies between the job's limits: it runs at 32 KiB/s, the limit below" \
    "$(cat "$work/err")"
check_same "100K: the job's limit" "Speed limit: 32 Kbps" "$(limit_line)"

# A number without a unit: refused before anything starts.
console --limit 100 "$work/src/small" "$work/dst/never/"
check_same "100: exit status" 3 "$status"
check_same "100: why" "redodori-console: --limit 100: a rate needs its unit, as in 100K (KiB/s) or 100M (MiB/s); 0 or none is no limit, and --limit-step takes a step index
Try 'redodori-console --help'." "$(cat "$work/err")"
check_same "100: nothing shown" "" "$(cat "$work/out")"
check "100: nothing started" test ! -e "$work/dst/never"

# 0 is no limit, quietly.
console --verbose --limit 0 "$work/src/small" "$work/dst/0"
check_same "0: exit status" 0 "$status"
check_same "0: nothing said" "" "$(cat "$work/err")"
check_same "0: the job's limit" "Speed limit:  None" "$(limit_line)"

# A step index as the job line has it.
console --verbose --limit-step 2 "$work/src/small" "$work/dst/step"
check_same "step 2: the job's limit" "Speed limit: 128 Kbps" "$(limit_line)"

finish console_limits
