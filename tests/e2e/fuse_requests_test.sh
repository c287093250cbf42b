#!/usr/bin/env bash
# What a copy of many small files costs a file system in user space (a GVfs share, a phone),
# where every request is a round trip: the requests the kernel sends for each file, counted by
# the tests' own FUSE file system, and the copy itself, whole with its modes and times. cp -a
# is counted beside it, as a figure only.
set -euo pipefail
: "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
[ -n "${FUSE_COUNTER:-}" ] || skip_all "the FUSE counter is not built (libfuse3-dev is missing)"
command -v fusermount3 >/dev/null || skip_all "fusermount3 (package fuse3) is needed"

# A file made anew needs no change of permissions under this mask: every request it costs is
# one the copy cannot do without.
umask 022
mnt=$work/mnt
trap 'fusermount3 -u -z "$mnt" 2>/dev/null || true; cleanup_work' EXIT
setup mkdir -p "$mnt" "$work/src/few" "$work/src/many"
for i in $(seq -w 1 200); do
    printf 'file %s\n' "$i" >"$work/src/many/f$i"
    case $i in
        *0) chmod 600 "$work/src/many/f$i" ;;
        *5) chmod 755 "$work/src/many/f$i" ;;
    esac
    touch -d "2020-01-01 00:00:$((10#$i % 60))" "$work/src/many/f$i"
    [ "$((10#$i))" -le 100 ] && cp -p "$work/src/many/f$i" "$work/src/few/"
done

# counted LABEL COMMAND...: runs COMMAND with the counting file system mounted on $mnt (over
# $work/LABEL), then leaves the requests by opcode in $work/LABEL.counts. The kernel's caching
# is the library's defaults, which GVfs's daemon keeps too: names and attributes kept for a
# second, names found missing not kept, no writeback cache; nor are extended attributes
# answered, so the kernel stops asking for them.
counted() {
    local label=$1
    shift
    setup mkdir -p "$work/$label"
    "$FUSE_COUNTER" "$work/$label" "$mnt" "$work/$label.counts" 2>"$work/fuse.log" &
    local counter=$!
    for _ in $(seq 100); do
        mountpoint -q "$mnt" && break
        kill -0 "$counter" 2>/dev/null || skip_all "FUSE cannot be mounted here: $(cat "$work/fuse.log")"
        sleep 0.1
    done
    mountpoint -q "$mnt" || setup_failed "the counting file system did not mount"
    set +e
    "$@" >"$work/$label.out" 2>&1
    status=$?
    set -e
    setup fusermount3 -u "$mnt"
    wait "$counter" || setup_failed "the counting file system ended with status $?"
}
# The requests the kernel waits for: a forget is answered by none, and comes whenever the
# kernel drops an inode from its cache, not for each file copied.
total() { awk '$1 !~ /FORGET$/ { n += $2 } END { print n + 0 }' "$work/$1.counts"; }

counted many "$REDODORI_CONSOLE" --no-window "$work/src/many" "$mnt/"
check_same "200 files: exit status" 0 "$status"
check "200 files: the copy is the source ($(diff -r "$work/src/many" "$work/many/many" 2>&1 | head -3))" \
    diff -r "$work/src/many" "$work/many/many"
check_same "200 files: modes and modification times" \
    "$(cd "$work/src/many" && stat -c '%n %a %Y' *)" "$(cd "$work/many/many" && stat -c '%n %a %Y' *)"
counted few "$REDODORI_CONSOLE" --no-window "$work/src/few" "$mnt/"
check_same "100 files: exit status" 0 "$status"

# What the job costs besides its files (the destination's rules, its folder) is the same for
# both copies: the difference is what 100 more files cost.
many=$(total many) few=$(total few)
per_file=$(awk -v a="$many" -v b="$few" 'BEGIN { printf "%.2f", (a - b) / 100 }')
echo "requests for 200 files by opcode:" $(sort "$work/many.counts")
echo "requests per file: $per_file (200 files $many, 100 files $few)"
# A new file takes a lookup and its creation, one write, one change of its times, and the
# flush and release of its closing: six. Fewer would need the kernel to know the name is free.
# The little more allowed is the folder's own lookup, which the kernel repeats for each second
# a slow copy takes.
check "six requests per file and the folder's lookups, not $per_file" awk -v n="$per_file" 'BEGIN { exit !(n <= 6.2) }'

counted cp cp -a "$work/src/many" "$mnt/"
echo "cp -a, requests for 200 files: $(total cp) ($(awk -v a="$(total cp)" 'BEGIN { printf "%.2f", a / 200 }') per file)"

finish fuse_requests
