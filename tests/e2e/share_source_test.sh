#!/usr/bin/env bash
# A source given to redodori-console as smb://host:port/share/folder is read straight from the
# server, on a Samba server of the test's own: a tree goes to the share and comes back whole,
# goes from one share folder to another, and is moved off the share; a file written on the
# server while it is read is not taken for what was read and its source stays; a wrong password
# and a missing folder are named, and a copy killed mid-file goes on from where it was. As root
# it runs in a network of its own.
set -euo pipefail
: "${REDODORI_CONSOLE:?}" "${SOURCE_DIR:?}"

source "$(dirname "$0")/own_network.sh"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
start_samba
share="smb://127.0.0.1:$port"

setup mkdir -p "$work/src/sub/deeper" "$work/src/empty folder"
setup head -c 3000000 /dev/urandom >"$work/src/sub/big"
printf 'text\n' >"$work/src/notes"
printf 'odd\n' >"$work/src/sub/a name with spaces & ümlauts"
: >"$work/src/sub/deeper/empty"
touch -d "2021-02-03 04:05:06.123456" "$work/src/notes"
printf 'username = nobody\npassword = right-pw\n' >"$work/right"
printf 'username = nobody\npassword = wrong-pw\n' >"$work/wrong"
chmod 600 "$work/right" "$work/wrong"

# console ARGS...: the job, answering every question with skip; its status in $status.
console() {
    clear_reports
    status=0
    "$REDODORI_CONSOLE" --no-window "$@" </dev/null >"$work/out" 2>"$work/err" || status=$?
}
last_line() { grep -E '^(Copy|Move) ' "$work/out" | sed 's/, elapsed .*//'; }
# A modification time to the microsecond, as a share keeps it.
micro() { stat -c %y "$1" | cut -c1-26; }

console --credentials "$work/right" "$work/src" "$share/rw/there"
[ "$status" -eq 0 ] || setup_failed "the tree did not go to the share: $(cat "$work/out")"
console --credentials "$work/right" "$share/rw/there/src" "$work/back"
check_same "back: exit status" 0 "$status"
check_same "back: last line" "Copy finished: 4 of 4 files, 3000009 of 3000009 bytes, 0 retries, \
0 skips" "$(last_line)"
check "back: the tree as it was" diff -r "$work/src" "$work/back/src"
check "back: the empty folder too" test -d "$work/back/src/empty folder"
check_same "back: a file's time" "$(micro "$work/src/notes")" "$(micro "$work/back/src/notes")"
check_same "back: a folder's time" "$(micro "$server/rw/there/src/sub")" \
    "$(micro "$work/back/src/sub")"
check "back: the share's tree untouched" diff -r "$work/src" "$server/rw/there/src"

# A single file, into a folder named as one.
console --credentials "$work/right" "$share/rw/there/src/notes" "$work/single/"
check_same "one file: exit status" 0 "$status"
check "one file: its contents" cmp "$work/src/notes" "$work/single/notes"
check_same "one file: its time" "$(micro "$work/src/notes")" "$(micro "$work/single/notes")"

# A name given escaped, as file managers show addresses, is copied by its own name.
setup mkdir -p "$server/rw/two words"
printf 'in two words\n' >"$server/rw/two words/file"
console --credentials "$work/right" "$share/rw/two%20words/" "$work/decoded"
check_same "escaped: exit status" 0 "$status"
check_same "escaped: the copy's name" "in two words" "$(cat "$work/decoded/two words/file")"

# From one share folder to another, with a local copy beside it in the same job.
console --credentials "$work/right" "$share/rw/there/src/sub" --to "$share/rw/twice" \
    --to "$work/twice"
check_same "share to share: exit status" 0 "$status"
check "share to share: the tree" diff -r "$work/src/sub" "$server/rw/twice/sub"
check "share to share: the local copy" diff -r "$work/src/sub" "$work/twice/sub"

# A move takes the files and folders off the share once the copies hold them.
setup cp -a "$work/src" "$server/rw/moving"
# The server's user may remove what it did not write.
setup chmod -R a+rwX "$server/rw/moving"
console --move --credentials "$work/right" "$share/rw/moving" "$work/moved"
check_same "move: exit status" 0 "$status"
check "move: the tree" diff -r "$work/src" "$work/moved/moving"
check "move: nothing left on the share" test ! -e "$server/rw/moving"

