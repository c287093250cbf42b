#!/usr/bin/env bash
# What a copy keeps besides its data: owner and group (only root may give them), extended
# attributes and ACLs, on files, folders and links; serial and parallel.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}"

source "$(dirname "$0")/common.sh"
command -v setfattr >/dev/null && command -v setfacl >/dev/null ||
    skip_all "setfattr and setfacl (packages attr, acl) are needed"

setup mkdir -p "$work/src/tree/sub"
setup head -c 3000000 /dev/urandom >"$work/src/tree/big"
printf 'small\n' >"$work/src/tree/small"
: >"$work/src/tree/empty"
setup ln -s small "$work/src/tree/link"
root=0
[ "$(id -u)" -eq 0 ] && root=1
if ! setfattr -n user.note -v file "$work/src/tree/big" 2>/dev/null; then
    skip_all "the file system of $work has no user extended attributes"
fi
setup setfattr -n user.note -v folder "$work/src/tree/sub"
setup setfacl -m u:1234:r "$work/src/tree/small"
setup setfacl -d -m u:1234:rx "$work/src/tree/sub"
if [ "$root" -eq 1 ]; then
    setup chown 1234:1234 "$work/src/tree/big"
    setup chown 1235:1236 "$work/src/tree/small" "$work/src/tree/empty"
    setup chown 4321:4322 "$work/src/tree/sub" "$work/src/tree"
    setup chown -h 1237:1238 "$work/src/tree/link"
else
    echo "NOTE: not root: owners are not compared (only root can give a file another owner)"
fi

for parallel in 0 1; do
    "$REDODORI_REG" set-int 'SOFTWARE\DiraRedi\RedoDori\local' parcopy "$parallel"
    rm -rf "$work/d"
    "$REDODORI" "|$work/src/tree|$work/d/|e" 2>"$work/err" || true
    check_same "parallel $parallel: the job's report" \
        "redodori: Copy finished: 4 of 4 files, 3000006 of 3000006 bytes, 0 retries, 0 skips" \
        "$(own_lines "$work/err")"
    for name in "" /big /small /empty /sub /link; do
        from=$work/src/tree$name to=$work/d/tree$name
        if [ "$root" -eq 1 ]; then
            check_same "parallel $parallel: owner of tree$name" "$(stat -c %u:%g "$from")" "$(stat -c %u:%g "$to")"
        fi
        [ -L "$from" ] && continue
        check_same "parallel $parallel: attributes of tree$name" \
            "$(cd "$(dirname "$from")" && getfattr -d -m - "$(basename "$from")" 2>/dev/null)" \
            "$(cd "$(dirname "$to")" && getfattr -d -m - "$(basename "$to")" 2>/dev/null)"
    done
    check_same "parallel $parallel: the ACL" "$(getfacl -c "$work/src/tree/small" 2>/dev/null)" \
        "$(getfacl -c "$work/d/tree/small" 2>/dev/null)"
done

finish metadata
