#!/usr/bin/env bash
# Measures what grows with the job rather than with the bytes: a sparse file, list files of
# 100,000 and 1,000,000 paths, the progress window's tick during a long job, and what the
# destination check adds to a job of 100,000 small files. Prints each
# target with its measured value and "met" or "missed". See bench/README.md. Environment:
#   BENCH_DIR     base folder for the temporary data (default /var/tmp)
#   SCALE_SMALL   paths of the smaller list (default 100000)
#   SCALE_LARGE   paths of the larger list (default 1000000)
#   TICK_SECONDS  how long the tick is watched (default 60)
#   BENCH_SETTLE  seconds waited after the 100,000-file rounds are deleted (default 65)
#   BENCH_BUILD   an existing build folder to use as it is (default: build-bench/, made here)
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BENCH_BUILD:-$REPO/build-bench}
BENCH_DIR=${BENCH_DIR:-/var/tmp}
SMALL=${SCALE_SMALL:-100000}
LARGE=${SCALE_LARGE:-1000000}
TICK_SECONDS=${TICK_SECONDS:-60}

die() {
    echo "scale.sh: FAILED: $*" >&2
    exit 1
}
command -v python3 >/dev/null && [ -x /usr/bin/time ] || die "needs python3 and GNU time"

[ -n "${BENCH_BUILD:-}" ] ||
    cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DREDODORI_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target redodori redodori-bench-copy >/dev/null
PROGRAM=$(find "$BUILD" -name redodori -type f -perm -u+x | head -1)
COPY=$BUILD/bench/redodori-bench-copy

mkdir -p "$BENCH_DIR"
WORK=$(mktemp -d "$(cd "$BENCH_DIR" && pwd)/redodori-scale.XXXXXX")
job=""
finish() {
    [ -n "$job" ] && kill "$job" 2>/dev/null
    rm -rf "$WORK"
}
trap finish EXIT
trap 'exit 130' INT TERM
# The program's store, data and runtime folders are the bench's own.
export REDODORI_CONFIG_DIR="$WORK/config" REDODORI_DATA_DIR="$WORK/data" \
    XDG_RUNTIME_DIR="$WORK/run" REDODORI_STATE_DIR="$WORK/state" XDG_CONFIG_HOME="$WORK/xdg" \
    QT_QPA_PLATFORM=offscreen REDODORI_FAKE_POWEROFF="$WORK/poweroff"
mkdir -p "$WORK/run" && chmod 700 "$WORK/run"

verdict() { # NAME VALUE LIMIT: met when VALUE <= LIMIT
    local state=missed
    python3 -c "import sys; sys.exit(0 if float('$2') <= float('$3') else 1)" && state=met
    printf '%-58s %12s  (target <= %s)  %s\n' "$1" "$2" "$3" "$state"
}

echo "== machine: $(date), $(nproc) cores, $(df -T "$WORK" | awk 'NR == 2 {print $2}'), $(
    git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo unknown)"

# --- sparse: 1 GiB with 4 KiB of data ----------------------------------------------------------
mkdir -p "$WORK/sparse/out"
truncate -s 1G "$WORK/sparse/holes.bin"
head -c 4096 /dev/urandom | dd of="$WORK/sparse/holes.bin" bs=4096 seek=100000 conv=notrunc \
    status=none
sync
start=$EPOCHREALTIME
"$COPY" "$WORK/sparse/holes.bin" -- "$WORK/sparse/out" >/dev/null 2>&1
seconds=$(python3 -c "print(round($EPOCHREALTIME - $start, 3))")
cmp "$WORK/sparse/holes.bin" "$WORK/sparse/out/holes.bin" || die "the sparse copy differs"
verdict "5. sparse 1 GiB (4 KiB data): seconds" "$seconds" 0.1
verdict "5. sparse 1 GiB (4 KiB data): KiB on disk" "$(du -k "$WORK/sparse/out/holes.bin" | cut -f1)" 64
rm -rf "$WORK/sparse"

# --- the destination check: 100,000 files of 4 KiB, checked and not ----------------------------
python3 - "$WORK/small" <<'EOF'
import os, sys
root = sys.argv[1]
block = os.urandom(4096)
for i in range(100000):
    folder = os.path.join(root, f"folder-{i // 500:03}")
    if i % 500 == 0:
        os.makedirs(folder)
    with open(os.path.join(folder, f"file-{i:06}.dat"), "wb") as f:
        f.write(block)
