#!/usr/bin/env bash
# Times whole RedoDori copy jobs (redodori-bench-copy) against `cp -r`, `rsync -a` and `cp -a` on
# three data sets, one and two destinations, warm and (set A, as root) cold, and the disk's own rate
# by `dd oflag=direct`; checks every copy of ours with bench/check_copy.sh; prints medians, ratios,
# our peak memory, then runs bench/scale.sh, bench/unwritten.sh and bench/startup.sh, and ends
# with every target, its measured value and "met" or "missed". See bench/README.md.
# Environment:
#   BENCH_DIR   base folder for the temporary data (default /var/tmp)
#   BENCH_SETS  data sets to run (default "A B C")
#   RUNS_A RUNS_B RUNS_C  timed rounds per set (default 3, 5, 5)
#   BENCH_BUFSZ block size index passed as --bufsz (default: the engine's default, 6 = 1 MiB)
#   BENCH_SEED  seed of the size distribution of set C (default 20240601)
#   BENCH_KEEP_FILES  sets of at least this many files keep their copies (default 10000)
#   BENCH_KEEP_GB     GiB of kept copies deleted in one go (default 16)
#   BENCH_SETTLE      seconds between that deletion and the next run (default 65)
#   BENCH_SCALE       0 leaves bench/scale.sh out (default 1)
#   BENCH_UNWRITTEN   0 leaves bench/unwritten.sh out (default 1)
#   BENCH_STARTUP     0 leaves bench/startup.sh out (default 1)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/data_sets.sh"

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$REPO/build-bench
BIN=$BUILD/bench/redodori-bench-copy
BENCH_DIR=${BENCH_DIR:-/var/tmp}
SETS=${BENCH_SETS:-A B C}
RUNS_A=${RUNS_A:-3}
RUNS_B=${RUNS_B:-5}
RUNS_C=${RUNS_C:-5}
SEED=${BENCH_SEED:-20240601}
BUFSZ=${BENCH_BUFSZ:-6}
KEEP_FILES=${BENCH_KEEP_FILES:-10000}
KEEP_BYTES=$((${BENCH_KEEP_GB:-16} * 1024 * 1024 * 1024))
SETTLE=${BENCH_SETTLE:-65}
SCALE=${BENCH_SCALE:-1}
UNWRITTEN=${BENCH_UNWRITTEN:-1}
STARTUP=${BENCH_STARTUP:-1}
# Cold runs drop the page cache, which only root may do.
COLD=0
[ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ] && COLD=1
# The engine's block sizes, by --bufsz index.
BLOCK_SIZES=(512 4096 32768 131072 262144 524288 1048576 2097152 4194304 16777216 33554432)
BLOCK=${BLOCK_SIZES[$BUFSZ]}

