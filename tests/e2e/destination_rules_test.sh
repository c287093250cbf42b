#!/usr/bin/env bash
# What a stick's or card's file system cannot take is found before the first byte and settled
# once for the whole job: names with ":" "?" and a link onto exFAT (through its FUSE driver),
# names folded together there, too little room, a file over FAT's largest (a sparse 4 GiB + 1
# onto a FAT image through fusefat), and NTFS through ntfs-3g, which takes all of these names.
# Moves keep every source that was not copied; renames are listed beside the copy. Needs root, a
# loop device and /dev/fuse; each file system also needs its tools (scripts/setup.sh installs
# them), and is left out without them.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY

[ "$(id -u)" -eq 0 ] || skip_all "mounting a file system needs root"
[ -e /dev/fuse ] || skip_all "needs /dev/fuse"
command -v losetup >/dev/null || skip_all "needs losetup"

loops=()
cleanup_sticks() {
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || true; done
    mounts=()
    for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null || true; done
    cleanup_work
}
trap cleanup_sticks EXIT

# mount_image KIND SIZE: a fresh image of KIND mounted at $work/KIND; false when this machine
# has no tools or driver for it.
mount_image() {
    local kind=$1 size=$2 image=$work/$1.img point=$work/$1
    truncate -s "$size" "$image" && mkdir -p "$point" || return 1
    case $kind in
    exfat)
        command -v mkfs.exfat >/dev/null && command -v mount.exfat-fuse >/dev/null || return 1
        mkfs.exfat "$image" >/dev/null || return 1
        local loop
        loop=$(losetup -f --show "$image") || return 1
        loops+=("$loop")
        mount.exfat-fuse "$loop" "$point" 2>/dev/null || return 1
        ;;
    ntfs)
        command -v mkfs.ntfs >/dev/null && command -v ntfs-3g >/dev/null || return 1
        mkfs.ntfs -F -Q "$image" >/dev/null 2>&1 && ntfs-3g "$image" "$point" 2>/dev/null || return 1
        ;;
    fat)
        command -v mkfs.vfat >/dev/null && command -v fusefat >/dev/null || return 1
        mkfs.vfat -F 32 "$image" >/dev/null && fusefat -o rw+ "$image" "$point" >/dev/null 2>&1 ||
            return 1
        ;;
    esac
    mounts+=("$point")
}

tree() { (cd "$1" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort); }
make_sources() {
    rm -rf "$work/src" "$work/src.kept" && mkdir -p "$work/src/a:b" "$work/src/d"
    printf 'q\n' >"$work/src/a:b/q?"
    printf 'fine\n' >"$work/src/a:b/fine"
    printf 'upper\n' >"$work/src/d/Photo.JPG"
    printf 'lower\n' >"$work/src/d/photo.jpg"
    printf 'plain\n' >"$work/src/plain.txt"
    ln -s plain.txt "$work/src/link"
}
run() {
    set +e
    "$@" >"$work/out" 2>&1
    status=$?
    set -e
    summary=$(tr '\r' '\n' <"$work/out" | grep -E '^(Copy|Move) [a-z]+: ' | sed 's/, elapsed .*$//')
}
tested=0

if mount_image exfat 32M; then
    tested=1
    stick=$work/exfat
    # --- a move that skips what the stick cannot take: every skipped source stays.
    make_sources
    run "$REDODORI_CONSOLE" --move --names=skip "$work/src" "$stick"
    check_same "skip: exit status" 1 "$status"
    check_same "skip: what the stick holds" "src
src/d
src/d/Photo.JPG
src/plain.txt" "$(tree "$stick")"
    check_same "skip: the sources that stay" "a:b
