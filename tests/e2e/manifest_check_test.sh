#!/usr/bin/env bash
# redodori-console --check: manifests made by sha256sum and xxhsum -H2 pass; a byte changed on
# the disk behind the system cache is found; a missing file and a bad line are named; an
# unusable manifest ends with 3; a check killed in its middle goes on without reading again the
# files it had done.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${REDODORI_CONSOLE:?}"
source "$(dirname "$0")/common.sh"
export TMPDIR="$work/tmp"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$work/tmp"

# O_DIRECT needs a file system that takes it; /tmp may be tmpfs, which refuses it.
disk=$(mktemp -d -p /var/tmp)
trap 'cleanup_work; rm -rf "$disk"' EXIT

check_run() { # OUT MANIFEST...: the status of redodori-console --check, its output in OUT
    local out=$1 status=0
    shift
    "$REDODORI_CONSOLE" --check "$@" >"$out" 2>&1 || status=$?
    echo "$status"
}

# (a) Manifests as the tools write them, names with spaces included.
tree="$disk/tree"
mkdir -p "$tree/sub dir"
head -c 300000 /dev/urandom >"$tree/one file"
head -c 5000 /dev/urandom >"$tree/sub dir/two  spaces"
: >"$tree/empty"
(cd "$tree" && sha256sum "one file" "sub dir/two  spaces" empty >all.sha256)
check_same "sha256sum manifest" 0 "$(check_run "$work/a.out" "$tree/all.sha256")"
expect "Check finished: 3 files good, 0 mismatched, 0 missing, 0 unreadable, 0 lines skipped" \
    "$(cat "$work/a.out")"
command -v xxhsum >/dev/null || setup_failed "xxhsum is missing (scripts/setup.sh installs xxhash)"
(cd "$tree" && xxhsum -H2 "one file" "sub dir/two  spaces" >all.xxh128)
check_same "xxhsum -H2 manifest" 0 "$(check_run "$work/x.out" "$tree/all.xxh128" "$tree/all.sha256")"
expect "5 files good" "$(cat "$work/x.out")"

# (b) One byte changed on the disk through O_DIRECT while the file's pages are cached.
flip="$disk/flip"
mkdir -p "$flip"
head -c 65536 /dev/urandom >"$flip/data.bin"
(cd "$flip" && sha256sum data.bin >data.sha256)
cat "$flip/data.bin" >/dev/null
dd if="$flip/data.bin" of="$work/block" bs=4096 skip=3 count=1 status=none
byte=$((($(od -An -tu1 -N1 "$work/block") + 1) % 256))
# shellcheck disable=SC2059
printf "$(printf '\\%03o' "$byte")" | dd of="$work/block" conv=notrunc bs=1 count=1 status=none
cmp -s "$work/block" <(dd if="$flip/data.bin" bs=4096 skip=3 count=1 status=none) &&
    setup_failed "the block to write was not changed"
direct=yes
dd if="$work/block" of="$flip/data.bin" bs=4096 seek=3 count=1 conv=notrunc oflag=direct \
    status=none 2>/dev/null || direct=no
if [ "$direct" = yes ]; then
    check_same "a changed byte" 1 "$(check_run "$work/b.out" "$flip/data.sha256")"
    expect "$flip/data.bin: failed, its checksum is not the manifest's" "$(cat "$work/b.out")"
    expect "0 files good, 1 mismatched" "$(cat "$work/b.out")"
fi

# (c) A missing file and a bad line are named; a manifest that cannot be used ends with 3.
bad="$disk/bad"
mkdir -p "$bad"
echo kept >"$bad/kept"
echo gone >"$bad/gone"
(cd "$bad" && sha256sum kept gone >list.sha256 && echo "not a checksum line" >>list.sha256)
rm "$bad/gone"
clear_reports
check_same "missing file and bad line" 1 "$(check_run "$work/c.out" "$bad/list.sha256")"
expect "1 files good, 0 mismatched, 1 missing, 0 unreadable, 1 lines skipped" "$(cat "$work/c.out")"
expect "$bad/gone: missing" "$(cat "$work/c.out")"
expect "$bad/list.sha256:3: line skipped" "$(cat "$work/c.out")"
expect "failed $bad/gone: missing" "$(cat "$(the_report)")"
echo "not a checksum line" >"$bad/none.sha256"
check_same "manifest without a usable line" 3 "$(check_run "$work/u.out" "$bad/none.sha256")"
expect "$bad/none.sha256: unusable manifest, it holds no usable line" "$(cat "$work/u.out")"
cp "$bad/list.sha256" "$bad/list.txt"
check_same "manifest of no known kind" 3 "$(check_run "$work/k.out" "$bad/list.txt")"
expect "unusable manifest, its name ends in none of" "$(cat "$work/k.out")"

