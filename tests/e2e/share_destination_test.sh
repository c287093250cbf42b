#!/usr/bin/env bash
# A share given to redodori-console as smb://host:port/share/folder is written straight to the
# server, on a Samba server of the test's own: the tree arrives whole with its times, a second
# job finds what is there, a wrong password and a read-only share fail with their causes and
# make nothing, and a move removes its sources once the share holds them. As root it runs in a
# network of its own.
set -euo pipefail
: "${REDODORI_CONSOLE:?}" "${SOURCE_DIR:?}"

source "$(dirname "$0")/own_network.sh"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
start_samba
share="smb://127.0.0.1:$port"

setup mkdir -p "$work/src/sub/deeper"
setup head -c 3000000 /dev/urandom >"$work/src/sub/big"
printf 'text\n' >"$work/src/notes"
: >"$work/src/sub/deeper/empty"
touch -d "2021-02-03 04:05:06.123456789" "$work/src/notes"
# Attributes a share cannot keep: said once for the destination, not for each file.
setup setfattr -n user.tag -v one "$work/src/notes"
setup setfattr -n user.tag -v two "$work/src/sub/big"
printf 'username = nobody\npassword = right-pw\n' >"$work/right"
printf 'username = nobody\npassword = wrong-pw\n' >"$work/wrong"
chmod 600 "$work/right" "$work/wrong"

# console ARGS...: the job, answering every question with skip; its status in $status.
console() {
    clear_reports
    status=0
    "$REDODORI_CONSOLE" --no-window "$@" </dev/null >"$work/out" 2>"$work/err" || status=$?
}
# A modification time to the microsecond, as a share keeps it.
micro() { stat -c %y "$1" | cut -c1-26; }

console --credentials "$work/right" "$work/src" "$share/rw/dest"
check_same "copy: exit status" 0 "$status"
check_same "copy: last lines" "Copy finished: 3 of 3 files, 3000005 of 3000005 bytes, 0 retries, 0 skips
  $share/rw/dest: the copies have no extended attributes: its file system keeps none
  $share/rw/dest: the copies have the permissions its file system gives them: it refused to \
change them (Error 95 - Operation not supported)" "$(grep -v -e '^  Report: ' "$work/out" |
    sed 's/, elapsed .*//')"
check "copy: the share holds the tree" diff -r "$work/src" "$server/rw/dest/src"
check_same "copy: a file's time" "$(micro "$work/src/notes")" "$(micro "$server/rw/dest/src/notes")"
check_same "copy: a folder's time" "$(micro "$work/src/sub")" "$(micro "$server/rw/dest/src/sub")"

# Again: every file is there, and with no one to answer each is kept as it is, but for the
# empty one, which is written over as on a local disk.
touch "$server/rw/dest/src/notes"
before=$(micro "$server/rw/dest/src/notes")
console --credentials "$work/right" "$work/src" "$share/rw/dest"
check_same "again: exit status" 1 "$status"
check "again: each kept" grep -q "Copy finished: 1 of 3 files, 0 of 3000005 bytes, 0 retries, 2 skips" \
    "$work/out"
check_same "again: the share's file untouched" "$before" "$(micro "$server/rw/dest/src/notes")"

# A file another client holds open without sharing its removal: it is not written over, and the
# cause is named.
(
    echo 'open dest/src/notes'
    sleep 5
) | smbclient -s /dev/null -p "$port" -U nobody%right-pw //127.0.0.1/rw >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    smbstatus -L -s "$server/smb.conf" 2>/dev/null | grep -q "dest/src/notes" && break
    sleep 0.1
done
smbstatus -L -s "$server/smb.conf" 2>/dev/null | grep -q "dest/src/notes" ||
    setup_failed "smbclient holds no file"
console --overwrite --credentials "$work/right" "$work/src/notes" "$share/rw/dest/src"
check_same "held: exit status" 1 "$status"
check "held: the cause" grep -qxF "  $work/src/notes -> $share/rw/dest/src/notes: failed writing \
it (Error 16 - Device or resource busy)" "$work/out"
check_same "held: the share's file untouched" "$before" "$(micro "$server/rw/dest/src/notes")"

console --credentials "$work/wrong" "$work/src" "$share/rw/refused"
check_same "wrong password: exit status" 1 "$status"
check "wrong password: the cause" grep -q "Error 13 - Permission denied" "$work/out"
check "wrong password: nothing made" test ! -e "$server/rw/refused"

