#!/usr/bin/env bash
# Builds the sound maker and writes the shipped completion sound, data/finish.wav. Run after
# changing tools/sound_maker.
# Usage: scripts/make_sound.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target redodori-sound-maker
"$build/bin/redodori-sound-maker" data/finish.wav
echo "The completion sound is written to data/finish.wav."
