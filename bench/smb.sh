#!/usr/bin/env bash
# Copies to an SMB share through libsmbclient, side by side, on the tests' own Samba server
# (tests/support/samba_server.sh, 127.0.0.1): (a) one 1 GiB file: the reference loop
# bench/smb_loop.c followed by `sync -f` on the server, `smbclient put`, and the program's session
# (redodori-bench-smb) closing durable; (b) 5,000 files of 16 KiB: the loop, the loop setting
# times and closing durable, `smbclient mput`, and the session doing the same as the second loop.
# Medians of SMB_RUNS rounds; every copy is compared with diff -r. Then, untimed, the SMB2
# requests per small file of each way from smbd's log (smb2:10), and smbd's audit lines of one
# durable file. Runs as root (smbd must switch users). See bench/README.md.
# Environment:
#   BENCH_DIR     base folder for the temporary data and the server (default /var/tmp)
#   BENCH_BUILD   configured build folder to build redodori-bench-smb in (default build/)
#   SMB_RUNS      timed rounds (default 3)
#   SMB_FILES     small files (default 5000)
#   SMB_COUNTED   small files of the counting pass (default 500)
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BENCH_BUILD:-$REPO/build}
RUNS=${SMB_RUNS:-3}
FILES=${SMB_FILES:-5000}
COUNTED=${SMB_COUNTED:-500}
export SMB_USER=nobody SMB_PASSWORD=right-pw