# (d) Killed in the middle, then run again: it goes on where it stopped. The speed limit makes
# the 40 files take about ten seconds.
many="$disk/many"
mkdir -p "$many"
for i in $(seq -w 1 40); do head -c 262144 /dev/urandom >"$many/f$i"; done
(cd "$many" && sha256sum f* >many.sha256)
# One finding before the kill, which the second run's report must still name.
echo changed >"$many/f02"
clear_reports
"$REDODORI_CONSOLE" --check --limit 1M "$many/many.sha256" >"$work/d1.out" 2>&1 &
wrapper=$!
pids+=("$wrapper")
# The position is kept about once a second: wait until it holds some files.
done_count() {
    "$REDODORI_REG" list 'SOFTWARE\DiraRedi\RedoDori\Checks' | sed -n 's/.*text:done \([0-9]*\).*/\1/p'
}
kept=0
for _ in $(seq 300); do
    kept=$(done_count)
    [ "${kept:-0}" -ge 5 ] && break
    sleep 0.1
done
[ "${kept:-0}" -ge 5 ] || setup_failed "no position was kept: $(cat "$work/d1.out")"
program=$(pgrep -P "$wrapper" | head -1)
[ -n "$program" ] || setup_failed "the program of the wrapper was not found"
kill -KILL "$program"
wait "$wrapper" || true
kept=$(done_count)
[ "$kept" -lt 40 ] || setup_failed "the check ended before it was killed"
# A file done before the kill is changed now: the second run does not read it again.
echo "changed after the check" >"$many/f01"
# One not yet done is changed too, and must be found.
echo changed >"$many/f40"
check_same "the second run" 1 "$(check_run "$work/d2.out" "$many/many.sha256")"
expect "38 files good, 2 mismatched, 0 missing" "$(cat "$work/d2.out")"
report=$(cat "$(the_report)")
check "the report names the file found before the kill" grep -qF "failed $many/f02: failed, its checksum" <<<"$report"
check "the report names the file found after it" grep -qF "failed $many/f40: failed, its checksum" <<<"$report"
check "a file done before the kill is not read again" bash -c "! grep -qF '$many/f01' <<<\"\$1\"" _ "$report"
check "nothing is kept after a whole check" test -z "$(done_count)"
expect "Check finished" "$(cat "$REDODORI_DATA_DIR/history.txt")"

# (e) A tree on two file systems (a tmpfs mounted inside it, as root): both are read, and what
# differs on either is found.
if [ "$(id -u)" -eq 0 ]; then
    two="$disk/two"
    mkdir -p "$two/here" "$two/there"
    if mount -t tmpfs -o size=16m none "$two/there" 2>/dev/null; then
        mounts+=("$two/there")
        for i in 1 2 3; do
            head -c 200000 /dev/urandom >"$two/here/h$i"
            head -c 200000 /dev/urandom >"$two/there/t$i"
        done
        (cd "$two" && sha256sum here/* there/* >both.sha256)
        echo changed >"$two/there/t2"
        echo changed >"$two/here/h3"
        check_same "two file systems: the status" 1 "$(check_run "$work/e.out" "$two/both.sha256")"
        expect "4 files good, 2 mismatched, 0 missing" "$(cat "$work/e.out")"
        expect "$two/there/t2: failed, its checksum" "$(cat "$work/e.out")"
        expect "$two/here/h3: failed, its checksum" "$(cat "$work/e.out")"
    fi
fi

[ "$direct" = yes ] || skip_all "this file system refuses O_DIRECT writes: the changed byte is not tested"
finish manifest_check_test
