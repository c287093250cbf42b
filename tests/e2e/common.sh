# Sourced by the end-to-end tests: a private work folder with its own store, data and runtime
# folders, and the helpers the tests share.

# The job line reads a "q" after its source field as the profile switch, so the work folder,
# which stands in target fields, must not contain one.
work=$(mktemp -d)
while [[ "$work" == *q* ]]; do
    rmdir "$work"
    work=$(mktemp -d)
done
export REDODORI_CONFIG_DIR="$work/config" REDODORI_DATA_DIR="$work/data" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$work/run" && chmod 700 "$work/run"

fail() { echo "FAIL: $*"; exit 1; }
expect() { grep -qF -- "$1" <<<"$2" || fail "expected '$1' in:"$'\n'"$2"; }
