#!/usr/bin/env bash
# What a job that shows no window does not load: a console job without a display copies its
# file without opening the Samba libraries (opened only when the network is browsed) or a single
# font (the windows that measure texts are made when they first show).
set -euo pipefail
: "${REDODORI_CONSOLE:?}" "${SOURCE_DIR:?}"
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

finish startup