# A file written on the server while the move reads it: its copy is given up, the source stays.
setup mkdir -p "$server/rw/changing"
setup head -c 8000000 /dev/urandom >"$server/rw/changing/file"
"$REDODORI_CONSOLE" --no-window --move --limit 2M --credentials "$work/right" \
    "$share/rw/changing" "$work/changed" </dev/null >"$work/out" 2>"$work/err" &
console_pid=$!
pids+=("$console_pid")
for _ in $(seq 300); do
    [ "$(stat -c %s "$work/changed/changing/file" 2>/dev/null || echo 0)" -gt 0 ] && break
    sleep 0.1
done
[ -e "$work/changed/changing/file" ] || setup_failed "the copy did not start: $(cat "$work/err")"
printf 'more' >>"$server/rw/changing/file"
cp "$server/rw/changing/file" "$work/changed.orig"
status=0
wait "$console_pid" || status=$?
check_same "changed: exit status" 1 "$status"
check "changed: named" grep -qxF "  $share/rw/changing/file: failed, changed while it was copied" \
    "$work/out"
check "changed: the source stays whole" cmp "$work/changed.orig" "$server/rw/changing/file"
check "changed: no partial copy passes for the file" test ! -e "$work/changed/changing/file"

# The server stops in the middle of a move and comes back: with --retry the read goes on over a
# new connection, and the sources go only once their copies are whole.
setup mkdir -p "$server/rw/away"
setup head -c 8000000 /dev/urandom >"$server/rw/away/big"
for i in 1 2 3; do echo "$i" >"$server/rw/away/f$i"; done
setup chmod -R a+rwX "$server/rw/away"
setup cp -a "$server/rw/away" "$work/away.orig"
"$REDODORI_CONSOLE" --no-window --move --retry --limit 2M --credentials "$work/right" \
    "$share/rw/away" "$work/landed" </dev/null >"$work/out" 2>"$work/err" &
console_pid=$!
pids+=("$console_pid")
wait_for_file "$work/landed/away/big.RedoDori" || setup_failed "no marker: $(cat "$work/err")"
"$SOURCE_DIR/tests/support/samba_server.sh" stop "$server"
"$SOURCE_DIR/tests/support/samba_server.sh" restart "$server" || setup_failed "smbd did not restart"
status=0
wait "$console_pid" || status=$?
check_same "server away: exit status" 0 "$status"
check "server away: the tree whole" diff -r "$work/away.orig" "$work/landed/away"
check "server away: the sources gone" test ! -e "$server/rw/away"
check "server away: no marker left" test ! -e "$work/landed/away/big.RedoDori"

console --credentials "$work/wrong" "$share/rw/there/src" "$work/refused"
check_same "wrong password: exit status" 1 "$status"
check "wrong password: the cause" grep -qxF "  $share/rw/there/src: failed, it cannot be reached \
(Error 13 - Permission denied)" "$work/out"
check "wrong password: nothing made" test ! -e "$work/refused"

console --credentials "$work/right" "$share/rw/nothing-here" "$work/missing"
check_same "missing: exit status" 1 "$status"
check "missing: named" grep -qxF "  $share/rw/nothing-here: failed, it cannot be reached \
(Error 2 - No such file or directory)" "$work/out"

# Killed mid-file: the partial copy here has its marker, and the next job goes on from it.
setup mkdir -p "$server/rw/large"
setup head -c 12000000 /dev/urandom >"$server/rw/large/file"
"$REDODORI_CONSOLE" --no-window --limit 2M --credentials "$work/right" "$share/rw/large" \
    "$work/killed" </dev/null >"$work/out" 2>"$work/err" &
console_pid=$!
pids+=("$console_pid")
wait_for_file "$work/killed/large/file.RedoDori" || setup_failed "no marker: $(cat "$work/err")"
program=$(pgrep -P "$console_pid" -x redodori) || setup_failed "the program is not running"
kill -KILL "$program"
wait "$console_pid" || true
part=$(stat -c %s "$work/killed/large/file")
[ "$part" -lt 12000000 ] || setup_failed "the copy ended before it was killed"
# A start the job does not read again: a resumed copy keeps it, a copy written anew would not.
printf 'X' | dd of="$work/killed/large/file" bs=1 count=1 conv=notrunc 2>/dev/null
console --skip-existing --credentials "$work/right" "$share/rw/large" "$work/killed"
check_same "resumed: exit status" 0 "$status"
check_same "resumed: the start kept" X "$(head -c 1 "$work/killed/large/file")"
check "resumed: the rest is the source's" cmp -i 1 "$server/rw/large/file" "$work/killed/large/file"
check "resumed: the marker is gone" test ! -e "$work/killed/large/file.RedoDori"

finish share_source_test
