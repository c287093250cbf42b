#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then shows a job on the project's own data folder:
# the program reads the line, the settings and the sources, and says what it would do.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
demo=$(mktemp -d)
printf '%s\r\n' "$PWD/data" >"$demo/sources.lst"
build/app/redodori --explain "|$demo/sources.lst|$demo/copy/|x"
rm -rf "$demo"
