# Sourced first by an end-to-end script that runs servers: as root, the script runs again in a
# network namespace of its own with only a loopback, so that its servers are reachable from
# nowhere else and nothing it starts talks to the real network. Elsewhere it runs as it is.
if [ "$(id -u)" -eq 0 ] && [ -z "${REDODORI_OWN_NETWORK:-}" ] &&
    command -v unshare >/dev/null && command -v ip >/dev/null &&
    unshare --net true 2>/dev/null; then
    export REDODORI_OWN_NETWORK=1
    exec unshare --net bash -c 'ip link set lo up && exec bash "$@"' bash "$0" "$@"
fi
