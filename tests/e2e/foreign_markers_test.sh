#!/usr/bin/env bash
# Resume markers planted by another user. In a shared folder such as /tmp anyone may write a
# marker that names one of this user's files as its source: restarting it must neither delete
# that file nor move it into the other user's folder. This user's own marker there is restarted
# only beside a destination of this user's own.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"
[ "$(id -u)" -eq 0 ] || skip_all "only root can run the other user (setpriv)"
id nobody >/dev/null 2>&1 && getent group nogroup >/dev/null && command -v setpriv >/dev/null ||
    skip_all "needs the user nobody, the group nogroup and setpriv"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
# The other user reaches the shared folder, as everyone reaches /tmp.
shared="$work/shared"
setup chmod 711 "$work"
setup mkdir -p "$shared" "$work/home" "$work/sentinel"
setup chmod 1777 "$shared"
head -c 300000 /dev/urandom >"$work/home/thesis.pdf" && cp "$work/home/thesis.pdf" "$work/thesis.orig" &&
    echo x >"$work/sentinel/x" || setup_failed "cannot write the files"

# A marker with position 0, the source and the switches, written by `as` ("me" or "other").
marker() {
    local as=$1 path=$2 source=$3 switches=$4
    local write=(perl -e 'open(my $f, ">", $ARGV[0]) or die; print $f pack("Q<", 0), map { join("\0", split //, $_) . "\0\0\0" } @ARGV[1..2]' "$path" "$source" "$switches")
    if [ "$as" = other ]; then
        setpriv --reuid=nobody --regid=nogroup --clear-groups "${write[@]}"
    else
        "${write[@]}"
    fi || setup_failed "cannot write the marker $path"
}
restart() { timeout 60 "$REDODORI" "/vnresume=$1" 2>"$work/err" || bad "the restart of $1 failed: $(cat "$work/err")"; }
# A job that waits for every other job (G): whatever a restart started has ended after it.
settled() {
    timeout 60 "$REDODORI" "|$work/sentinel/x|$work/sentinel-dst/|eG" 2>/dev/null ||
        setup_failed "the job that waits for the others did not run"
}
# Each case begins with the thesis in place, whatever the one before did.
intact() {
    cmp -s "$work/thesis.orig" "$work/home/thesis.pdf" || bad "$1: thesis.pdf was lost"
    cp "$work/thesis.orig" "$work/home/thesis.pdf" || setup_failed "cannot put the thesis back"
}

# The other user's marker names this user's thesis with a delete.
marker other "$shared/thesis.pdf.RedoDori" "$work/home/thesis.pdf" Mn
restart "$shared/thesis.pdf.RedoDori"
settled
check_same "a marker of another user (delete)" \
    "redodori: the resume marker $shared/thesis.pdf.RedoDori belongs to another user" "$(own_lines "$work/err")"
intact "a planted delete"

# ... and with a move into the shared folder.
rm -f "$shared/thesis.pdf.RedoDori"
marker other "$shared/thesis.pdf.RedoDori" "$work/home/thesis.pdf" mwn
restart "$shared/thesis.pdf.RedoDori"
settled
check_same "a marker of another user (move)" \
    "redodori: the resume marker $shared/thesis.pdf.RedoDori belongs to another user" "$(own_lines "$work/err")"
intact "a planted move"
[ ! -e "$shared/thesis.pdf" ] || bad "the thesis was copied into the other user's folder"

# This user's own marker, beside a destination the other user put there: nothing is written
# into that file.
head -c 1000 "$work/thesis.orig" >"$work/part" && chmod 666 "$work/part" ||
    setup_failed "cannot write a partial copy"
rm -f "$shared/thesis.pdf"
setpriv --reuid=nobody --regid=nogroup --clear-groups cp "$work/part" "$shared/thesis.pdf" ||
    setup_failed "the other user cannot write the shared folder"
rm -f "$shared/thesis.pdf.RedoDori"
marker me "$shared/thesis.pdf.RedoDori" "$work/home/thesis.pdf" uwq2
restart "$shared/thesis.pdf.RedoDori"
settled
check_same "a marker beside another user's destination" \
    "redodori: the resume marker $shared/thesis.pdf.RedoDori lies in a shared folder beside $shared/thesis.pdf, which belongs to another user" \
    "$(own_lines "$work/err")"
cmp -s "$work/part" "$shared/thesis.pdf" || bad "the other user's destination was written"

# This user's own marker beside this user's own partial copy: restarted to the end.
rm -f "$shared/thesis.pdf" "$shared/thesis.pdf.RedoDori"
cp "$work/part" "$shared/thesis.pdf" || setup_failed "cannot write a partial copy"
marker me "$shared/thesis.pdf.RedoDori" "$work/home/thesis.pdf" uwq2
restart "$shared/thesis.pdf.RedoDori"
settled
! grep -q "resume marker" "$work/err" || bad "the user's own marker was refused: $(cat "$work/err")"
cmp -s "$work/thesis.orig" "$shared/thesis.pdf" || bad "the user's own marker did not finish the copy"
intact "a restarted copy"

finish "foreign markers"
