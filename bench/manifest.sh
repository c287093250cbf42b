#!/usr/bin/env bash
# Times what checksum manifests cost: copies of sets A and C with an XXH3-128 and a SHA-256
# manifest against the same copy without one (interleaved rounds, medians), and `--check` of
# set C against `dd iflag=direct` over the same files, `sha256sum -c` and `xxhsum -c`, each
# with a cold page cache when run as root. Ends with the targets, "met" or "missed". See
# bench/README.md.
# Environment:
#   BENCH_DIR    base folder for the temporary data (default /var/tmp)
#   BENCH_SETS   sets copied (default "A C"; empty: only the check of set C)
#   RUNS         interleaved rounds (default 9)
#   BENCH_SEED   seed of the sizes of set C (default 20240601)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/data_sets.sh"

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$REPO/build-bench
BENCH_DIR=${BENCH_DIR:-/var/tmp}
SETS=${BENCH_SETS-A C}
RUNS=${RUNS:-9}
SEED=${BENCH_SEED:-20240601}
COLD=0
[ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ] && COLD=1

die() {
    echo "manifest.sh: FAILED: $*" >&2
    exit 1
}

for tool in python3 sha256sum xxhsum; do
    command -v "$tool" >/dev/null || die "$tool is missing (setup.sh installs it)"
done

cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DREDODORI_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target redodori-bench-copy redodori redodori-console >/dev/null
COPY=$BUILD/bench/redodori-bench-copy
CONSOLE=$BUILD/bin/redodori-console

