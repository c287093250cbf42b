#!/usr/bin/env bash
# Links planted where a job writes: at a destination file's name and at its resume marker's
# name. The job never writes through them or changes what they point at; overwriting replaces
# the link itself.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"
setup mkdir -p "$work/src"
setup head -c 6000000 /dev/urandom >"$work/src/big"
printf 'new\n' >"$work/src/f"

# A file elsewhere, read-only, that a link in the destination points at.
elsewhere() {
    rm -f "$work/elsewhere"
    printf 'keep me\n' >"$work/elsewhere"
    chmod 0444 "$work/elsewhere"
}
untouched_content() { printf 'keep me\n' | cmp -s - "$work/elsewhere"; }
untouched() { untouched_content && [ "$(stat -c %a "$work/elsewhere")" = 444 ]; }

# switches, what becomes of the link: kept, replaced or renamed (moved aside as vn_rename.f)
cases=(ek kept ew replaced euw replaced eo renamed)
for ((i = 0; i < ${#cases[@]}; i += 2)); do
    switches=${cases[i]} outcome=${cases[i + 1]}
    elsewhere
    rm -rf "$work/d"
    setup mkdir -p "$work/d"
    setup ln -s "$work/elsewhere" "$work/d/f"
    "$REDODORI" "|$work/src/f|$work/d/|$switches" 2>/dev/null || true
    check "$switches: the file the link points at was changed" untouched
    case $outcome in
        kept) check "$switches: the link is gone" test -L "$work/d/f" ;;
        replaced)
            check "$switches: the link was not replaced" test ! -L "$work/d/f"
            check "$switches: the copy differs" cmp -s "$work/src/f" "$work/d/f"
            ;;
        renamed)
            check "$switches: the link was not moved aside" test -L "$work/d/vn_rename.f"
            check "$switches: the copy differs" cmp -s "$work/src/f" "$work/d/f"
            ;;
    esac
done

# The resume marker of a big file written with reserved space (z), 1 MiB blocks, serial and
# parallel: a link at the marker's name is removed, never written through.
for parallel in 0 1; do
    "$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' parcopy "$parallel"
    elsewhere
    chmod 0600 "$work/elsewhere"
    rm -rf "$work/m"
    setup mkdir -p "$work/m"
    setup ln -s "$work/elsewhere" "$work/m/big.RedoDori"
    "$REDODORI" "|$work/src/big|$work/m/|ezLb6" 2>/dev/null || true
    check "marker, parallel $parallel: written through the link" untouched_content
    check "marker, parallel $parallel: the copy differs" cmp -s "$work/src/big" "$work/m/big"
    check "marker, parallel $parallel: a marker stayed" test ! -e "$work/m/big.RedoDori" -a ! -L "$work/m/big.RedoDori"
done

finish destination_links
