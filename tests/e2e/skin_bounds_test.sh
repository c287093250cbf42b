#!/usr/bin/env bash
# Skins within bounds: a skin of forged BMP headers (each claims 4000x4000 pixels at 32 bits and
# holds 10 bytes) and a skin of real 4096x4096 pictures in a few bytes each (RLE) cost a job
# little memory, with its window and without one (n), and are named in one line on stderr; the
# job copies as it would with the shipped skin, whose pictures still load without a word.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${SOURCE_DIR:?}"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen

[ -x /usr/bin/time ] || skip_all "needs GNU time (scripts/setup.sh installs it)"
# A job that reads such a skin whole would take gigabytes: it must fail here, not exhaust the
# machine. A build with AddressSanitizer reserves far more address space than any limit
# allows, and its shadow memory counts in the peak: there the bound is the shipped skin's peak
# and the same room above it.
memory_limit=1500000
bound_kb=102400
asan=0
case "$(ldd "$REDODORI" 2>/dev/null)" in *libasan*) memory_limit=unlimited asan=1 ;; esac

skins="$work/data/skins"
setup mkdir -p "$skins/Forged" "$skins/Huge" "$work/src"
setup head -c 1500000 /dev/urandom >"$work/src/big"
# The 55 pictures a skin may have, and its texture: in Forged a BMP header under the texture's
# name too; in Huge the shipped texture.
setup perl -e '
    use strict;
    my ($forged, $huge) = @ARGV;
    my @names = ((map { "$_.bmp" } 1..32), qw(minimize_btn.bmp abort_btn.bmp skip_btn.bmp
        settings_btn.bmp pause_btn.bmp resume_btn.bmp settings.bmp minimize.bmp pause.bmp
        resume.bmp skip.bmp abort.bmp progback.bmp progfore.bmp main.bmp queue_leftup.bmp
        queue_rightup.bmp queue_leftdown.bmp queue_rightdown.bmp queue_left.bmp queue_right.bmp
        queue_up.bmp queue_down.bmp));
    # A BMP: file header, 40-byte information header, palette, pixel data.
    sub bmp {
        my ($width, $height, $bits, $compression, $palette, $data) = @_;
        my $offset = 54 + length $palette;
        return pack("A2 V v v V", "BM", $offset + length $data, 0, 0, $offset)
            . pack("V l l v v V V l l V V", 40, $width, $height, 1, $bits, $compression,
                   length $data, 2835, 2835, length($palette) / 4, 0)
            . $palette . $data;
    }
    sub write_file {
        my ($path, $bytes) = @_;
        open(my $file, ">", $path) or die "$path: $!";
        binmode $file;
        print $file $bytes or die "$path: $!";
        close $file or die "$path: $!";
    }
    for my $name (@names, "queue_texture.jpg") {
        write_file("$forged/$name", bmp(4000, 4000, 32, 0, "", "\0" x 10));
    }
    # RLE with two colours: the end-of-picture mark is all the pixel data it needs.
    for my $name (@names) {
        write_file("$huge/$name", bmp(4096, 4096, 8, 1, "\0\0\0\0\xff\xff\xff\0", "\0\1"));
    }
    # The queue frame is read only for a skinned queue window.
    write_file("$_/skin.ini", "[Queue]\r\nSkinned=1\r\n") for ($forged, $huge);
' "$skins/Forged" "$skins/Huge"
setup cp "$SOURCE_DIR/data/skins/Default/queue_texture.jpg" "$skins/Huge/"

# Runs a copy of the big file with the skin $1 and switches $2 into $work/dst; its stderr goes
# to $work/err, its peak resident memory (KB) to $work/peak.
run_with_skin() {
    local status=0
    setup "$REDODORI_REG" set-text 'SOFTWARE\DiraRedi\RedoDori\local' Skin "$1"
    rm -rf "$work/dst"
    (ulimit -v "$memory_limit" &&
        exec timeout -k 5 120 /usr/bin/time -f %M -o "$work/peak" \
            "$REDODORI" "|$work/src/big|$work/dst/|$2") 2>"$work/err" || status=$?
    check_same "the job with the skin $1 and switches $2: exit status" 0 "$status"
    cmp -s "$work/src/big" "$work/dst/big" || bad "the job with the skin $1 and switches $2 did not copy"
    check_same "the job with the skin $1 and switches $2: its end line" \
        "redodori: Copy finished: 1 of 1 files, 1500000 of 1500000 bytes, 0 retries, 0 skips" \
        "$(grep '^redodori: Copy' "$work/err" || true)"
}
skin_lines() { grep '^redodori: the skin' "$work/err" || true; }
peak() { tail -1 "$work/peak"; }

# The shipped skin: its pictures load without a word, with the window and without it.
run_with_skin Default en
check_same "Default without a window: skin lines" "" "$(skin_lines)"
run_with_skin Default e
check_same "Default with a window: skin lines" "" "$(skin_lines)"
[ "$asan" -eq 0 ] || bound_kb=$(($(peak) + 60000))

forged='redodori: the skin "Forged" is used in part: 1.bmp, 2.bmp, 3.bmp, 4.bmp, 5.bmp, 6.bmp and 49 more: the header claims 4000x4000 pixels of 32 bits, more than the 10 bytes of pixel data in the file can hold; queue_texture.jpg: not a JPEG picture'
huge='redodori: the skin "Huge" is used in part: 1.bmp, 2.bmp, 3.bmp, 4.bmp, 5.bmp, 6.bmp and 49 more: 4096x4096 pixels would take the skin'"'"'s pictures past 2097152 pixels together'
for switches in en e; do
    for skin in Forged Huge; do
        run_with_skin "$skin" "$switches"
        expected=$forged
        [ "$skin" = Forged ] || expected=$huge
        check_same "$skin, switches $switches: the one line that names the skin" "$expected" "$(skin_lines)"
        [ "$(peak)" -lt "$bound_kb" ] ||
            bad "$skin, switches $switches: a peak of $(peak) KB, not below $bound_kb KB"
    done
done
finish skin_bounds
