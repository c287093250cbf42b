#!/usr/bin/env bash
# On a file system that shares extents (XFS with reflinks, btrfs) a copy within it clones each
# file: the copy shares the source's extents, takes no room of its own, and the end line counts
# the clones. A copy that asks for verification or has a speed limit reads and writes instead, and a move within the
# file system renames, with nothing to clone. Needs root for the loop file systems.
set -euo pipefail
: "${REDODORI_CONSOLE:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY
[ "$(id -u)" -eq 0 ] || skip_all "loop file systems need root"
command -v filefrag >/dev/null || skip_all "filefrag is not installed"
command -v xxhsum >/dev/null || skip_all "xxhsum is not installed (setup.sh installs xxhash)"

# Free 1 KiB blocks of the file system at $1.
free_kib() { df -k --output=avail "$1" | tail -n 1 | tr -d ' '; }
# The end line without its time and speed.
end_line() { tr '\r' '\n' <"$1" | grep -E '^(Copy|Move) [a-z]+: ' | sed 's/, elapsed .*//'; }
shares() { filefrag -v "$1" | grep -q shared; }

tried=0
for kind in xfs btrfs; do
    case $kind in
        xfs) make=(mkfs.xfs -q -m reflink=1) ;;
        btrfs) make=(mkfs.btrfs -q) ;;
    esac
    command -v "${make[0]}" >/dev/null || continue
    image="$work/$kind.img"
    fs="$work/$kind"
    setup truncate -s 400M "$image"
    setup "${make[@]}" "$image" >/dev/null
    setup mkdir -p "$fs"
    mount -o loop "$image" "$fs" 2>/dev/null || continue
    mounts+=("$fs")
    tried=$((tried + 1))
    setup mkdir -p "$fs/src/sub"
    setup head -c 30000000 /dev/urandom >"$fs/src/big"
    printf 'small\n' >"$fs/src/sub/small"
    sync -f "$fs"

    # With reserved space on, a clone gives the reservation back.
    "$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' resfsz 1 ||
        setup_failed "cannot turn reserved space on"
    before=$(free_kib "$fs")
    "$REDODORI_CONSOLE" "$fs/src" "$fs/copy" </dev/null >"$work/out" 2>&1 || true
    check_same "$kind: the end line counts the clones" \
        "Copy finished: 2 of 2 files, 30000006 of 30000006 bytes, 0 retries, 0 skips, 2 cloned" \
        "$(end_line "$work/out")"
    check "$kind: the copy is whole" diff -r "$fs/src" "$fs/copy/src"
    check "$kind: the copy shares the source's extents" shares "$fs/copy/src/big"
    sync -f "$fs"
    # 30 MB copied would take 29,297 KiB; the clones' metadata takes a little.
    used=$((before - $(free_kib "$fs")))
    check "$kind: the clones took no room of their own ($used KiB)" test "$used" -lt 4096

    "$REDODORI_CONSOLE" --verify "$fs/src" "$fs/verified" </dev/null >"$work/out" 2>&1 || true
    check_same "$kind: a verified copy is not cloned" \
        "Copy finished: 2 of 2 files, 30000006 of 30000006 bytes, 0 retries, 0 skips" \
        "$(end_line "$work/out")"
    check "$kind: the verified copy is whole" diff -r "$fs/src" "$fs/verified/src"
    shares "$fs/verified/src/big" && bad "$kind: the verified copy shares the source's extents"

    # A manifest's hashes are read from the source; the files are cloned all the same.
    "$REDODORI_CONSOLE" --manifest "$fs/src" "$fs/listed" </dev/null >"$work/out" 2>&1 || true
    check_same "$kind: a copy with a manifest clones" \
        "Copy finished: 2 of 2 files, 30000006 of 30000006 bytes, 0 retries, 0 skips, 2 cloned" \
        "$(end_line "$work/out")"
    check "$kind: its manifest checks out" \
        bash -c 'cd "$1" && xxhsum -c --strict --quiet RedoDori-*.xxh128' _ "$fs/listed"

    # A limited copy is read and written, so that the limit has something to act on.
    "$REDODORI_CONSOLE" --limit 16M "$fs/src" "$fs/limited" </dev/null >"$work/out" 2>&1 || true
    check_same "$kind: a limited copy is not cloned" \
        "Copy finished: 2 of 2 files, 30000006 of 30000006 bytes, 0 retries, 0 skips" \
        "$(end_line "$work/out")"

    setup cp -a "$fs/src" "$fs/moving"
    "$REDODORI_CONSOLE" --move "$fs/moving" "$fs/moved" </dev/null >"$work/out" 2>&1 || true
    check_same "$kind: the move's end line" \
        "Move finished: 2 of 2 files, 30000006 of 30000006 bytes, 0 retries, 0 skips" \
        "$(end_line "$work/out")"
    check "$kind: the moved files are whole" diff -r "$fs/src" "$fs/moved/moving"
    check "$kind: the moved source is gone" test ! -e "$fs/moving"
done
[ "$tried" -gt 0 ] || skip_all "no XFS or btrfs loop file system can be made here"

finish clones
