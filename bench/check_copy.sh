#!/usr/bin/env bash
# bench/check_copy.sh SOURCE COPY: exit status 0 when COPY is a faithful copy of SOURCE (a file
# or a folder tree): the same names, the same bytes in every file, the same type, permission
# bits, modification time (to the nanosecond, as far as the file system keeps it) and owner of
# every file and folder, and the same target of every symbolic link. Otherwise it names every
# difference on stderr and exits 1; wrong arguments exit 2.
set -euo pipefail

exists() { [ -e "$1" ] || [ -L "$1" ]; }
if [ $# -ne 2 ] || ! exists "$1"; then
    echo "usage: bench/check_copy.sh SOURCE COPY" >&2
    exit 2
fi
src=$1 copy=$2
if ! exists "$copy"; then
    echo "check_copy: $copy does not exist" >&2
    exit 1
fi

# One line per entry, the top itself included (as "."), sorted by name: links by their target
# (a link's own times and mode are not kept by every copier, nor asked for), everything else by
# type, mode, modification time and owner. NUL-separated, so that no name can forge a line.
listing() {
    (cd "$(dirname "$1")" && find "$(basename "$1")" \
        \( -type l -printf '%P\tlink -> %l\0' \) -o \
        \( -printf '%P\t%y %m %T@ %U:%G\0' \)) | sort -z | tr '\0\n' '\n?'
}

status=0
if ! listing_diff=$(diff <(listing "$src") <(listing "$copy")); then
    echo "check_copy: names, types, modes, times, owners or link targets differ" \
        "(< $src, > $copy):" >&2
    head -n 40 <<<"$listing_diff" >&2
    status=1
fi
if ! content_diff=$(diff -r -q --no-dereference "$src" "$copy" 2>&1); then
    echo "check_copy: contents differ:" >&2
    head -n 40 <<<"$content_diff" >&2
    status=1
fi
exit $status
