#!/usr/bin/env bash
# A copy with a checksum manifest leaves one beside each destination that the peers' tools check:
# `sha256sum -c` (names with spaces, backslashes and line breaks) and `xxhsum -c` (names with
# spaces; Debian's xxhsum reads no escaped names). A file the job could not copy is missing
# from the manifest and named at the end, each manifest is named in the last lines and in the
# history, and nothing hidden is left beside it.
set -euo pipefail
: "${REDODORI_CONSOLE:?}"

source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY
command -v sha256sum >/dev/null || skip_all "sha256sum is not installed"
command -v xxhsum >/dev/null || skip_all "xxhsum is not installed (setup.sh installs xxhash)"

# The end line without its time and speed.
end_line() { tr '\r' '\n' <"$1" | grep -E '^(Copy|Move) [a-z]+: ' | sed 's/, elapsed .*//'; }
# The one manifest of the kind in a folder.
manifest_in() { find "$1" -maxdepth 1 -name "RedoDori-*.$2" -printf '%f\n'; }
leftovers_in() { find "$1" -maxdepth 1 -name '.RedoDori-*' -printf '%f\n'; }

setup mkdir -p "$work/src/tree/sub" "$work/one" "$work/two"
setup head -c 3000000 /dev/urandom >"$work/src/tree/sub/big file"
printf 'small\n' >"$work/src/tree/small"
: >"$work/src/tree/empty"
printf 'back\n' >"$work/src/tree/back\\slash"
printf 'line\n' >"$work/src/tree/line"$'\n'"break"

"$REDODORI_CONSOLE" --manifest=sha256 --to "$work/one" --to "$work/two" "$work/src/tree" \
    </dev/null >"$work/out" 2>&1 || true
check_same "sha256: the end line" \
    "Copy finished: 5 of 5 files, 3000016 of 3000016 bytes, 0 retries, 0 skips" \
    "$(end_line "$work/out")"
for dest in one two; do
    name=$(manifest_in "$work/$dest" sha256)
    check "sha256: $dest has one manifest named for the job" \
        grep -qE '^RedoDori-[0-9]{8}-[0-9]{6}-[0-9]+\.sha256$' <<<"$name"
    check "sha256: sha256sum -c takes every line of $dest's manifest" \
        bash -c 'cd "$1" && sha256sum -c --strict --quiet "$2"' _ "$work/$dest" "$name"
    check_same "sha256: $dest's manifest lists every file" 5 "$(grep -c '' "$work/$dest/$name")"
    check_same "sha256: nothing hidden is left in $dest" "" "$(leftovers_in "$work/$dest")"
    check "sha256: the last lines name $dest's manifest" \
        grep -qF "  Manifest: $work/$dest/$name" "$work/out"
    check "sha256: the history names $dest's manifest" \
        grep -qF "  Manifest: $work/$dest/$name" "$REDODORI_DATA_DIR/history.txt"
done
check "sha256: a line-break name is written escaped" \
    grep -qE '^\\[0-9a-f]{64}  tree/line\\nbreak$' "$work/one/$(manifest_in "$work/one" sha256)"

# xxhsum of Debian 12 (0.8.1) neither writes nor reads escaped names: those two stay out.
setup rm -f "$work/src/tree/back\\slash" "$work/src/tree/line"$'\n'"break"
setup mkdir -p "$work/three"
"$REDODORI_CONSOLE" --manifest "$work/src/tree" "$work/three" </dev/null >"$work/out" 2>&1 || true
name=$(manifest_in "$work/three" xxh128)
check "xxh128: a bare --manifest writes XXH3-128" test -n "$name"
check "xxh128: xxhsum -c takes every line" \
    bash -c 'cd "$1" && xxhsum -c --strict --quiet "$2"' _ "$work/three" "$name"
check_same "xxh128: the manifest lists every file" 3 "$(grep -c '' "$work/three/$name")"

# A manifest made by the tool itself agrees with ours line for line.
check_same "xxh128: xxhsum -H2 hashes alike" \
    "$(cd "$work/three" && xxhsum -H2 tree/empty tree/small 'tree/sub/big file' | sort)" \
    "$(sort "$work/three/$name")"

# What the job leaves out (a fifo, never opened) is not listed, and is named at the end.
setup mkdir -p "$work/four"
setup mkfifo "$work/src/tree/fifo"
"$REDODORI_CONSOLE" --manifest "$work/src/tree" "$work/four" </dev/null >"$work/out" 2>&1 || true
name=$(manifest_in "$work/four" xxh128)
check_same "left out: the manifest lists the files only" 3 "$(grep -c '' "$work/four/$name")"
check "left out: the end names it" grep -qF "$work/src/tree/fifo" "$work/out"

finish manifest_copy
