#!/usr/bin/env bash
# A moved file's source goes only once its copy is on the disk with its name: every folder that
# received copies is synced before the first source of them is removed, and once per folder,
# not once per file.
set -euo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
strace -V >/dev/null 2>&1 || skip_all "strace is needed to see the order of the calls"

setup mkdir -p "$work/src/tree/sub"
for name in a b c; do printf '%s\n' "$name" >"$work/src/tree/$name"; done
printf 'deep\n' >"$work/src/tree/sub/d"
# Two destinations: the move copies, then removes the sources.
trace -f -y -qq -o "$work/trace" -e trace=fsync,unlink,rmdir \
    "$REDODORI" "|$work/src/tree|$work/d1/?$work/d2/|em" 2>/dev/null || true
for d in d1 d2; do
    check "$d: the copy differs" test "$(cat "$work/$d/tree/sub/d")" = deep -a "$(cat "$work/$d/tree/c")" = c
done
check "the sources were not removed" test ! -e "$work/src/tree"

# Where in the trace each folder was synced and each source removed.
first_unlink=$( (grep -n "unlink(\"$work/src/" "$work/trace" || true) | head -n 1 | cut -d: -f1)
check "no source was removed" test -n "$first_unlink"
for folder in d1/tree d2/tree d1/tree/sub d2/tree/sub; do
    synced=$( (grep -n "fsync([0-9]*<$work/$folder>)" "$work/trace" || true) | cut -d: -f1)
    check "$folder was not synced exactly once" test "$(wc -l <<<"$synced")" -eq 1 -a -n "$synced"
    check "$folder was synced after a source was removed" test "${synced:-0}" -lt "${first_unlink:-0}"
done

# Killed at any point of a move that copies (two destinations, and a second file system when
# one can be mounted), nothing is lost: a file whose source is gone is whole in every copy.
setup mkdir -p "$work/ref/sub" "$work/other"
for i in $(seq 1 12); do setup head -c $((i * 37000)) /dev/urandom >"$work/ref/f$i"; done
setup head -c 5000 /dev/urandom >"$work/ref/sub/g"
targets=("$work/k1/?$work/k2/")
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=8m tmpfs "$work/other" 2>/dev/null; then
    mounts+=("$work/other")
    targets+=("$work/other/")
else
    echo "NOTE: no second file system could be mounted (needs root): moves to two destinations only"
fi
for target in "${targets[@]}"; do
    for point in pwrite64:2 pwrite64:9 unlink:1 unlink:6 fsync:1 fsync:3; do
        rm -rf "$work/src" "$work/k1" "$work/k2" "$work/other/"*
        setup cp -r "$work/ref" "$work/src"
        (trace -f -qq -o /dev/null -e trace="${point%%:*}" \
            -e inject="${point%%:*}:signal=KILL:when=${point#*:}" \
            "$REDODORI" "|$work/src|$target|emLb5" || true) >/dev/null 2>&1
        IFS='?' read -r -a copies <<<"${target%\?}"
        for file in f1 f5 f12 sub/g; do
            [ -e "$work/src/$file" ] && continue
            for copy in "${copies[@]}"; do
                check "$target, killed at $point: $file lost its only whole copy" \
                    cmp -s "$work/ref/$file" "${copy%/}/src/$file"
            done
        done
    done
done

finish move_durability
