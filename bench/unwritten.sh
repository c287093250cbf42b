#!/usr/bin/env bash
# The most data written and not yet on the disk (Dirty + Writeback, sampled every 50 ms) while a
# 3 GiB file is copied, by ours and by `cp` + `sync -f`, side by side; prints ours against its
# target with "met" or "missed". See bench/README.md. Environment:
#   BENCH_DIR      base folder for the temporary data (default /var/tmp)
#   BENCH_BUILD    an existing build folder to use as it is (default: build-bench/, made here)
#   UNWRITTEN_GIB  size of the copied file in GiB (default 3)
#   UNWRITTEN_MEMINFO  1: read /proc/meminfo even where a memory cgroup could be made
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BENCH_BUILD:-$REPO/build-bench}
BENCH_DIR=${BENCH_DIR:-/var/tmp}
GIB=${UNWRITTEN_GIB:-3}
LIMIT_MIB=64

die() {
    echo "unwritten.sh: FAILED: $*" >&2
    exit 1
}
command -v python3 >/dev/null || die "needs python3"

[ -n "${BENCH_BUILD:-}" ] ||
    cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DREDODORI_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target redodori-bench-copy >/dev/null
COPY=$BUILD/bench/redodori-bench-copy

mkdir -p "$BENCH_DIR"
WORK=$(mktemp -d "$(cd "$BENCH_DIR" && pwd)/redodori-unwritten.XXXXXX")
CGROUP=""
finish() {
    [ -n "$CGROUP" ] && rmdir "$CGROUP" 2>/dev/null
    rm -rf "$WORK"
}
trap finish EXIT
trap 'exit 130' INT TERM

# Each copy runs in a memory cgroup of its own where one can be made (as root): its counts hold
# that copy's pages alone. Otherwise the whole machine's counts are read, which only a quiet
# machine keeps to the copy's.
KIND=meminfo
STAT=/proc/meminfo
make_cgroup() {
    [ "${UNWRITTEN_MEMINFO:-0}" = 1 ] && return 0
    local own
    if [ -f /sys/fs/cgroup/cgroup.controllers ]; then
        own=/sys/fs/cgroup$(awk -F: '$1 == "0" { print $3 }' /proc/self/cgroup)
        mkdir "$own/redodori-unwritten.$$" 2>/dev/null || return 0
        KIND=v2
    else
        own=/sys/fs/cgroup/memory$(awk -F: '$2 == "memory" { print $3 }' /proc/self/cgroup)
        mkdir "$own/redodori-unwritten.$$" 2>/dev/null || return 0
        KIND=v1
    fi
    CGROUP=$own/redodori-unwritten.$$
    STAT=$CGROUP/memory.stat
}
make_cgroup

# sampled NAME COMMAND...: runs the command (in the cgroup) while the sampler keeps the most
# unwritten bytes it saw; appends "NAME MiB seconds" to $WORK/figures.
sampled() {
    local name=$1
    shift
    python3 - "$STAT" "$KIND" "$WORK/most" <<'PY' &
import signal, sys, time
path, kind, out = sys.argv[1:4]
keys = {"meminfo": ("Dirty:", "Writeback:"), "v1": ("total_dirty", "total_writeback"),
        "v2": ("file_dirty", "file_writeback")}[kind]
unit = 1024 if kind == "meminfo" else 1
def unwritten():
    total = 0
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields and fields[0] in keys:
                total += int(fields[1]) * unit
    return total
stop = False
def end(*_):
    global stop
    stop = True
signal.signal(signal.SIGTERM, end)
# The machine's own unwritten data before the copy is not the copy's.
base = unwritten() if kind == "meminfo" else 0
most = 0
while not stop:
    most = max(most, unwritten() - base)
    time.sleep(0.05)
with open(out, "w") as f:
    f.write(str(most))
PY
    local sampler=$!
    sleep 0.2
    local t0=$EPOCHREALTIME
    if [ -n "$CGROUP" ]; then
        sh -c 'echo $$ >"$1/cgroup.procs" && shift && exec "$@"' sh "$CGROUP" "$@" ||
            die "$name: $*"
    else
        "$@" || die "$name: $*"
    fi
    local t1=$EPOCHREALTIME
    kill -TERM "$sampler"
    wait "$sampler"
    awk -v n="$name" -v b="$(cat "$WORK/most")" -v a="$t0" -v z="$t1" \
        'BEGIN { printf "%s %.1f %.2f\n", n, b / 1048576, z - a }' >>"$WORK/figures"
}

# A fresh destination, the source in the page cache, nothing of an earlier run left to write.
fresh() {
    rm -rf "$WORK/out"
    mkdir -p "$WORK/out"
    cat "$WORK/big.bin" >/dev/null
    sync
}

echo "== unwritten data while $GIB GiB are copied: $(date), $(
    git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo unknown), $(
    df -T "$WORK" | awk 'NR == 2 {print $2}'), read from $(
    [ "$KIND" = meminfo ] && echo "/proc/meminfo (Dirty + Writeback)" ||
        echo "a memory cgroup of each copy ($KIND memory.stat)")"
head -c $((GIB * 1024 * 1024 * 1024)) /dev/urandom >"$WORK/big.bin"
fresh
sampled ours "$COPY" "$WORK/big.bin" -- "$WORK/out"
cmp -s "$WORK/big.bin" "$WORK/out/big.bin" || die "the copy of ours differs from the source"
fresh
sampled "cp+sync" sh -c 'cp "$1" "$2/" && sync -f "$2"' sh "$WORK/big.bin" "$WORK/out"

printf '%-10s %12s %10s\n' run "most MiB" "time (s)"
while read -r name mib seconds; do
    printf '%-10s %12s %10s\n' "$name" "$mib" "$seconds"
done <"$WORK/figures"
ours=$(awk '$1 == "ours" { print $2 }' "$WORK/figures")
printf '%-58s %12s  (target <= %s)  %s\n' "most unwritten data of ours during the copy, MiB" "$ours" \
    "$LIMIT_MIB" "$(awk -v v="$ours" -v l="$LIMIT_MIB" 'BEGIN { print (v <= l) ? "met" : "missed" }')"
