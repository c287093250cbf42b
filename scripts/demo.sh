#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs a real job: the project's data/ folder is
# copied into a new temporary folder, and the copy is compared with the original.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
demo=$(mktemp -d)
export REDODORI_CONFIG_DIR="$demo/config" REDODORI_DATA_DIR="$demo/data"
build/app/redodori --explain "|$PWD/data|$demo/copy/|e"
build/app/redodori "|$PWD/data|$demo/copy/|e"
diff -r "$PWD/data" "$demo/copy/data" && echo "The copy in $demo/copy/data is identical."
echo "History:"; cat "$demo/data/history.txt"
