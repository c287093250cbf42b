#!/usr/bin/env bash
# Sets up and builds the programs (scripts/setup.sh --programs, no tests), then runs a real job
# through the terminal front end: the project's data/ folder is copied into a new temporary
# folder, verified, and the copy is compared with the original. The temporary folder goes at
# the end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --programs
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
export REDODORI_CONFIG_DIR="$demo/config" REDODORI_DATA_DIR="$demo/data" XDG_RUNTIME_DIR="$demo/run" \
    REDODORI_STATE_DIR="$demo/state"
mkdir -p "$demo/run" && chmod 700 "$demo/run"
env -u REDODORI build/bin/redodori-console --verify "$PWD/data" "$demo/copy" </dev/null
diff -r "$PWD/data" "$demo/copy/data" && echo "The copy is identical to data/."
echo "History:"
cat "$demo/data/history.txt"
