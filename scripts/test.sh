#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs every test: unit, widget and end-to-end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh "$@"
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 600