mkdir -p "$BENCH_DIR"
WORK=$(mktemp -d "$(cd "$BENCH_DIR" && pwd)/redodori-manifest.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
trap 'exit 130' INT TERM
mkdir -p "$WORK/src" "$WORK/times" "$WORK/home" "$WORK/runtime"
chmod 700 "$WORK/runtime"
# The program's store, reports and runtime folder are the bench's own.
export REDODORI_CONFIG_DIR=$WORK/home/config REDODORI_DATA_DIR=$WORK/home/data
export REDODORI_STATE_DIR=$WORK/home/state XDG_RUNTIME_DIR=$WORK/runtime
export XDG_CONFIG_HOME=$WORK/home/xdg QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

echo "== machine"
echo "date:    $(date)"
echo "cores:   $(nproc)"
echo "fs:      $(df -T "$WORK" | awk 'NR == 2 {print $2 " on " $7}')"
echo "repo:    $(git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "peers:   $(sha256sum --version | head -1); $(xxhsum --version 2>&1 | head -1)"
echo "cold:    $([ $COLD = 1 ] && echo 'page cache dropped before each run' || echo 'no (not root)')"

make_set() {
    make_bench_set "$WORK/src" "$1" "$SEED"
}

settle() {
    sync
    [ $COLD = 1 ] && echo 3 >/proc/sys/vm/drop_caches
    return 0
}

# Times one command into times/<label>: seconds, one line per round.
timed() {
    local label=$1
    shift
    local start end
    start=$EPOCHREALTIME
    "$@" >/dev/null 2>"$WORK/err" || die "$label: $* ($(tail -3 "$WORK/err"))"
    end=$EPOCHREALTIME
    python3 -c "print(f'{$end - $start:.3f}')" >>"$WORK/times/$label"
}

median() {
    sort -n "$WORK/times/$1" | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

ratio() {
    python3 -c "print(f'{$(median "$1") / $(median "$2"):.3f}')"
}

TARGETS=()
target() {
    local name=$1 value=$2 limit=$3
    local verdict
    verdict=$(python3 -c "print('met' if $value <= $limit else 'missed')")
    TARGETS+=("$(printf '%-58s %6s <= %-5s %s' "$name" "$value" "$limit" "$verdict")")
}

# --- copies with and without a manifest ----------------------------------------------------
for set in $SETS; do
    make_set "$set"
    echo "== copy of set $set ($(du -sh "$WORK/src/$set" | cut -f1)), $RUNS rounds"
    kinds=(none xxh128 sha256)
    for round in $(seq "$RUNS"); do
        # Each kind runs first, second and third in turn, so that what a run leaves the next one
        # (the disk's own writeback, a tool's read of the copy) weighs on all three alike.
        for i in 0 1 2; do
            kind=${kinds[$(((round + i) % 3))]}
            rm -rf "$WORK/out"
            mkdir -p "$WORK/out"
            settle
            if [ $kind = none ]; then
                timed "$set-$kind" "$COPY" "$WORK/src/$set" -- "$WORK/out"
            else
                timed "$set-$kind" "$COPY" --manifest $kind "$WORK/src/$set" -- "$WORK/out"
                # Every manifest timed is also one the peers' tools take.
                tool=sha256sum
                [ $kind = xxh128 ] && tool=xxhsum
                (cd "$WORK/out" && $tool -c --quiet RedoDori-*."$kind") ||
                    die "set $set: $tool -c refused the manifest"
            fi
        done
        echo "  round $round: none $(tail -1 "$WORK/times/$set-none") s, xxh128 $(tail -1 "$WORK/times/$set-xxh128") s, sha256 $(tail -1 "$WORK/times/$set-sha256") s"
    done
    echo "  medians: none $(median "$set-none") s, xxh128 $(median "$set-xxh128") s ($(ratio "$set-xxh128" "$set-none") x), sha256 $(median "$set-sha256") s ($(ratio "$set-sha256" "$set-none") x)"
    target "set $set: copy with an XXH3-128 manifest / without" "$(ratio "$set-xxh128" "$set-none")" 1.10
    target "set $set: copy with a SHA-256 manifest / without" "$(ratio "$set-sha256" "$set-none")" 1.3
    [ "$set" = C ] || rm -rf "$WORK/src/$set"
done

# --- checking later -------------------------------------------------------------------------
[ -d "$WORK/src/C" ] || make_set C
# The manifests of set C, made by the peers' tools, so that both sides check the same lines.
(cd "$WORK/src" && find C -type f -print0 | sort -z | xargs -0 sha256sum >"$WORK/src/C.sha256")
(cd "$WORK/src" && find C -type f -print0 | sort -z | xargs -0 xxhsum -H2 >"$WORK/src/C.xxh128")
# The disk's own rate: every file read once with O_DIRECT in 4 MiB pieces, in one process.
direct_read() {
    python3 - "$WORK/src/C" <<'PY'
import mmap, os, sys
buf = mmap.mmap(-1, 4 << 20)
for folder, _, names in sorted(os.walk(sys.argv[1])):
    for name in sorted(names):
        fd = os.open(os.path.join(folder, name), os.O_RDONLY | os.O_DIRECT)
        while os.readv(fd, [buf]) == len(buf):
            pass
        os.close(fd)
PY
}
check_ours() {
    "$CONSOLE" --no-window --check "$1"
}
# The data is read cold, the programs are not: after the drop every checker checks a file of
# its own once, so that no side's time is the loading of its program and libraries from the
# disk (Qt's weigh about 80 ms here, a peer's tool a few).
mkdir -p "$WORK/warm"
echo warm >"$WORK/warm/w"
(cd "$WORK/warm" && xxhsum -H2 w >w.xxh128 && sha256sum w >w.sha256)
settle_data() {
    settle
    (cd "$WORK/warm" && "$CONSOLE" --no-window --check w.xxh128 w.sha256 && xxhsum -c --quiet \
        w.xxh128 && sha256sum -c --quiet w.sha256 && python3 -c 'import mmap, os') >/dev/null 2>&1 ||
        die "the warm-up check failed"
}
check_peer() {
    (cd "$WORK/src" && "$1" -c --quiet "$2")
}
echo "== check of set C, $RUNS rounds"
for round in $(seq "$RUNS"); do
    settle_data
    timed check-direct direct_read
    settle_data
    timed check-ours-xxh128 check_ours "$WORK/src/C.xxh128"
    settle_data
    timed check-xxhsum check_peer xxhsum C.xxh128
    settle_data
    timed check-ours-sha256 check_ours "$WORK/src/C.sha256"
    settle_data
    timed check-sha256sum check_peer sha256sum C.sha256
    echo "  round $round: direct $(tail -1 "$WORK/times/check-direct") s, ours xxh128 $(tail -1 "$WORK/times/check-ours-xxh128") s, xxhsum $(tail -1 "$WORK/times/check-xxhsum") s, ours sha256 $(tail -1 "$WORK/times/check-ours-sha256") s, sha256sum $(tail -1 "$WORK/times/check-sha256sum") s"
done
# Rates are the inverse of times: ours reads at >= 0.9 x the direct rate when its time is at
# most 1 / 0.9 of the direct read's.
target "check of C (XXH3-128), time / direct read's (rate >= 0.9 x)" \
    "$(ratio check-ours-xxh128 check-direct)" 1.111
target "check of C (SHA-256) / sha256sum -c" "$(ratio check-ours-sha256 check-sha256sum)" 0.5
target "check of C (XXH3-128) / xxhsum -c" "$(ratio check-ours-xxh128 check-xxhsum)" 1.1

echo "== targets"
printf '%s\n' "${TARGETS[@]}"