die() {
    echo "run.sh: FAILED: $*" >&2
    exit 1
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# --- tools -----------------------------------------------------------------------------------
missing=()
command -v rsync >/dev/null || missing+=(rsync)
[ -x /usr/bin/time ] || missing+=(time)
command -v python3 >/dev/null || missing+=(python3-minimal)
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# --- build -----------------------------------------------------------------------------------
cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DREDODORI_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target redodori-bench-copy >/dev/null

# --- data --------------------------------------------------------------------------------------
mkdir -p "$BENCH_DIR"
WORK=$(mktemp -d "$(cd "$BENCH_DIR" && pwd)/redodori-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
trap 'exit 130' INT TERM
SRC=$WORK/src
RUNS=$WORK/runs
mkdir -p "$SRC" "$RUNS" "$WORK/times" "$WORK/rss"

echo "== machine"
echo "date:    $(date)"
echo "cores:   $(nproc)"
echo "memory:  $(free -h | awk '/^Mem:/ {print $2}')"
echo "kernel:  $(uname -r)"
echo "fs:      $(df -T "$WORK" | awk 'NR == 2 {print $2 " on " $7}')"
echo "repo:    $(git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo unknown)$(
    [ -n "$(git -C "$REPO" status --porcelain 2>/dev/null)" ] && echo ' (with local changes)')"
echo "peers:   $(cp --version | head -1); $(rsync --version | head -1)"
echo "ours:    $BIN --bufsz $BUFSZ (block $BLOCK bytes)"

make_set() {
    make_bench_set "$SRC" "$1" "$SEED"
}

# The source handed to every tool: the single file of A, the folder of B and C.
source_of() {
    if [ "$1" = A ]; then echo "$SRC/A/big.bin"; else echo "$SRC/$1"; fi
}

# Where the copies of the previous runs go. Two effects of this machine, a virtual machine
# whose root file system is ext4 without a journal, would otherwise be timed instead of the
# copy:
# - Without a journal, ext4 never gives a new file an inode freed in the last 60 seconds, and
#   the search past them grows with their number: right after deleting the previous copy of
#   set B, copying its 20,000 files took three times as long. Sets of many files therefore
#   keep their finished copies (they are small) and delete them only once KEEP_BYTES of them
#   have piled up; the next run then waits SETTLE seconds.
# - Memory the kernel has let go of (unused page cache is paged out and free memory is given
#   back to the host) is slow to fill again: with the copies kept, writing 2 GiB took 4 s
#   instead of 0.5 s. Sets of few files therefore delete the previous copy before each run,
#   which hands its memory straight to the next one, as on a machine with free memory.
KEPT=0
LAST_DELETE=0
RUN_NO=0

# delete_copies [quick]: deletes the finished copies; a deletion that is not quick makes the
# next run wait.
delete_copies() {
    rm -rf "$RUNS"
    mkdir -p "$RUNS"
    KEPT=0
    sync
    if [ "${1:-}" != quick ]; then
        LAST_DELETE=$EPOCHSECONDS
    fi
}

# fresh_destinations BYTES: new empty folders OUT1 and OUT2 for a run that writes BYTES, the
# source in the page cache, and no dirty pages of an earlier run left to be written back while
# this one is timed.
fresh_destinations() {
    if [ "$SET_FILES" -lt "$KEEP_FILES" ]; then
        delete_copies quick
    elif [ $((KEPT + $1)) -gt "$KEEP_BYTES" ]; then
        delete_copies
    fi
    local wait=$((LAST_DELETE + SETTLE - EPOCHSECONDS))
    if [ "$wait" -gt 0 ]; then
        sleep "$wait"
    fi
    RUN_NO=$((RUN_NO + 1))
    OUT1=$RUNS/$RUN_NO/1
    OUT2=$RUNS/$RUN_NO/2
    mkdir -p "$OUT1" "$OUT2"
    KEPT=$((KEPT + $1))
    sync
    if [ "${2:-}" = cold ]; then
        # Cold source: nothing of it is left in the page cache.
        echo 3 >/proc/sys/vm/drop_caches
    else
        # Warm cache: the whole source is read again, in case the kernel dropped some of it.
        find "$CURRENT_SOURCE" -type f -exec cat {} + >/dev/null
    fi
    # The same memory state before every run, whatever the previous run wrote or freed: twice
    # the set plus 1 GiB is touched and freed (see "Deleting the copies" in README.md).
    python3 - $((2 * SET_BYTES + 1024 * 1024 * 1024)) <<'EOF'
import sys
pages = bytearray(int(sys.argv[1]))
pages[::4096] = bytes(len(range(0, len(pages), 4096)))
EOF
}

# timed SET LABEL COMMAND...: one run, its wall time and max RSS kept.
timed() {
    local set=$1 label=$2
    shift 2
    local t0=$EPOCHREALTIME
    if ! /usr/bin/time -f %M -o "$WORK/rss.last" "$@" >"$WORK/out.last" 2>&1; then
        cat "$WORK/out.last" >&2
        die "$label on set $set: $*"
    fi
    local t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }' >>"$WORK/times/$set.$label"
    tail -1 "$WORK/rss.last" >>"$WORK/rss/$set.$label"
}