a:b/fine
a:b/q?
d
d/photo.jpg
link" "$(tree "$work/src")"
    check_same "skip: the summary" "Move finished: 2 of 6 files, 12 of 25 bytes, 0 retries, 5 skips" \
        "$summary"
    for line in \
        "$work/src/a:b -> $stick/src/a:b: skipped, the destination's file system refuses its name" \
        "$work/src/a:b/q? -> $stick/src/a:b/q?: skipped with its folder, which the destination cannot take" \
        "$work/src/d/photo.jpg -> $stick/src/d/photo.jpg: skipped, the destination's file system takes its name for $stick/src/d/Photo.JPG" \
        "$work/src/link -> $stick/src/link: skipped, the destination's file system cannot hold a symbolic link"; do
        check "skip: named: $line" grep -qF -- "$line" "$work/out"
    done

    # --- the same tree renamed: look-alikes, a number, and the list of renames beside it.
    rm -rf "${stick:?}"/* && make_sources
    cp -a "$work/src" "$work/src.kept"
    run "$REDODORI_CONSOLE" --move --names=rename "$work/src" "$stick"
    check_same "rename: exit status" 1 "$status"
    check_same "rename: only the link stays" "link" "$(tree "$work/src")"
    map=$(cd "$stick" && ls RedoDori-renames-*.tsv)
    check "rename: the list's name" grep -qE '^RedoDori-renames-[0-9]{8}-[0-9]{6}\.tsv$' <<<"$map"
    renamed_tree="src
src/a：b
src/a：b/fine
src/a：b/q？
src/d
src/d/Photo.JPG
src/d/photo (2).jpg
src/plain.txt"
    check_same "rename: what the stick holds" "$map
$renamed_tree" "$(tree "$stick")"
    check_same "rename: the list of renames" "src/a:b	src/a：b
src/a:b/q?	src/a：b/q？
src/d/photo.jpg	src/d/photo (2).jpg" "$(cat "$stick/$map")"
    check "rename: the data is the source's" cmp "$work/src.kept/d/photo.jpg" "$stick/src/d/photo (2).jpg"
    check "rename: the data is the source's" cmp "$work/src.kept/a:b/q?" "$stick/src/a：b/q？"
    check "rename: the list is named" grep -qF "$stick/$map: lists the names the destination could not take" "$work/out"
    # The same tree again, written over: it lands where it did, with no name numbered anew.
    rm -rf "$work/src" && mv "$work/src.kept" "$work/src"
    run "$REDODORI_CONSOLE" --names=rename --overwrite "$work/src" "$stick"
    check_same "again: exit status" 1 "$status"
    check_same "again: the same names" "$renamed_tree" "$(tree "$stick" | grep -v '^RedoDori-renames-')"
    check_same "again: a second list" 2 "$(tree "$stick" | grep -c '^RedoDori-renames-')"

    # --- too little room for two destinations on the one stick, each of which would fit,
    # asked on the terminal and aborted: nothing is written.
    rm -rf "${stick:?}"/* && rm -rf "$work/big" && mkdir "$work/big"
    head -c $((20 * 1024 * 1024)) /dev/zero >"$work/big/large.bin"
    mkfifo "$work/keys"
    "$REDODORI_CONSOLE" --move --to "$stick/one" --to "$stick/two" "$work/big" \
        <"$work/keys" >"$work/ask.out" 2>&1 &
    pids+=($!)
    exec 3>"$work/keys"
    wait_for "Your choice: " "$work/ask.out" || fail "the question did not come"
    check "room: the question names the room" \
        grep -qE "^$stick/one: the job needs 40\.0 MiB there and [0-9.]+ [KM]iB is free" \
        <(tr '\r' '\n' <"$work/ask.out")
    printf 'a\n' >&3
    exec 3>&-
    set +e
    wait "${pids[-1]}"
    status=$?
    set -e
    check_same "room: an abort's exit status" 2 "$status"
    check_same "room: no file is written" "" "$(find "$stick" -type f)"
    check "room: the source stays whole" test "$(stat -c %s "$work/big/large.bin")" -eq $((20 * 1024 * 1024))
fi

if mount_image ntfs 64M; then
    tested=1
    # --- NTFS through ntfs-3g takes every one of these names, and links: nothing is asked.
    make_sources
    run "$REDODORI_CONSOLE" --move "$work/src" "$work/ntfs" </dev/null
    check_same "ntfs: exit status" 0 "$status"
    check_same "ntfs: every name as it is" "src
src/a:b
src/a:b/fine
src/a:b/q?
src/d
src/d/Photo.JPG
src/d/photo.jpg
src/link
src/plain.txt" "$(tree "$work/ntfs")"
    check "ntfs: the sources are gone" test ! -e "$work/src"
fi

if mount_image fat 64M; then
    tested=1
    # --- a file over FAT's largest is left out before the first byte; its source stays.
    rm -rf "$work/huge" && mkdir "$work/huge"
    truncate -s $((4 * 1024 * 1024 * 1024 + 1)) "$work/huge/disk.img"
    printf 'small\n' >"$work/huge/small.txt"
    run "$REDODORI_CONSOLE" --move --names=skip "$work/huge" "$work/fat"
    check_same "fat: exit status" 1 "$status"
    check_same "fat: what the stick holds" "huge
huge/small.txt" "$(tree "$work/fat")"
    check "fat: the large source stays" test -f "$work/huge/disk.img"
    check "fat: named" grep -qF \
        "$work/huge/disk.img -> $work/fat/huge/disk.img: skipped, larger than the destination's file system takes" \
        "$work/out"
fi

[ "$tested" -eq 1 ] || skip_all "no exFAT, NTFS or FAT driver can be mounted here"
finish destination_rules
