#!/usr/bin/env bash
# Builds the skin painter and paints the shipped skins' pictures into data/skins/; their
# description files (skin.ini) are kept by hand. Run after changing tools/skin_painter.
# Usage: scripts/paint_skins.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target redodori-skin-painter
QT_QPA_PLATFORM=offscreen "$build/bin/redodori-skin-painter" data/skins
echo "The skins' pictures are painted into data/skins."