# The commands compared, by label.
run_label() {
    local set=$1 label=$2 src copies=1
    src=$(source_of "$set")
    local cache=warm
    case $label in
    ours2 | cp2 | cp2sync | ours2par | cp2async) copies=2 ;;
    ours2cold | cp2synccold)
        copies=2
        cache=cold
        ;;
    esac
    fresh_destinations $((copies * SET_BYTES)) "$cache"
    case $label in
    ours) timed "$set" "$label" "$BIN" --bufsz "$BUFSZ" "$src" -- "$OUT1" ;;
    cp) timed "$set" "$label" cp -r "$src" "$OUT1/" ;;
    cpsync) timed "$set" "$label" sh -c 'cp -r "$1" "$2/" && sync -f "$2"' sh "$src" "$OUT1" ;;
    rsync) timed "$set" "$label" rsync -a "$src" "$OUT1/" ;;
    cpasync) timed "$set" "$label" sh -c 'cp -a "$1" "$2/" && sync -f "$2"' sh "$src" "$OUT1" ;;
    rsyncsync) timed "$set" "$label" sh -c 'rsync -a "$1" "$2/" && sync -f "$2"' sh "$src" "$OUT1" ;;
    cp2async)
        timed "$set" "$label" sh -c 'cp -a "$1" "$2/" && cp -a "$1" "$3/" && sync -f "$2" "$3"' sh \
            "$src" "$OUT1" "$OUT2"
        ;;
    ours2) timed "$set" "$label" "$BIN" --bufsz "$BUFSZ" "$src" -- "$OUT1" "$OUT2" ;;
    cp2)
        timed "$set" "$label" sh -c 'cp -r "$1" "$2/" && cp -r "$1" "$3/"' sh "$src" "$OUT1" "$OUT2"
        ;;
    cp2sync)
        timed "$set" "$label" sh -c 'cp -r "$1" "$2/" && cp -r "$1" "$3/" && sync -f "$2" "$3"' sh \
            "$src" "$OUT1" "$OUT2"
        ;;
    ours2par) timed "$set" "$label" "$BIN" --parallel --bufsz "$BUFSZ" "$src" -- "$OUT1" "$OUT2" ;;
    ours2cold) timed "$set" "$label" "$BIN" --bufsz "$BUFSZ" "$src" -- "$OUT1" "$OUT2" ;;
    cp2synccold)
        timed "$set" "$label" sh -c 'cp -r "$1" "$2/" && cp -r "$1" "$3/" && sync -f "$2" "$3"' sh \
            "$src" "$OUT1" "$OUT2"
        ;;
    # The disk's own write rate: the same bytes written around the page cache.
    dd)
        timed "$set" "$label" dd if="$src" of="$OUT1/$(basename "$src")" bs=4M oflag=direct \
            status=none
        ;;
    esac
    # Every copy of ours, outside the timing.
    case $label in
    ours*) check_copies "$set" "$OUT1" ;;&
    ours2*) check_copies "$set" "$OUT2" ;;
    esac
}
# cpsync and cp2sync end like a RedoDori job, which waits for its destinations' file systems to
# write everything to disk (syncfs) before it reports the job done.
LABELS=(ours cp cpsync rsync ours2 cp2 cp2sync ours2par)
# Set A, a single file, is also written by dd and, as root, copied from a cold source. Sets of
# many files are also copied by cp -a, which like ours keeps every file's mode, times and
# extended attributes: cp -r keeps none of them and saves those calls on every file. Set B is
# also copied by rsync -a + sync -f and, twice, by cp -a + sync -f.
labels_of() {
    case $1 in
    A)
        echo "${LABELS[@]} dd"
        [ "$COLD" -eq 1 ] && echo "ours2cold cp2synccold"
        ;;
    B) echo "${LABELS[@]} cpasync rsyncsync cp2async" ;;
    *) echo "${LABELS[@]} cpasync" ;;
    esac
}

# check_copies SET DESTINATION: the copy under DESTINATION is the source's: bytes, modes, times,
# owners and link targets (bench/check_copy.sh); any difference stops the bench.
check_copies() {
    local set=$1 src
    src=$(source_of "$set")
    "$REPO/bench/check_copy.sh" "$src" "$2/$(basename "$src")" ||
        die "set $set: the copy in $2 differs from $src (above)"
}

median() {
    sort -g "$1" | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

max_of() {
    sort -g "$1" | tail -1
}

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'
}

SUMMARY=$WORK/summary
: >"$SUMMARY"
PEAK_KB=0

for set in $SETS; do
    case $set in
    A) runs=$RUNS_A ;;
    B) runs=$RUNS_B ;;
    C) runs=$RUNS_C ;;
    *) die "unknown data set $set" ;;
    esac
    echo
    echo "== set $set"
    make_set "$set"
    src=$(source_of "$set")
    CURRENT_SOURCE=$src
    SET_BYTES=$(du -sb "$src" | cut -f1)
    SET_FILES=$(find "$src" -type f | wc -l)
    echo "data:    $SET_FILES files, $(find "$src" -type f -printf '%s\n' |
        awk '{ s += $1 } END { printf "%.0f", s }') bytes in files; copies $(
        [ "$SET_FILES" -ge "$KEEP_FILES" ] && echo kept || echo "deleted before each run")"

    read -r -a labels <<<"$(labels_of "$set" | tr '\n' ' ')"
    # Warm-up round: fills the page cache with the source. dd keeps no times, so only its bytes
    # are compared; every run of ours is checked whole, in every round.
    for label in "${labels[@]}"; do
        run_label "$set" "$label"
        if [ "$label" = dd ]; then
            cmp -s "$src" "$OUT1/$(basename "$src")" || die "set $set: the copy of dd differs"
        fi
    done
    echo "verify:  every copy of ours checked whole (bench/check_copy.sh), and so is every later one"
    rm -f "$WORK"/times/"$set".* "$WORK"/rss/"$set".*

    for ((round = 1; round <= runs; ++round)); do
        for label in "${labels[@]}"; do
            run_label "$set" "$label"
        done
        echo "round $round/$runs done"
    done

    printf '%-11s %9s %9s %9s %9s   %s\n' run median min max maxRSS_KB "times (s)"
    for label in "${labels[@]}"; do
        t=$WORK/times/$set.$label
        printf '%-11s %9s %9s %9s %9s   %s\n' "$label" "$(median "$t")" "$(sort -g "$t" | head -1)" \
            "$(max_of "$t")" "$(max_of "$WORK/rss/$set.$label")" "$(tr '\n' ' ' <"$t")"
        eval "med_$label=$(median "$t")"
    done
    for label in ours ours2 ours2par ours2cold; do
        [ -f "$WORK/rss/$set.$label" ] || continue
        kb=$(max_of "$WORK/rss/$set.$label")
        [ "$kb" -gt "$PEAK_KB" ] && PEAK_KB=$kb
    done
    for pair in ours/cp ours/cpsync ours/cpasync ours/rsync ours/rsyncsync ours/dd ours2/cp2 \
        ours2/cp2sync ours2par/cp2 ours2par/cp2sync ours2par/cp2async ours2cold/cp2synccold; do
        [ -f "$WORK/times/$set.${pair#*/}" ] || continue
        r=$(ratio "$(eval echo "\$med_${pair%/*}")" "$(eval echo "\$med_${pair#*/}")")
        eval "ratio_${set}_${pair%/*}_${pair#*/}=$r"
        printf 'set %s: %-22s %s\n' "$set" "$pair" "$r" | tee -a "$SUMMARY"
    done
    rm -rf "${SRC:?}/$set"
    delete_copies