die() {
    echo "smb.sh: FAILED: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || die "run it as root: the Samba server switches users"
command -v cc >/dev/null && command -v bc >/dev/null || die "needs a C compiler (cc) and bc"
cmake --build "$BUILD" --target redodori-bench-smb redodori redodori-console >/dev/null ||
    die "cannot build redodori-bench-smb, redodori and redodori-console"
SESSION=$BUILD/bench/redodori-bench-smb
CONSOLE=$BUILD/bin/redodori-console

work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/redodori-smb.XXXXXX")
server=$work/server
finish() {
    end_gvfs
    "$REPO/tests/support/samba_server.sh" stop "$server" || true
    rm -rf "$work"
}
trap finish EXIT
chmod 711 "$work"

cc -O2 -Wall -Wextra -I/usr/include/samba-4.0 "$REPO/bench/smb_loop.c" -o "$work/smb_loop" \
    -lsmbclient -ldl || die "cannot build bench/smb_loop.c"
LOOP=$work/smb_loop

echo "making the data in $work"
mkdir -p "$work/big" "$work/small" "$work/counted"
head -c 1G /dev/urandom >"$work/big/one.bin"
for i in $(seq -w 1 "$FILES"); do
    head -c 16384 /dev/urandom >"$work/small/f$i"
done
for i in $(seq -w 1 "$COUNTED"); do
    head -c 16384 /dev/urandom >"$work/counted/f$i"
done

port=$("$REPO/tests/support/samba_server.sh" start "$server") || die "the Samba server did not start"
url=smb://127.0.0.1:$port/rw
printf '[global]\n' >"$work/client.conf"
printf 'username = %s\npassword = %s\n' "$SMB_USER" "$SMB_PASSWORD" >"$work/credentials"
chmod 600 "$work/credentials"
# The program's folders are the bench's own, as the tests' are.
mkdir -p "$work/run" && chmod 700 "$work/run"
export REDODORI_CONFIG_DIR=$work/config REDODORI_DATA_DIR=$work/data XDG_RUNTIME_DIR=$work/run \
    REDODORI_STATE_DIR=$work/state XDG_CONFIG_HOME=$work/xdg-config REDODORI_FAKE_POWEROFF=1
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
smbclient_do() { # FOLDER COMMANDS
    smbclient -s "$work/client.conf" -p "$port" -U "$SMB_USER%$SMB_PASSWORD" //127.0.0.1/rw \
        -D "$1" -c "$2" >>"$work/smbclient.log" 2>&1 || { tail -5 "$work/smbclient.log" >&2; return 1; }
}

# A fresh empty folder "dest" on the share.
fresh() {
    rm -rf "$server/rw/dest"
    mkdir "$server/rw/dest"
    chmod 777 "$server/rw/dest"
}

# The share as GVfs shows it to programs that know no SMB (a FUSE folder), when GVfs can run
# here: a session bus of the bench's own, on which gvfsd starts, and `gio mount`.
gvfs=
if command -v dbus-daemon >/dev/null && command -v gio >/dev/null && [ -e /dev/fuse ]; then
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
    export DBUS_SESSION_BUS_ADDRESS=$(head -1 <<<"$bus")
    bus_pid=$(tail -1 <<<"$bus")
    if printf '%s\nTEST\n%s\n' "$SMB_USER" "$SMB_PASSWORD" |
        gio mount "$url" >/dev/null 2>&1; then
        gvfs="$XDG_RUNTIME_DIR/gvfs/smb-share:port=$port,server=127.0.0.1,share=rw"
    fi
fi
end_gvfs() {
    [ -n "${bus_pid:-}" ] || return 0
    gio mount -u "$url" 2>/dev/null || true
    umount "$XDG_RUNTIME_DIR/gvfs" 2>/dev/null || true
    # gvfsd and its helpers were started by the bench's own bus.
    for helper in $(pgrep -P "$bus_pid" || true); do kill "$helper" 2>/dev/null || true; done
    kill "$bus_pid" 2>/dev/null || true
}

# The ways, each a command that copies SOURCE into the share's folder "dest".
big_loop() { "$LOOP" "$1/one.bin" "$url/dest" && sync -f "$server/rw/dest"; }
big_smbclient() { smbclient_do dest "put $1/one.bin one.bin"; }
big_session() { "$SESSION" -s "$1/one.bin" "$url/dest"; }
small_loop() { "$LOOP" "$1" "$url/dest"; }
small_loop_durable() { "$LOOP" -t -s "$1" "$url/dest"; }
small_smbclient() { smbclient_do dest "prompt OFF; lcd $1; mput *"; }
small_session() { "$SESSION" -t -s "$1" "$url/dest"; }
# The program itself, as a user runs it: a job of redodori-console writing through its share kind.
big_redodori() { redodori "$1/one.bin"; }
small_redodori() { redodori "$1"/*; }
redodori() {
    "$CONSOLE" --no-window --credentials "$work/credentials" "$@" "$url/dest" >/dev/null
}
# The same folder through GVfs's FUSE folder: cp -a with a sync of the folder, and the program.
# cp -a fails where the share refuses owners; the copy is compared all the same.
small_gvfs_cp() {
    cp -a "$1"/. "$gvfs/dest/" 2>/dev/null || true
    sync -f "$gvfs/dest"
}
small_gvfs_redodori() { "$CONSOLE" --no-window "$1"/* "$gvfs/dest" >/dev/null; }

# Seconds of one copy by WAY of SOURCE, checked whole.
timed() { # WAY SOURCE
    fresh
    local start end
    start=$(date +%s.%N)
    "$1" "$2" || die "$1 failed"
    end=$(date +%s.%N)
    diff -r "$2" "$server/rw/dest" >/dev/null || die "$1: the copy differs from the source"
    echo "$end - $start" | bc
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A seconds
for round in $(seq "$RUNS"); do
    echo "round $round of $RUNS"
    for way in big_loop big_smbclient big_session big_redodori; do
        seconds[$way]+="$(timed "$way" "$work/big") "
    done
    small_ways="small_loop small_loop_durable small_smbclient small_session small_redodori"
    [ -n "$gvfs" ] && small_ways+=" small_gvfs_cp small_gvfs_redodori"
    for way in $small_ways; do
        seconds[$way]+="$(timed "$way" "$work/small") "
    done
done

# The counting pass: smbd logs every SMB2 request ("smbd_smb2_request_dispatch: opcode[...]")
# at smb2:10, and the audit module every file operation of the share "rw".
sed -i 's/^\[global\]$/[global]\n  log level = 1 smb2:10 vfs:10/' "$server/smb.conf"
sed -i 's/^\[rw\]$/[rw]\n  vfs objects = full_audit\n  full_audit:syslog = no\n  full_audit:prefix = %S\n  full_audit:success = openat pwrite_send pwrite_recv fsync_send fsync_recv close\n  full_audit:failure = none/' \
    "$server/smb.conf"
smbcontrol -s "$server/smb.conf" smbd reload-config
declare -A requests opcodes
for way in small_loop small_loop_durable small_smbclient small_session small_redodori; do
    fresh
    : >"$server/smbd.out"
    "$way" "$work/counted" || die "$way failed while counted"
    diff -r "$work/counted" "$server/rw/dest" >/dev/null || die "$way: the counted copy differs"
    grep -a -o 'smbd_smb2_request_dispatch: opcode\[[A-Z_0-9]*\]' "$server/smbd.out" |
        sed 's/.*opcode\[SMB2_OP_\(.*\)\]/\1/' >"$work/$way.ops"
    requests[$way]=$(echo "scale=2; $(wc -l <"$work/$way.ops") / $COUNTED" | bc)
    opcodes[$way]=$(sort "$work/$way.ops" | uniq -c |
        awk -v n="$COUNTED" '$1 >= n / 2 { printf "%s %.2f  ", $2, $1 / n }')
    if [ "$way" = small_loop_durable ]; then
        grep -a "rw|.*/dest/f0*1$" "$server/smbd.out" >"$work/audit"
    fi
done
# What one more file costs the program, without the job's own requests (logging on, its folder):
# the same job for one file, taken from the count above.
fresh
: >"$server/smbd.out"
setup_one=$work/one
mkdir -p "$setup_one"
cp "$work/counted/$(ls "$work/counted" | head -1)" "$setup_one/"
small_redodori "$setup_one" || die "small_redodori failed for one file"
one=$(grep -a -c 'smbd_smb2_request_dispatch: opcode' "$server/smbd.out")
marginal=$(echo "scale=2; ($(wc -l <"$work/small_redodori.ops") - $one) / ($COUNTED - 1)" | bc)

echo
echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$REPO" rev-parse --short HEAD)," \
    "$(smbd --version), $RUNS rounds, medians"
printf '%-22s %10s %16s   %s\n' way seconds "MiB/s or files/s" rounds
for way in big_loop big_smbclient big_session big_redodori $small_ways; do
    m=$(tr ' ' '\n' <<<"${seconds[$way]}" | grep . | median)
    per=$FILES
    [[ $way == big_* ]] && per=1024
    printf '%-22s %10.2f %16.0f   %s\n' "$way" "$m" "$(echo "$per / $m" | bc -l)" \
        "$(printf '%.2f ' ${seconds[$way]})"
done
echo
echo "SMB2 requests per small file ($COUNTED files, the connection's own requests included):"
for way in small_loop small_loop_durable small_smbclient small_session small_redodori; do
    printf '%-22s %6s   %s\n' "$way" "${requests[$way]}" "${opcodes[$way]}"
done
echo
echo "smbd's audit lines of one file of small_loop_durable:"
sed "s|$server|SERVER|" "$work/audit"

# The targets: the program against the reference loop (synced) and smbclient, in one run.
med() { tr ' ' '\n' <<<"${seconds[$1]}" | grep . | median; }
target() { # TEXT VALUE LIMIT at-least|at-most
    local met=missed
    if [ "$4" = at-least ]; then
        (($(echo "$2 >= $3" | bc -l))) && met=met
    else
        (($(echo "$2 <= $3" | bc -l))) && met=met
    fi
    printf '%-66s %6.3f (%s %s) %s\n' "$1" "$2" "${4/-/ }" "$3" "$met"
}
echo
target "1 GiB: the program's speed / the loop's + sync -f" \
    "$(echo "$(med big_loop) / $(med big_redodori)" | bc -l)" 0.9 at-least
target "small files: the program's files/s / the durable loop's with times" \
    "$(echo "$(med small_loop_durable) / $(med small_redodori)" | bc -l)" 1.0 at-least
target "small files: the program's files/s / smbclient mput's" \
    "$(echo "$(med small_smbclient) / $(med small_redodori)" | bc -l)" 0.6 at-least
if [ -n "$gvfs" ]; then
    target "small files through GVfs: the program's files/s / cp -a + sync -f's" \
        "$(echo "$(med small_gvfs_cp) / $(med small_gvfs_redodori)" | bc -l)" 1.0 at-least
fi
target "small files: SMB2 requests of one more file ($one for a job of one)" "$marginal" 5 at-most
