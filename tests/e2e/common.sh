# Sourced by the end-to-end tests: a private work folder with its own store, data and runtime
# folders, and the helpers the tests share.

# The job line reads a "q" after its source field as the profile switch, so the work folder,
# which stands in target fields, must not contain one.
work=$(mktemp -d)
while [[ "$work" == *q* ]]; do
    rmdir "$work"
    work=$(mktemp -d)
done
# The state folder (resume lists) is left for the program to make.
export REDODORI_CONFIG_DIR="$work/config" REDODORI_DATA_DIR="$work/data" XDG_RUNTIME_DIR="$work/run" \
    REDODORI_STATE_DIR="$work/state"
mkdir -p "$work/run" && chmod 700 "$work/run"

fail() { echo "FAIL: $*"; exit 1; }
expect() { grep -qF -- "$1" <<<"$2" || fail "expected '$1' in:"$'\n'"$2"; }

# For scripts that check many cases: `check_failed` notes a failure and the script goes on;
# `finish NAME` reports every noted failure at the end. `setup_failed` stops at once when the
# test cannot even be set up, so that this is never read as the program failing; `skip_all`
# exits 77, which ctest reports as skipped.
failures=0
check_failed() { echo "FAIL: $*"; failures=$((failures + 1)); }
setup_failed() { echo "SET-UP FAILED: $*"; exit 2; }
skip_all() { echo "SKIPPED: $*"; exit 77; }
finish() {
    [ "$failures" -eq 0 ] || { echo "$1: $failures checks failed"; exit 1; }
    echo "$1: all checks passed"
}
