#!/usr/bin/env bash
# What a job that shows no window does not load: a console job without a display copies its
# file without opening the Samba libraries (opened only when the network is browsed) or a single
# font (the windows that measure texts are made when they first show). A question that comes up
# on a display still gets its window, made then.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}" "${SOURCE_DIR:?}"
source "$(dirname "$0")/common.sh"
command -v strace >/dev/null || skip_all "needs strace"
export REDODORI_FAKE_POWEROFF="$work/poweroff"
unset DISPLAY WAYLAND_DISPLAY

setup head -c 4096 /dev/urandom >"$work/one.dat"
setup touch -d '2022-02-02 02:02:02.5' "$work/one.dat"
mkdir "$work/out"
trace -f -e trace=open,openat -o "$work/trace" "$REDODORI_CONSOLE" --no-window "$work/one.dat" \
    "$work/out/" >"$work/job.out" 2>&1 || fail "the job failed: $(cat "$work/job.out")"
check "the copy is whole, with its mode and time" \
    "$SOURCE_DIR/bench/check_copy.sh" "$work/one.dat" "$work/out/one.dat"
opened=$(grep -v ENOENT "$work/trace")
grep -q 'libQt6Core' <<<"$opened" || setup_failed "the trace shows no library loads"
for library in libsmbclient samba4; do
    ! grep -q "$library" <<<"$opened" || bad "$library was loaded: $(grep -m1 "$library" <<<"$opened")"
done
for font in fonts.conf /fontconfig/ '\.ttf"' '\.otf"' '\.pfb"'; do
    ! grep -q "$font" <<<"$opened" || bad "fonts were loaded: $(grep -m1 "$font" <<<"$opened")"
done

if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    start_display
    setup mkdir -p "$work/tree" "$work/again/tree"
    setup cp "$work/one.dat" "$work/tree/"
    printf 'older\n' >"$work/again/tree/one.dat"
    "$REDODORI" "|$work/tree|$work/again/|e" 2>"$work/err" &
    job=$!
    pids+=("$job")
    if [ -n "$(focus_window "^File already exists$")" ]; then
        # The default button overwrites.
        xdotool key Return
    else
        bad "no window asked about the existing file"
    fi
    wait_job "$job"
    check_same "the job with a question: exit status" 0 "$status"
    check "the answer in the window was followed" cmp -s "$work/one.dat" "$work/again/tree/one.dat"
else
    echo "NOTE: no Xvfb or xdotool: the question in a window is not tried"
fi

finish startup
