#!/usr/bin/env bash
# The shipped data that tools make is what they make: the skins' pictures (none missing, none
# left over, none changed by hand; scripts/paint_skins.sh paints them again) and the completion
# sound (scripts/make_sound.sh).
set -euo pipefail
: "${REDODORI_SKIN_PAINTER:?}" "${REDODORI_SOUND_MAKER:?}" "${SOURCE_DIR:?}"
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

"$REDODORI_SOUND_MAKER" "$work/finish.wav" 2>"$work/err" || fail "the sound maker failed: $(cat "$work/err")"
cmp -s "$work/finish.wav" "$SOURCE_DIR/data/finish.wav" ||
    fail "data/finish.wav is not what the sound maker makes: run scripts/make_sound.sh"
echo "made_data: all checks passed"
