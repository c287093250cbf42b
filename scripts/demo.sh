#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs a real job through the terminal front end:
# the project's data/ folder is copied into a new temporary folder, verified, and the copy is
# compared with the original.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
demo=$(mktemp -d)
export REDODORI_CONFIG_DIR="$demo/config" REDODORI_DATA_DIR="$demo/data" XDG_RUNTIME_DIR="$demo/run" \
    REDODORI_STATE_DIR="$demo/state"
mkdir -p "$demo/run" && chmod 700 "$demo/run"
REDODORI="$PWD/build/app/redodori" build/tools/console/redodori-console --verify \
    --to "$demo/copy" "$PWD/data" </dev/null
diff -r "$PWD/data" "$demo/copy/data" && echo "The copy in $demo/copy/data is identical."
echo "History:"; cat "$demo/data/history.txt"
