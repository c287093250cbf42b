#!/usr/bin/env bash
# A destination that takes names apart from their case for one (exFAT, as on most USB sticks and
# cards, through its FUSE driver): moving readme, README and ReadMe, or a folder holding Case.txt
# and case.txt, writes each name once; the later sources are found before the first byte,
# skipped (nothing answers the question) and named, and stay where they are. The driver shows
# one file under a new inode number for each spelling, so the job tells the names apart by how
# the folder folds them, not by inodes. Needs root, a loop device, /dev/fuse, mkfs.exfat and
# mount.exfat-fuse.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY

[ "$(id -u)" -eq 0 ] || skip_all "mounting a file system needs root"
for tool in losetup mkfs.exfat mount.exfat-fuse; do
    command -v "$tool" >/dev/null || skip_all "needs $tool (scripts/setup.sh installs exfatprogs, exfat-fuse)"
done
[ -e /dev/fuse ] || skip_all "needs /dev/fuse"

loop=""
cleanup_stick() {
    umount "$work/stick" 2>/dev/null || true
    [ -z "$loop" ] || losetup -d "$loop" 2>/dev/null || true
    cleanup_work
}
trap cleanup_stick EXIT
setup truncate -s 32M "$work/stick.img"
setup mkfs.exfat "$work/stick.img" >/dev/null
loop=$(losetup -f --show "$work/stick.img") || skip_all "no loop device can be set up here"
setup mkdir -p "$work/stick"
mount.exfat-fuse "$loop" "$work/stick" 2>"$work/mount.err" ||
    skip_all "the exFAT driver cannot mount here: $(cat "$work/mount.err")"

setup mkdir -p "$work/src/d"
printf 'one\n' >"$work/src/readme"
printf 'two\n' >"$work/src/README"
printf 'three\n' >"$work/src/ReadMe"
printf 'upper\n' >"$work/src/d/Case.txt"
printf 'lower\n' >"$work/src/d/case.txt"
setup test "$(cat "$work/stick/README" 2>/dev/null)" = ""

set +e
"$REDODORI_CONSOLE" --move --overwrite "$work/src/readme" "$work/src/README" "$work/src/ReadMe" \
    "$work/src/d" "$work/stick" </dev/null >"$work/out" 2>&1
status=$?
set -e
check_same "exit status" 1 "$status"
check_same "what the stick holds" "d
d/Case.txt
readme" "$(cd "$work/stick" && find . -mindepth 1 | sed 's|^\./||' | sort)"
check_same "readme is the first source's" one "$(cat "$work/stick/readme")"
check_same "Case.txt is the first source's" upper "$(cat "$work/stick/d/Case.txt")"
check_same "the later sources stay" "README
ReadMe
d
d/case.txt" "$(cd "$work/src" && find . -mindepth 1 | sed 's|^\./||' | sort)"
check_same "and keep their data" "two three lower" \
    "$(cat "$work/src/README" "$work/src/ReadMe" "$work/src/d/case.txt" | tr '\n' ' ' | sed 's/ $//')"
summary=$(tr '\r' '\n' <"$work/out" | grep -E '^Move [a-z]+: ' | sed 's/, elapsed .*$//')
check_same "the summary" "Move finished: 2 of 5 files, 10 of 26 bytes, 0 retries, 3 skips" "$summary"
for pair in "README:readme" "ReadMe:readme" "d/case.txt:d/Case.txt"; do
    later=${pair%%:*} first=${pair#*:}
    check "$later is named" grep -qF \
        "$work/src/$later -> $work/stick/$later: skipped, the destination's file system takes its name for $work/stick/$first" \
        "$work/out"
done

finish folding_stick
