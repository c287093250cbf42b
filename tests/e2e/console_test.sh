#!/usr/bin/env bash
# The console wrapper running real jobs: copies, the settings summary, a list-file error, a
# question answered from its input, abort by key and by Ctrl+C, a hand-off to a running job,
# the wrapper killed while its job goes on, and its own command line.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${REDODORI_CONSOLE:?}"

# The wrapper keeps its list files out of a folder with a "q" in its path (the program would read
# it as the profile switch); the checks below expect them in $work/tmp.
work=$(mktemp -d)
while [[ "$work" == *q* ]]; do
    rmdir "$work"
    work=$(mktemp -d)
done
# Processes this test started (wrappers and their jobs) and has not seen end; at the end the
# ones still running this test's programs are ended, by pid.
started=()
forget() {
    local keep=() pid
    for pid in "${started[@]}"; do
        [ "$pid" = "$1" ] || keep+=("$pid")
    done
    started=("${keep[@]}")
}
cleanup() {
    local pid exe
    for pid in "${started[@]}"; do
        exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
        if [ "$exe" = "$(readlink -f "$REDODORI")" ] || [ "$exe" = "$(readlink -f "$REDODORI_CONSOLE")" ]; then
            kill -KILL "$pid" 2>/dev/null || true
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
export REDODORI_CONFIG_DIR="$work/config" REDODORI_DATA_DIR="$work/data" XDG_RUNTIME_DIR="$work/run" \
    REDODORI_STATE_DIR="$work/state"
export TMPDIR="$work/tmp"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$work/run" "$work/tmp" "$work/src/tree/sub/deeper" && chmod 700 "$work/run"
fail() {
    echo "FAIL: $*"
    for f in "$work"/*.out "$work"/*.err; do
        [ -f "$f" ] && { echo "--- $f"; tr '\r' '\n' <"$f" | grep -v '^ *$' | tail -n 20; }
    done
    exit 1
}
console=$REDODORI_CONSOLE

head -c 300000 /dev/urandom >"$work/src/tree/big"
head -c 1000 /dev/urandom >"$work/src/tree/sub/small"
# About six seconds at the slowest speed limit (16 KiB/s).
head -c 100000 /dev/urandom >"$work/src/slow"
printf 'new\n' >"$work/src/tree/sub/deeper/text"
: >"$work/src/tree/empty"

# Waits up to 20 s for `pattern` in `file`.
wait_for() {
    local pattern=$1 file=$2
    for _ in $(seq 1 200); do
        grep -q -- "$pattern" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# True while `pid` runs (a finished job whose wrapper is gone may linger as a zombie).
alive() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [[ "$state" != Z* ]]
}

# Waits for the wrapper `pid`; its exit status lands in $status.
reap() {
    set +e
    wait "$1"
    status=$?
    set -e
    forget "$1"
}

# The job process the wrapper `pid` started.
job_of() {
    local pid=$1 job=""
    for _ in $(seq 1 100); do
        job=$(ps -o pid= --ppid "$pid" | tr -d ' ' | head -n 1)
        [ -n "$job" ] && break
        sleep 0.05
    done
    echo "$job"
}

# --- Its own command line.
"$console" --help >"$work/help.out" || fail "--help did not exit 0"
for word in --to --move --delete --link-tree --limit-step --limit-unit --names --manifest \
    --no-manifest --raw --credentials smb:// parcopy "Ctrl+C" "Exit status" "n rename the old" \
    "r rename, s skip those, a abort"; do
    grep -q -- "$word" "$work/help.out" || fail "--help does not mention $word"
done
set +e
"$console" --frobnicate "$work/src/tree" "$work/x" >"$work/garbled.out" 2>"$work/garbled.err"
status=$?
set -e
[ "$status" -eq 3 ] || fail "a garbled option exited $status, not 3"
grep -q "unknown option '--frobnicate'" "$work/garbled.err" || fail "no message for a garbled option"
for args in "--limit 11 a b" "--limit-unit bps a b" "--parallel a b" "--profile far a b" "a" \
    "--delete --to $work/x a" "--raw |x|y| a" "--buffer"; do
    set +e
    # shellcheck disable=SC2086
    "$console" $args >/dev/null 2>"$work/bad.err"
    status=$?
    set -e
    [ "$status" -eq 3 ] || fail "'$args' exited $status, not 3"
    [ -s "$work/bad.err" ] || fail "'$args' gave no message"
done
# An smb:// address is a network share, never a relative local path: refused like a command
# line not understood, naming it, and nothing is made in the current folder.
mkdir "$work/here"
for args in "--delete smb://127.0.0.1:4455/rw/d/" "--link SMB://nas/share/a $work/x" \
    "--to smb://nas/ $work/src/tree" "-- $work/src/tree smb://nas/s/../x"; do
    set +e
    # shellcheck disable=SC2086
    (cd "$work/here" && "$console" $args >/dev/null 2>"$work/share.err")
    status=$?
    set -e
    [ "$status" -eq 3 ] || fail "'$args' exited $status, not 3"
    grep -q "'[sS][mM][bB]://[^']*' is" "$work/share.err" || fail "'$args': $(cat "$work/share.err")"
done
[ -z "$(ls -A "$work/here")" ] || fail "an smb:// address made local folders: $(ls -A "$work/here")"
# --credentials takes only a file that no one else may read.
printf 'username = nobody\npassword = right-pw\n' >"$work/credentials"
chmod 644 "$work/credentials"
set +e
"$console" --credentials "$work/credentials" "$work/src/tree" "$work/x" 2>"$work/cred.err"
status=$?
set -e
[ "$status" -eq 3 ] || fail "a readable credentials file exited $status, not 3"
grep -q "credentials file $work/credentials cannot be used: others may read" "$work/cred.err" ||
    fail "no message for a readable credentials file: $(cat "$work/cred.err")"
set +e
REDODORI="$work/missing-program" "$console" "$work/src/tree" "$work/x" 2>"$work/missing.err"
status=$?
set -e
[ "$status" -eq 4 ] || fail "a missing program exited $status, not 4"
grep -q "cannot start the program" "$work/missing.err" || fail "no message for a missing program"
[ -z "$(ls "$work/tmp")" ] || fail "the list file stayed after a failed start"

# A program that ends without a final status; it shows the line it got and its display.
cat >"$work/fake.sh" <<'EOF'
#!/usr/bin/env bash
printf '%s\n' "$#" "$1" "${QT_QPA_PLATFORM:-unset}" >"$FAKE_RECORD"
exit 7
EOF
chmod +x "$work/fake.sh"
set +e
FAKE_RECORD="$work/fake.rec" REDODORI="$work/fake.sh" "$console" --move --verify --limit-step 3 \
    --limit-unit percent --buffer 2 --profile network "$work/src/tree" "$work/d q" \
    >/dev/null 2>"$work/fake.err"
status=$?
set -e
[ "$status" -eq 4 ] || fail "a program without a final status: exit $status, not 4"
grep -q "without a final status" "$work/fake.err" || fail "no message for a missing final status"
[ "$(sed -n 1p "$work/fake.rec")" = 1 ] || fail "the program got more than one argument"
line=$(sed -n 2p "$work/fake.rec")
[[ "$line" =~ ^\|$work/tmp/redodori-console-[0-9]+\.lst\|$work/tmp/redodori-console-[0-9]+\.dst\|q1mvLb2Lp3fLt[0-9]+$ ]] ||
    fail "unexpected job line $line"
[ "$(sed -n 3p "$work/fake.rec")" = offscreen ] || fail "no offscreen platform without a display"
[ -z "$(ls "$work/tmp")" ] || fail "list files stayed after the program ended"
DISPLAY=:99 FAKE_RECORD="$work/fake.rec" REDODORI="$work/fake.sh" "$console" --raw '|a|b' \
    >/dev/null 2>&1 || true
[ "$(sed -n 3p "$work/fake.rec")" = offscreen ] || fail "a display that cannot be reached was used"
[[ "$(sed -n 2p "$work/fake.rec")" =~ ^\|a\|b\|Lt[0-9]+$ ]] || fail "raw line completed wrongly"

# A program that never answers: the first Ctrl+C asks for the abort, the second one leaves at
# once (status 1) and the program goes on.
cat >"$work/silent.sh" <<'EOF'
#!/usr/bin/env bash
exec sleep 60
EOF
chmod +x "$work/silent.sh"
REDODORI="$work/silent.sh" "$console" "$work/src/tree" "$work/x" </dev/null >/dev/null \
    2>"$work/silent.err" &
wrapper=$!
started+=("$wrapper")
silent=$(job_of "$wrapper")
[ -n "$silent" ] || fail "no program under the wrapper"
started+=("$silent")
kill -INT "$wrapper"
wait_for "aborting the job" "$work/silent.err" || fail "no note of the abort"
kill -INT "$wrapper"
reap "$wrapper"
alive "$silent" || fail "the program ended with its wrapper"
kill -KILL "$silent"
forget "$silent"
[ "$status" -eq 2 ] || fail "the second Ctrl+C exited $status, not 2"
grep -q "the job goes on" "$work/silent.err" || fail "no note of leaving"
# The list file is the running program's to read and remove.
[ -f "$work/tmp/redodori-console-$wrapper.lst" ] || fail "the list of a running job was removed"
rm -f "$work/tmp/redodori-console-$wrapper.lst"

# --- A tree to two destinations, relative paths, no display at all.
(cd "$work" && "$console" --verbose src/tree --to dst1 --to "$work/dst2/" </dev/null >"$work/copy.out" 2>"$work/copy.err") ||
    fail "the copy exited $?"
grep -q '\*\*\*Current settings\*\*\*' "$work/copy.out" || fail "no settings summary"
for d in dst1 dst2; do
    diff -r "$work/src/tree" "$work/$d/tree" >/dev/null || fail "$d differs from the source"
done
[ -z "$(ls "$work/tmp")" ] || fail "the list file stayed after the copy"
compgen -G "$work/run/redodori/thread.*" >/dev/null && fail "the wrapper's endpoint stayed"

# --- A source list that cannot be opened: reported, no job could run (status 3).
set +e
"$console" --raw "|/nonexistent.lst|$work/x/|" </dev/null >"$work/nolist.out" 2>&1
status=$?
set -e
[ "$status" -eq 3 ] || fail "the missing source list exited $status, not 3"
grep -q "Can't open source filelist" "$work/nolist.out" || fail "no list-file message"

# --- Sources that are not there: named, and the job failed (status 1); a line with no
# destination runs no job (status 3).
set +e
"$console" "$work/nope" "$work/src/gone" "$work/x" </dev/null >"$work/nope.out" 2>&1
status=$?
"$console" --raw "|$work/src/tree|???|e" </dev/null >"$work/nodest.out" 2>&1
nodest=$?
set -e
[ "$status" -eq 1 ] || fail "missing sources exited $status, not 1"
grep -q "Copy failed: 0 of 0 files" "$work/nope.out" || fail "the job with missing sources did not fail"
grep -q "$work/src/gone: failed, it cannot be reached" "$work/nope.out" || fail "a missing source not named"
[ "$nodest" -eq 3 ] || fail "a line without a destination exited $nodest, not 3"
grep -q 'The job has no destination: "???" names no folder' "$work/nodest.out" ||
    fail "no message for a line without a destination"

# --- An existing file: the question answered from the input once it has been asked.
printf 'old\n' >"$work/dst1/tree/sub/deeper/text"
mkfifo "$work/keys"
"$console" "$work/src/tree/sub" "$work/dst1/tree" <"$work/keys" >"$work/ask.out" 2>"$work/ask.err" &
wrapper=$!
started+=("$wrapper")
exec 3>"$work/keys"
wait_for "Your choice: " "$work/ask.out" || fail "the question did not come"
grep -q '\[O\] - Overwrite existing file' "$work/ask.out" || fail "no listing of the question"
printf 'x\n' >&3
wait_for "Incorrect choice - \[x\]" "$work/ask.out" || fail "a wrong key was not refused"
printf 'o\n' >&3
exec 3>&-
reap "$wrapper"
# The other existing file (sub/small) is asked after the input ended: skipped, so status 1.
[ "$status" -eq 1 ] || fail "the answered job exited $status, not 1"
[ "$(grep -o 'Your choice: ' "$work/ask.out" | wc -l)" -eq 2 ] || fail "not two questions"
grep -q '\[O\]' "$work/ask.out" || fail "no echo of the answer"
cmp -s "$work/src/tree/sub/deeper/text" "$work/dst1/tree/sub/deeper/text" ||
    fail "the answer did not overwrite"

# Input that has ended answers skip: done with a skip (status 1).
printf 'old\n' >"$work/dst1/tree/sub/deeper/text"
set +e
"$console" "$work/src/tree/sub" "$work/dst1/tree" </dev/null >"$work/eof.out" 2>"$work/eof.err"
status=$?
set -e
[ "$status" -eq 1 ] || fail "the job that skipped a file exited $status, not 1"
grep -q "answered s (skip)" "$work/eof.err" || fail "no note of the skip"
[ "$(cat "$work/dst1/tree/sub/deeper/text")" = old ] || fail "the file was replaced without input"

# Without a wrapper and without a display no one can be asked: the question keeps its preset
# answer (skip) and says so, and the job ends instead of waiting for ever.
timeout 60 "$REDODORI" "|$work/src/tree/sub|$work/dst1/tree/|e" 2>"$work/alone.err" ||
    fail "the job without a wrapper exited $?"
grep -q "no one to ask here: answered Skip" "$work/alone.err" || fail "no note of the preset answer"
[ "$(cat "$work/dst1/tree/sub/deeper/text")" = old ] || fail "the file was replaced with no one asked"

# --- Abort by key: a paused job and "a".
"$console" --verbose --paused "$work/src/tree" "$work/paused1" <"$work/keys" >"$work/abort.out" 2>&1 &
wrapper=$!
started+=("$wrapper")
exec 3>"$work/keys"
wait_for "Current settings" "$work/abort.out" || fail "the paused job did not start"
printf 'a' >&3
reap "$wrapper"
exec 3>&-
[ "$status" -eq 2 ] || fail "the aborted job exited $status, not 2"
if [ -e "$work/paused1/tree/big" ] && cmp -s "$work/src/tree/big" "$work/paused1/tree/big"; then
    fail "the paused job copied before the abort"
fi

# --- Abort by Ctrl+C.
"$console" --verbose --paused "$work/src/tree" "$work/paused2" </dev/null >"$work/int.out" 2>"$work/int.err" &
wrapper=$!
started+=("$wrapper")
job=$(job_of "$wrapper")
[ -n "$job" ] && started+=("$job")
wait_for "Current settings" "$work/int.out" || fail "the paused job did not start"
kill -INT "$wrapper"
reap "$wrapper"
alive "$job" || forget "$job"
[ "$status" -eq 2 ] || fail "Ctrl+C exited $status, not 2"
grep -q "aborting the job" "$work/int.err" || fail "no note of the abort"

# --- A job handed to a running one of the same destination: done (status 0).
"$REDODORI" "|$work/src/tree/big|$work/running/|eLk0Lb1" 2>/dev/null &
running=$!
started+=("$running")
# Its copy under way means its window endpoint is there (files of ended jobs may be, too).
for _ in $(seq 1 200); do
    [ -e "$work/running/big" ] && break
    sleep 0.05
done
set +e
"$console" --attach "$work/src/tree/sub/small" "$work/running" </dev/null >"$work/attach.out" 2>&1
status=$?
set -e
[ "$status" -eq 0 ] || fail "the handed-over job exited $status, not 0"
grep -q "Job attached to another RedoDori session" "$work/attach.out" || fail "no hand-off message"
{
    kill -KILL "$running"
    reap "$running"
} 2>/dev/null

# --- The wrapper killed in the middle of a slowed job: the job goes on to the end.
"$console" --limit-step 0 --limit-unit kbps --buffer 1 "$work/src/slow" "$work/slow/" </dev/null \
    >"$work/kill.out" 2>&1 &
wrapper=$!
started+=("$wrapper")
job=$(job_of "$wrapper")
[ -n "$job" ] || fail "no job process under the wrapper"
started+=("$job")
wait_for "File: " "$work/kill.out" || fail "the slowed job did not start copying"
{
    kill -KILL "$wrapper"
    reap "$wrapper"
} 2>/dev/null
alive "$job" || fail "the job ended with its wrapper"
for _ in $(seq 1 600); do
    alive "$job" || break
    sleep 0.1
done
alive "$job" && fail "the job did not finish within 60 s"
forget "$job"
cmp -s "$work/src/slow" "$work/slow/slow" || fail "the job left its copy unfinished"

# --- Names as they are written: a file named "a*" beside ab and ac is the only one a delete, a
# move or a copy touches; a name with a line break and a destination with "?" go whole.
names() {
    rm -rf "$work/w" "$work/names" && mkdir -p "$work/w" || fail "cannot make $work/w"
    printf 'star\n' >"$work/w/a*" && printf 'keep b\n' >"$work/w/ab" &&
        printf 'keep c\n' >"$work/w/ac" || fail "cannot write the named files"
}
only_star_left() {
    [ -f "$work/w/ab" ] && [ -f "$work/w/ac" ] || fail "$1 took ab or ac along with a*"
}
names
"$console" --delete "$work/w/a*" </dev/null >"$work/names.out" 2>&1 || fail "the delete exited $?"
[ ! -e "$work/w/a*" ] || fail "--delete left a*"
only_star_left "--delete"
names
"$console" --move "$work/w/a*" "$work/names/" </dev/null >"$work/names.out" 2>&1 ||
    fail "the move exited $?"
[ ! -e "$work/w/a*" ] && [ "$(cat "$work/names/a*")" = star ] || fail "--move did not move a*"
[ "$(ls "$work/names")" = "a*" ] || fail "--move brought more than a*: $(ls "$work/names")"
only_star_left "--move"
names
"$console" "$work/w/a*" "$work/names/" </dev/null >"$work/names.out" 2>&1 || fail "the copy exited $?"
[ "$(ls "$work/names")" = "a*" ] || fail "the copy brought more than a*: $(ls "$work/names")"
printf 'two lines\n' >"$work/w/line"$'\n'"break"
"$console" --to "$work/names/x?y" "$work/w/line"$'\n'"break" "$work/w/ab" </dev/null \
    >"$work/names.out" 2>&1 || fail "the copy of a line break into x?y exited $?"
cmp -s "$work/w/line"$'\n'"break" "$work/names/x?y/line"$'\n'"break" ||
    fail "the name with a line break did not reach x?y"
[ -f "$work/names/x?y/ab" ] && [ ! -e "$work/names/x" ] && [ ! -e "$work/names/y" ] ||
    fail "the destination x?y was split: $(ls "$work/names")"
[ -z "$(ls "$work/tmp")" ] || fail "list files stayed: $(ls "$work/tmp")"

echo "console: all checks passed"