EOF
check_run() { # ROUND [--no-checks]: seconds of one job into a folder of its own
    local out=$WORK/checked-$1
    mkdir "$out"
    sync
    local start=$EPOCHREALTIME
    "$COPY" "${@:2}" "$WORK/small" -- "$out" >/dev/null 2>&1 || die "the job of 100,000 files failed"
    python3 -c "print($EPOCHREALTIME - $start)"
    rm -rf "$out"
}
checked=() unchecked=()
for round in 1 2 3 4 5; do
    checked+=("$(check_run "c$round")")
    unchecked+=("$(check_run "u$round" --no-checks)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
ratio=$(python3 -c "print(round($(median "${checked[@]}") / $(median "${unchecked[@]}"), 3))")
echo "destination check: checked $(median "${checked[@]}") s, unchecked $(median "${unchecked[@]}") s (medians of 5)"
verdict "8. 100,000 files of 4 KiB: checked / unchecked" "$ratio" 1.05
rm -rf "$WORK/small"
# The rounds above deleted a million files: ext4 without a journal skips inodes freed in the last
# minute when it makes new files, and the lists below would measure that search.
sleep "${BENCH_SETTLE:-65}"

# --- list files: memory and time per entry -----------------------------------------------------
# Empty files, 1,000 a folder; the list names every one.
python3 - "$WORK/tree" "$LARGE" <<'EOF'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, f"folder-{i // 1000:04}")
    if i % 1000 == 0:
        os.makedirs(folder)
    open(os.path.join(folder, f"file-{i:07}.dat"), "wb").close()
EOF
list_run() { # COUNT: peak KiB and seconds of a job that copies the first COUNT paths
    local count=$1
    find "$WORK/tree" -type f | sort | awk -v n="$count" 'NR <= n {print $0 "\r"}' \
        >"$WORK/list-$count.lst"
    # A folder of its own: files deleted just before would slow the creation of new ones
    # (ext4 without a journal searches past recently freed inodes).
    local out=$WORK/out-$count
    mkdir "$out"
    sync
    local start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$WORK/rss" "$PROGRAM" "|$WORK/list-$count.lst|$out/|" \
        >/dev/null 2>&1 || die "the job of $count paths failed"
    local seconds
    seconds=$(python3 -c "print($EPOCHREALTIME - $start)")
    [ "$(find "$out" -type f | wc -l)" -eq "$count" ] || die "the job of $count paths left files out"
    echo "$(cat "$WORK/rss") $seconds"
}
read -r base_kib _ < <(list_run 1000)
read -r small_kib small_s < <(list_run "$SMALL")
read -r large_kib large_s < <(list_run "$LARGE")
path_bytes=$(awk 'NR == 1 {print length($0)}' "$WORK/list-$LARGE.lst")
per_entry=$(python3 -c "print(round(($large_kib - $base_kib) * 1024 / $LARGE - $path_bytes))")
ratio=$(python3 -c "print(round(($large_s / $LARGE) / ($small_s / $SMALL), 2))")
echo "lists: $SMALL paths ${small_kib} KiB ${small_s%.*} s; $LARGE paths ${large_kib} KiB ${large_s%.*} s"
verdict "6. list of $LARGE: bytes per entry beyond its path" "$per_entry" 300
verdict "6. list: time per entry at $LARGE / at $SMALL" "$ratio" 1.2
rm -rf "$WORK/tree" "$WORK"/out-* "$WORK"/list-*.lst

# --- the window's tick: CPU of the window thread during a long job ----------------------------
mkdir -p "$WORK/tick/out"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$WORK/tick/long.bin"
# Limited to 512 KiB/s, the job runs for minutes.
"$PROGRAM" "|$WORK/tick/long.bin?|$WORK/tick/out/|eLk4" >/dev/null 2>&1 &
job=$!
sleep 5
ticks() { awk '{print $14 + $15}' "/proc/$job/task/$job/stat"; }
before=$(ticks)
sleep "$TICK_SECONDS"
after=$(ticks)
kill "$job" && wait "$job" 2>/dev/null || true
job=""
percent=$(python3 -c "print(round(($after - $before) * 100 / $(getconf CLK_TCK) / $TICK_SECONDS, 2))")
verdict "7. window thread during a long job: % of a core" "$percent" 1