console --credentials "$work/right" "$work/src" "$share/ro/d"
check_same "read-only: exit status" 1 "$status"
check "read-only: the folder named" grep -qF "$share/ro/d/src/notes: failed making its folder \
$share/ro/d (Error 13 - Permission denied)" "$work/out"
check "read-only: nothing made" test ! -e "$server/ro/d"

setup cp -a "$work/src" "$work/moving"
console --move --credentials "$work/right" "$work/moving" "$share/rw/moved"
check_same "move: exit status" 0 "$status"
check "move: the share holds the tree" diff -r "$work/src" "$server/rw/moved/moving"
check "move: the sources are gone" test ! -e "$work/moving/sub/big"

# Killed mid-file: the part on the share is counted by a marker in the private state folder
# (never on the share), and the next job goes on from it, even where existing files are skipped.
setup mkdir -p "$work/large"
setup head -c 12000000 /dev/urandom >"$work/large/file"
"$REDODORI_CONSOLE" --no-window --limit 2M --credentials "$work/right" "$work/large" \
    "$share/rw/killed" </dev/null >"$work/out" 2>"$work/err" &
console_pid=$!
pids+=("$console_pid")
markers="$REDODORI_STATE_DIR/share-markers"
for _ in $(seq 300); do
    compgen -G "$markers/*.RedoDori" >/dev/null && break
    sleep 0.1
done
compgen -G "$markers/*.RedoDori" >/dev/null || setup_failed "no marker: $(cat "$work/err")"
check_same "killed: the markers' folder is private" 700 "$(stat -c %a "$markers")"
program=$(pgrep -P "$console_pid" -x redodori) || setup_failed "the program is not running"
kill -KILL "$program"
wait "$console_pid" || true
part=$(stat -c %s "$server/rw/killed/large/file")
[ "$part" -lt 12000000 ] || setup_failed "the copy ended before it was killed"
# A start the job does not read again: a resumed copy keeps it, a copy written anew would not.
printf 'X' | dd of="$server/rw/killed/large/file" bs=1 count=1 conv=notrunc 2>/dev/null
console --skip-existing --credentials "$work/right" "$work/large" "$share/rw/killed"
check_same "resumed: exit status" 0 "$status"
check_same "resumed: the start kept" X "$(head -c 1 "$server/rw/killed/large/file")"
check "resumed: the rest is the source's" cmp -i 1 "$work/large/file" "$server/rw/killed/large/file"
check "resumed: the marker is gone" test -z "$(ls -A "$markers")"

# The server stops in the middle of a move and comes back: the file being written then is given
# up and named (the server may have lost what it had taken), its source stays whole, and the
# files after it are moved once the server answers again.
setup mkdir -p "$work/away/a" "$work/away/b"
setup head -c 8000000 /dev/urandom >"$work/away/a/big"
for i in 1 2 3; do echo "$i" >"$work/away/b/f$i"; done
setup cp -a "$work/away" "$work/away.orig"
"$REDODORI_CONSOLE" --no-window --move --retry --limit 2M --credentials "$work/right" \
    "$work/away" "$share/rw/away" </dev/null >"$work/out" 2>"$work/err" &
console_pid=$!
pids+=("$console_pid")
for _ in $(seq 300); do
    compgen -G "$markers/*.RedoDori" >/dev/null && break
    sleep 0.1
done
compgen -G "$markers/*.RedoDori" >/dev/null || setup_failed "no marker: $(cat "$work/err")"
# The job's connection dies with the server: a new server knows nothing of it.
"$SOURCE_DIR/tests/support/samba_server.sh" stop "$server"
"$SOURCE_DIR/tests/support/samba_server.sh" restart "$server" || setup_failed "smbd did not restart"
status=0
wait "$console_pid" || status=$?
check_same "server away: exit status" 1 "$status"
check "server away: the file named" grep -qxF "  $work/away/a/big -> $share/rw/away/away/a/big: \
failed, the share went away while it was written (Error 116 - Stale file handle)" "$work/out"
check "server away: its source whole" cmp "$work/away.orig/a/big" "$work/away/a/big"
check "server away: no part of it on the share" test ! -e "$server/rw/away/away/a/big"
check "server away: the rest moved" diff -r "$work/away.orig/b" "$server/rw/away/away/b"
check "server away: their sources gone" test ! -e "$work/away/b"
check "server away: no marker left" test -z "$(ls -A "$markers")"

finish share_destination_test
