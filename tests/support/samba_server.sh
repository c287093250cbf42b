#!/usr/bin/env bash
# A Samba server of the tests' own, on 127.0.0.1 and a free port, with everything it keeps in
# FOLDER. Its user "nobody" has the password "right-pw". Shares: "rw" (writable, comment
# "Writable share"), "ro" (read-only, holding the file "f") and "Fotos-äß" (writable).
#   samba_server.sh start FOLDER   prints the port; exits 77 when it cannot run here
#   samba_server.sh stop FOLDER    ends the server it started
#   samba_server.sh restart FOLDER starts it again after a stop, on the same port
set -euo pipefail
command=$1
d=$(realpath -m "$2")

if [ "$command" = stop ]; then
    if [ -s "$d/smbd.pid" ]; then
        pid=$(cat "$d/smbd.pid")
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        rm -f "$d/smbd.pid"
    fi
    # smbd starts its RPC helpers (samba-dcerpcd) as daemons of their own; they are known by
    # this server's configuration file.
    helpers=$(pgrep -f -- "--configfile=$d/smb.conf" || true)
    for helper in $helpers; do
        kill -TERM "$helper" 2>/dev/null || true
    done
    # Gone before the call returns, so that nothing of this server is left when it is started
    # again.
    for helper in $helpers; do
        for _ in $(seq 50); do
            kill -0 "$helper" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$helper" 2>/dev/null || true
    done
    exit 0
fi

# Starts smbd on the configuration in FOLDER; true once it answers on PORT.
run_smbd() {
    local port=$1
    # A session of its own: smbd ends its whole process group when it stops.
    setsid smbd -F --no-process-group -s "$d/smb.conf" --debug-stdout >"$d/smbd.out" 2>&1 &
    echo $! >"$d/smbd.pid"
    for _ in $(seq 50); do
        if smbclient -s "$d/smb.conf" -p "$port" -L 127.0.0.1 -U nobody%right-pw >/dev/null 2>&1; then
            return 0
        fi
        kill -0 "$(cat "$d/smbd.pid")" 2>/dev/null || break
        sleep 0.1
    done
    return 1
}

if [ "$command" = restart ]; then
    # A server that panics as it starts (seen once on a busy machine) is started once more.
    for _ in 1 2; do
        run_smbd "$(sed -n 's/^  smb ports = //p' "$d/smb.conf")" && exit 0
        cp "$d/smbd.out" "$d/smbd.failed"
        "$0" stop "$d"
    done
    echo "smbd did not start again: $(grep -m3 -i 'panic\|error' "$d/smbd.failed" ||
        tail -5 "$d/smbd.failed")" >&2
    exit 1
fi

[ "$(id -u)" -eq 0 ] || { echo "smbd needs root to switch to its users" >&2; exit 77; }
command -v smbd >/dev/null && command -v smbpasswd >/dev/null && command -v smbclient >/dev/null ||
    { echo "needs smbd, smbpasswd and smbclient (scripts/setup.sh installs them)" >&2; exit 77; }

mkdir -p "$d"/{private,lock,state,cache,pid,ncalrpc,rw,ro,fotos}
# The server's user reaches the shares through FOLDER.
chmod 755 "$d"
chmod 777 "$d/rw" "$d/fotos"
echo hello >"$d/ro/f"
for _ in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 40000))
    cat >"$d/smb.conf" <<CONF
[global]
  workgroup = TEST
  netbios name = TESTSRV
  server role = standalone server
  smb ports = $port
  interfaces = 127.0.0.1
  bind interfaces only = yes
  private dir = $d/private
  lock directory = $d/lock
  state directory = $d/state
  cache directory = $d/cache
  pid directory = $d/pid
  ncalrpc dir = $d/ncalrpc
  log file = $d/log.%m
  passdb backend = tdbsam:$d/private/passdb.tdb
  map to guest = never
  guest account = daemon
  restrict anonymous = 2
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
[rw]
  path = $d/rw
  read only = no
  comment = Writable share
[ro]
  path = $d/ro
  read only = yes
[Fotos-äß]
  path = $d/fotos
  read only = no
CONF
    printf 'right-pw\nright-pw\n' | smbpasswd -c "$d/smb.conf" -s -a nobody >/dev/null
    if run_smbd "$port"; then
        echo "$port"
        exit 0
    fi
    "$0" stop "$d"
done
echo "smbd did not start: $(tail -5 "$d/smbd.out")" >&2
exit 1