done

echo
echo "== summary (ratios of medians, ours/peer; below 1 means ours is faster)"
cat "$SUMMARY"
LIMIT_KB=$(((3 * BLOCK + 32 * 1024 * 1024) / 1024))
SCALE_OUT=$WORK/scale.out
if [ "$SCALE" = 1 ]; then
    echo
    echo "== bench/scale.sh"
    BENCH_BUILD=$BUILD BENCH_DIR=$BENCH_DIR "$REPO/bench/scale.sh" | tee "$SCALE_OUT"
fi
UNWRITTEN_OUT=$WORK/unwritten.out
if [ "$UNWRITTEN" = 1 ]; then
    echo
    echo "== bench/unwritten.sh"
    BENCH_BUILD=$BUILD BENCH_DIR=$BENCH_DIR "$REPO/bench/unwritten.sh" | tee "$UNWRITTEN_OUT"
fi

STARTUP_OUT=$WORK/startup.out
if [ "$STARTUP" = 1 ]; then
    echo
    echo "== bench/startup.sh"
    BENCH_BUILD=$BUILD BENCH_DIR=$BENCH_DIR "$REPO/bench/startup.sh" | tee "$STARTUP_OUT"
fi

echo
echo "== targets"
# target SET PAIR LIMIT WHAT: a ratio of medians against its limit.
target() {
    local name="ratio_$1_${2%/*}_${2#*/}"
    if [ -z "${!name:-}" ]; then
        printf '%-58s %12s  (target <= %s)  %s\n' "$4" "-" "$3" "not run"
        return 0
    fi
    local verdict
    verdict=$(awk -v r="${!name}" -v l="$3" 'BEGIN { print (r <= l) ? "met" : "missed" }')
    printf '%-58s %12s  (target <= %s)  %s\n' "$4" "${!name}" "$3" "$verdict"
}
target A ours/cpsync 0.85 "1. A: ours / cp -r + sync -f"
target A ours/dd 1.2 "1. A: ours / dd oflag=direct"
target B ours/cpasync 0.8 "2. B: ours / cp -a + sync -f"
target B ours/rsyncsync 0.7 "2. B: ours / rsync -a + sync -f"
printf '%-58s %12s  (no target)\n' "2. B: ours / cp -r + sync -f" "${ratio_B_ours_cpsync:--}"
target C ours/cpasync 0.85 "3. C: ours / cp -a + sync -f"
target C ours/cpsync 0.9 "3. C: ours / cp -r + sync -f"
target A ours2/cp2sync 0.9 "4. A, two destinations: ours / two cp -r + sync -f"
target A ours2cold/cp2synccold 0.6 "4. A, two destinations, cold: ours / two cp + sync"
target B ours2par/cp2async 0.8 "4. B, two destinations, parallel: ours / two cp -a + sync"
[ -f "$SCALE_OUT" ] && grep -E ' (met|missed)$' "$SCALE_OUT"
[ -f "$UNWRITTEN_OUT" ] && grep -E ' (met|missed)$' "$UNWRITTEN_OUT"
[ -f "$STARTUP_OUT" ] && grep -E ' (met|missed)$' "$STARTUP_OUT"
printf '%-58s %12s  (target <= %s)  %s\n' "peak RSS of our copy runs, KiB" "$PEAK_KB" "$LIMIT_KB" \
    "$([ "$PEAK_KB" -le "$LIMIT_KB" ] && echo met || echo missed)"
