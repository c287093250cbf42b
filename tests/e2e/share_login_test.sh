#!/usr/bin/env bash
# redodori-console asks the user name and password of a share that wants a login on its
# terminal, on a Samba server of the test's own: a login refused once is asked again and the
# tree arrives whole, three refusals end with status 3 before anything is made, the password
# never shows on the terminal, the program's command line or its environment, and a stored job
# asks again when it is resumed. Without a terminal the job goes on as a guest and fails with
# the server's refusal. As root it runs in a network of its own.
set -euo pipefail
: "${REDODORI_CONSOLE:?}" "${SOURCE_DIR:?}"

source "$(dirname "$0")/own_network.sh"
source "$(dirname "$0")/common.sh"
command -v python3 >/dev/null || skip_all "needs python3 for a terminal of the test's own"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM REDODORI_CREDENTIALS REDODORI_CREDENTIALS_FD
start_samba
host="127.0.0.1:$port"
share="smb://$host"

setup mkdir -p "$work/src/sub"
setup head -c 300000 /dev/urandom >"$work/src/sub/data"
printf 'text\n' >"$work/src/notes"

# on_terminal STEP... -- ARGS...: redodori-console with ARGS on a terminal of its own, driven by
# the steps of tests/support/terminal_session.py; what it showed in $work/shown, its status in
# $status.
on_terminal() {
    clear_reports
    : >"$work/shown"
    local steps=()
    while [ "$1" != -- ]; do
        steps+=("$1")
        shift
    done
    shift
    status=0
    python3 "$SOURCE_DIR/tests/support/terminal_session.py" "$work/shown" "${steps[@]}" -- \
        "$REDODORI_CONSOLE" "$@" || status=$?
}
ask_user() { echo "User name for $host: "; }
ask_password() { echo "Password for $1@$host: "; }
refused="The user name or password was refused."

# The address's user is the default; the first password is refused, the second taken. The job
# starts paused, so that the program is looked at while it holds the login.
default="User name for $host [nobody]: "
python3 "$SOURCE_DIR/tests/support/terminal_session.py" "$work/shown" "show:$default" type: \
    "show:$(ask_password nobody)" type:wrong-pw "show:$refused" "show:$default" type:nobody \
    "show:$(ask_password nobody)" type:right-pw "file:$work/looked" key:p -- \
    "$REDODORI_CONSOLE" --no-window --paused "$work/src" "smb://nobody@$host/rw/dest" &
session=$!
pids+=("$session")
wait_for "Preparing filelist" "$work/shown" || setup_failed "the job did not start: $(cat "$work/shown")"
console=$(pgrep -P "$session") || setup_failed "no console"
program=$(pgrep -P "$console" -x redodori) || setup_failed "the program is not running"
for what in cmdline environ; do
    check "the password is not in the program's $what" \
        test "$(tr '\0' '\n' <"/proc/$program/$what" | grep -c -e right-pw -e wrong-pw)" = 0
done
check "the login came through a descriptor" grep -qa REDODORI_CREDENTIALS_FD= "/proc/$program/environ"
touch "$work/looked"
status=0
wait "$session" || status=$?
check_same "second try: exit status" 0 "$status"
check_same "second try: the prompts" "$default
$(ask_password nobody)
$refused
${default}nobody
$(ask_password nobody)" "$(head -5 "$work/shown" | tr -d '\r')"
check "second try: no password shown" test "$(grep -c -e right-pw -e wrong-pw "$work/shown")" = 0
check "second try: the share holds the tree" diff -r "$work/src" "$server/rw/dest/src"

# Three refusals: nothing starts.
on_terminal "show:$(ask_user)" type:nobody "show:$(ask_password nobody)" type:a \
    "show:$(ask_user)" type:nobody "show:$(ask_password nobody)" type:b \
    "show:$(ask_user)" type:nobody "show:$(ask_password nobody)" type:c -- \
    --no-window "$work/src" "$share/rw/refused"
check_same "three refusals: exit status" 3 "$status"
check_same "three refusals: the cause" "redodori-console: $share/rw/refused: the user name or \
password was refused 3 times; the job was not started" "$(tail -1 "$work/shown" | tr -d '\r')"
check "three refusals: nothing made" test ! -e "$server/rw/refused"

# No terminal and no credentials: a guest, turned down by the server.
status=0
"$REDODORI_CONSOLE" --no-window "$work/src" "$share/rw/guest" </dev/null >"$work/out" \
    2>"$work/err" || status=$?
check_same "no terminal: exit status" 1 "$status"
check "no terminal: the cause" grep -q "Error 13 - Permission denied" "$work/out"
check "no terminal: nothing made" test ! -e "$server/rw/guest"

# A job saved for resume keeps no password: resumed without a terminal, as at login, it goes on
# as a guest and is turned down; resumed here, the login is asked again.
setup mkdir -p "$work/large"
setup head -c 8000000 /dev/urandom >"$work/large/file"
# save_job: the copy of large/ into rw/resumed, saved once it has begun; its number in $number.
save_job() {
    rm -f "$server/rw/resumed/large/file"
    on_terminal "show:$(ask_user)" type:nobody "show:$(ask_password nobody)" type:right-pw \
        "file:$server/rw/resumed/large/file" key:x -- --no-window --limit 1M "$work/large" \
        "$share/rw/resumed"
    check_same "saved: exit status" 2 "$status"
    number=$("$REDODORI_CONSOLE" --resume-list | sed -n 's/^Job \([0-9]*\),.*/\1/p' | head -1)
    [ -n "$number" ] || setup_failed "no stored job: $(cat "$work/shown")"
}
save_job
rm -f "$server/rw/resumed/large/file"
status=0
"$REDODORI_CONSOLE" --resume "$number" </dev/null >"$work/out" 2>"$work/err" || status=$?
check_same "resumed as a guest: exit status" 1 "$status"
check "resumed as a guest: the cause" grep -q "Error 13 - Permission denied" "$work/out"
check "resumed as a guest: nothing written" test ! -e "$server/rw/resumed/large/file"

save_job
on_terminal "show:$(ask_user)" type:nobody "show:$(ask_password nobody)" type:right-pw -- \
    --resume "$number"
check_same "resumed: exit status" 0 "$status"
check "resumed: the share holds the tree" diff -r "$work/large" "$server/rw/resumed/large"

finish share_login_test
