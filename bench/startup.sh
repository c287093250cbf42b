#!/usr/bin/env bash
# Times a job of one small file from start to exit: `redodori-console --no-window FILE DIR/`
# against `cp --preserve=mode,timestamps FILE DIR2/ && sync -f DIR2`, interleaved, warm; prints
# both medians, their difference and its target. See bench/README.md ("A one-file job from start
# to exit"). Environment:
#   BENCH_DIR      base folder for the temporary data (default /var/tmp)
#   STARTUP_RUNS   timed rounds (default 30)
#   STARTUP_BYTES  size of the file (default 4096)
#   BENCH_BUILD    an existing build folder to use as it is (default: build-bench/, made here)
#   STARTUP_AGAINST  another redodori-console (of another build), timed in the same rounds, in
#                  turns before and after ours, so that a change is measured against the same load
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BENCH_BUILD:-$REPO/build-bench}
BENCH_DIR=${BENCH_DIR:-/var/tmp}
RUNS=${STARTUP_RUNS:-30}
BYTES=${STARTUP_BYTES:-4096}
WARMUP=3
LIMIT_MS=25

die() {
    echo "startup.sh: FAILED: $*" >&2
    exit 1
}
command -v python3 >/dev/null || die "needs python3"

[ -n "${BENCH_BUILD:-}" ] ||
    cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DREDODORI_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target redodori redodori-console >/dev/null
CONSOLE=$(find "$BUILD" -name redodori-console -type f -perm -u+x | head -1)
[ -n "$CONSOLE" ] || die "no redodori-console in $BUILD"

mkdir -p "$BENCH_DIR"
WORK=$(mktemp -d "$(cd "$BENCH_DIR" && pwd)/redodori-startup.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
trap 'exit 130' INT TERM
# The program's store, data and runtime folders are the bench's own, as in the end-to-end tests.
# No display: a job started from a terminal without one (over ssh, from a script or a timer).
# QT_QPA_PLATFORM is left unset, as desktops leave it: the program itself picks the offscreen
# platform when no display can be reached, so the time of that choice is measured too.
export REDODORI_CONFIG_DIR="$WORK/config" REDODORI_DATA_DIR="$WORK/data" \
    XDG_RUNTIME_DIR="$WORK/run" REDODORI_STATE_DIR="$WORK/state" XDG_CONFIG_HOME="$WORK/xdg" \
    REDODORI_FAKE_POWEROFF="$WORK/poweroff"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM REDODORI
mkdir -p "$WORK/run" && chmod 700 "$WORK/run"

FILE=$WORK/one.dat
head -c "$BYTES" /dev/urandom >"$FILE"

echo "== one-file job: $(date), $(nproc) cores, $(df -T "$WORK" | awk 'NR == 2 {print $2}'), $(
    git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo unknown), $BYTES bytes, $RUNS rounds"

# run LABEL N: one run into a new folder, its milliseconds appended to WORK/LABEL.ms (unless a
# warm-up run); the copy of ours checked against the file, outside the timing.
run() {
    local label=$1 n=$2 out=$WORK/out-$1-$2
    mkdir "$out"
    sync
    local start=$EPOCHREALTIME
    case $label in
    ours) "$CONSOLE" --no-window "$FILE" "$out/" >"$WORK/last.out" 2>&1 ||
        die "the job failed: $(cat "$WORK/last.out")" ;;
    other) "$STARTUP_AGAINST" --no-window "$FILE" "$out/" >"$WORK/last.out" 2>&1 ||
        die "the other job failed: $(cat "$WORK/last.out")" ;;
    cp) cp --preserve=mode,timestamps "$FILE" "$out/" && sync -f "$out" ;;
    esac
    local end=$EPOCHREALTIME
    [ "$n" = warm ] || python3 -c "print(round(($end - $start) * 1000, 2))" >>"$WORK/$label.ms"
    if [ "$label" != cp ]; then
        "$REPO/bench/check_copy.sh" "$FILE" "$out/one.dat" || die "the job's copy differs"
    fi
    rm -rf "$out"
}

for i in $(seq "$WARMUP"); do
    run ours warm
    [ -z "${STARTUP_AGAINST:-}" ] || run other warm
    run cp warm
done
for i in $(seq "$RUNS"); do
    if [ -n "${STARTUP_AGAINST:-}" ] && [ $((i % 2)) = 0 ]; then
        run other "$i"
        run ours "$i"
    else
        run ours "$i"
        [ -z "${STARTUP_AGAINST:-}" ] || run other "$i"
    fi
    run cp "$i"
done

median() { sort -g "$1" | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ours=$(median "$WORK/ours.ms")
peer=$(median "$WORK/cp.ms")
difference=$(python3 -c "print(round($ours - $peer, 1))")
echo "ours:    median $ours ms  ($(sort -g "$WORK/ours.ms" | head -1) to $(sort -g "$WORK/ours.ms" | tail -1))"
[ -z "${STARTUP_AGAINST:-}" ] || echo "other:   median $(median "$WORK/other.ms") ms  ($(
    sort -g "$WORK/other.ms" | head -1) to $(sort -g "$WORK/other.ms" | tail -1))"
echo "cp+sync: median $peer ms  ($(sort -g "$WORK/cp.ms" | head -1) to $(sort -g "$WORK/cp.ms" | tail -1))"
verdict=missed
python3 -c "import sys; sys.exit(0 if $difference <= $LIMIT_MS else 1)" && verdict=met
printf '%-58s %12s  (target <= %s)  %s\n' \
    "9. one-file job: ours - (cp --preserve + sync -f), ms" "$difference" "$LIMIT_MS" "$verdict"
