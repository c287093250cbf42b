#!/usr/bin/env bash
# The shipped skins' pictures are what the skin painter paints: none is missing, none is left
# over, and none was changed by hand (scripts/paint_skins.sh paints them again).
set -euo pipefail
: "${REDODORI_SKIN_PAINTER:?}" "${SOURCE_DIR:?}"
source "$(dirname "$0")/common.sh"

QT_QPA_PLATFORM=offscreen "$REDODORI_SKIN_PAINTER" "$work/skins" 2>"$work/err" ||
    fail "the painter failed: $(cat "$work/err")"
shipped="$SOURCE_DIR/data/skins"
for skin in "$work"/skins/*/; do
    skin=$(basename "$skin")
    painted=$(cd "$work/skins/$skin" && ls)
    kept=$(cd "$shipped/$skin" && ls | grep -vx skin.ini)
    [ "$painted" = "$kept" ] || fail "$skin: the painted and the shipped pictures differ in name"
    for file in $painted; do
        cmp -s "$work/skins/$skin/$file" "$shipped/$skin/$file" ||
            fail "$skin/$file is not what the painter paints: run scripts/paint_skins.sh"
    done
    [ -s "$shipped/$skin/skin.ini" ] || fail "$skin has no skin.ini"
done
echo "skins_painted: all checks passed"
