#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs a slowed copy job with the program's windows
# (off screen when there is no display) and saves PNG pictures of the progress window, both
# prompts, the shutdown countdown, the queue window and the settings dialog (whole, in both
# profiles, and each of its groups) into FOLDER.
# Usage: scripts/screenshots.sh FOLDER
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "Usage: scripts/screenshots.sh FOLDER" >&2
    exit 2
fi
out=$(realpath -m "$1")
cd "$(dirname "$0")/.."
scripts/setup.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/tools/screenshots/redodori-screenshots "$out" "$work" 2>/dev/null
echo "Pictures of the windows are in $out."
