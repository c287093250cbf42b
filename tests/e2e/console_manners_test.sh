#!/usr/bin/env bash
# The console wrapper's manners on a terminal and in scripts: cp's habits with destinations and
# options, rates as speed limits, a display that cannot be reached, output for files and
# terminals (line ends, the progress line, the summary last and whole, control characters in
# names), quiet and verbose output, keys typed ahead, and on a pseudo-terminal a question that
# nothing is drawn over.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"
. "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
console=$REDODORI_CONSOLE
mkdir -p "$work/src/tree/sub" "$work/one" "$work/slow"
head -c 30000 /dev/urandom >"$work/src/tree/big"
printf 'text\n' >"$work/src/tree/sub/small"
printf 'new\n' >"$work/one/file.txt"
head -c 300000 /dev/urandom >"$work/slow/data"
evil=$'\e]0;retitled\a'

# Waits up to 30 s for `pattern` in `file`.
run() {
    set +e
    "$@"
    status=$?
    set -e
}

# --- The line the program gets: cp's -r, -R and -a change nothing, --no-window is switch n,
# and a rate picks the limit step at or below it.
cat >"$work/fake.sh" <<'SCRIPT'
#!/usr/bin/env bash
printf '%s\n' "$1" >"$FAKE_RECORD"
exit 7
SCRIPT
chmod +x "$work/fake.sh"
for case in "-r -R -a -ra --no-window --limit 8M|n Lk8" "--limit 10K|Lc8" "--limit 20M|Lk10" \
    "--limit 1.5MB/s|Lk5" "--limit-step 3 --limit 500k|Lk3" "--limit 8M --limit-step 2|Lk2" \
    "--names=rename|Ln1" "--names skip|Ln2" "--names=skip --names ask|Ln0" "--manifest|Lh1" \
    "--manifest=sha256|Lh2" "--no-manifest --manifest=xxh128|Lh0Lh1" \
    "--manifest=sha256 --no-manifest|Lh2Lh0"; do
    args=${case%|*}
    rm -f "$work/fake.rec"
    # shellcheck disable=SC2086
    FAKE_RECORD="$work/fake.rec" REDODORI="$work/fake.sh" run "$console" $args "$work/src/tree" \
        "$work/dst" </dev/null >/dev/null 2>&1
    switches=$(sed 's/.*|//' "$work/fake.rec" 2>/dev/null || true)
    for want in ${case#*|}; do
        [[ "$switches" == *"$want"* ]] || bad "'$args' gave the switches '$switches', without $want"
    done
done
for args in "--limit 8" "--limit 8Q" "--limit 0.001K" "--limit 8M --limit-unit bps" \
    "--limit-step 11" "--limit-unit bps"; do
    # shellcheck disable=SC2086
    run "$console" $args "$work/src/tree" "$work/dst" </dev/null >/dev/null 2>"$work/bad.err"
    check_same "'$args' exit status" 3 "$status"
    check "'$args' says why" grep -q -- "--limit" "$work/bad.err"
done
for args in "--names=maybe" "--names Rename" "--names="; do
    # shellcheck disable=SC2086
    run "$console" $args "$work/src/tree" "$work/dst" </dev/null >/dev/null 2>"$work/bad.err"
    check_same "'$args' exit status" 3 "$status"
    check "'$args' says why" grep -q -- "--names takes rename, skip or ask" "$work/bad.err"
done
for args in "--manifest=md5" "--manifest=SHA256" "--manifest="; do
    # shellcheck disable=SC2086
    run "$console" $args "$work/src/tree" "$work/dst" </dev/null >/dev/null 2>"$work/bad.err"
    check_same "'$args' exit status" 3 "$status"
    check "'$args' says why" grep -q -- "--manifest takes xxh128 or sha256, not '${args#*=}'" \
        "$work/bad.err"
done
run "$console" --no-manifest=sha256 "$work/src/tree" "$work/dst" </dev/null >/dev/null \
    2>"$work/bad.err"
check_same "'--no-manifest=sha256' exit status" 3 "$status"
check "'--no-manifest=sha256' says why" grep -q -- "'--no-manifest' takes no value" "$work/bad.err"

# --- Destinations as cp has them, refused before anything starts.
rm -f "$work/fake.rec"
FAKE_RECORD="$work/fake.rec" REDODORI="$work/fake.sh" run "$console" "$work/one/file.txt" \
    "$work/newname.txt" </dev/null >/dev/null 2>"$work/rename.err"
check_same "a file to a new name: exit status" 3 "$status"
check "a file to a new name says how to copy into a folder" \
    grep -qF "write '$work/newname.txt/'" "$work/rename.err"
check "a file to a new name: nothing started" [ ! -e "$work/fake.rec" ]
check "a file to a new name: no folder made" [ ! -e "$work/newname.txt" ]
FAKE_RECORD="$work/fake.rec" REDODORI="$work/fake.sh" run "$console" "$work/src/tree" \
    "$work/one/file.txt" </dev/null >/dev/null 2>"$work/file.err"
check_same "a destination that is a file: exit status" 3 "$status"
check "a destination that is a file is named" grep -q "is a file, not a folder" "$work/file.err"
check "a destination that is a file: nothing started" [ ! -e "$work/fake.rec" ]
run "$console" "$work/one/file.txt" "$work/made/" </dev/null >"$work/made.out" 2>"$work/made.err"
check_same "a file into a new folder: exit status" 0 "$status"
check "a new folder is said" grep -q "$work/made does not exist; the job creates it" "$work/made.err"
check_same "a file into a new folder" new "$(cat "$work/made/file.txt" 2>/dev/null)"

# --- A display that cannot be reached: the job runs off screen; its output in a file has no
# progress line, no carriage return and no settings, and ends with the whole summary.
DISPLAY=:917 run "$console" -a "$work/src/tree" "$work/copy" </dev/null >"$work/copy.out" \
    2>"$work/copy.err"
check_same "a copy with an unreachable display: exit status" 0 "$status"
check "the tree was copied" diff -r "$work/src/tree" "$work/copy/tree"
check "no display failure" bash -c "! grep -qi 'display' '$work/copy.err'"
check "no carriage return in a file" bash -c "! grep -q $'\r' '$work/copy.out'"
check "no settings in the output" bash -c "! grep -q 'Current settings' '$work/copy.out'"
last=$(tail -n 1 "$work/copy.out")
check "the summary is last, with the time and the speed ($last)" \
    grep -qE '^Copy finished: 2 of 2 files, .*, elapsed [0-9]+:[0-9]{2}, average [0-9.]+ ([KMG]i)?B/s$' \
    <<<"$last"
check "the summary is whole" [ "${#last}" -gt 79 ]
# A name with control characters, named in the failure list.
run "$console" "$work/src/tree/sub" "$work/src/gone$evil" "$work/copy3" </dev/null \
    >"$work/evil.out" 2>&1
check_same "a missing source: exit status" 1 "$status"
check "a control character in a name is escaped" grep -qF 'gone\x1b]0;retitled\x07' "$work/evil.out"
check "no escape byte reaches the output" bash -c "! grep -q $'\e' '$work/evil.out'"
run "$console" --quiet --verbose --no-window "$work/src/tree" "$work/copy2" </dev/null \
    >"$work/quiet.out" 2>&1
check_same "quiet, without windows: exit status" 0 "$status"
check "quiet, without windows: copied" diff -r "$work/src/tree" "$work/copy2/tree"
check "quiet: no file lines" bash -c "! grep -q '^File: ' '$work/quiet.out'"
check "verbose: the settings" grep -q "Current settings" "$work/quiet.out"
check "quiet: the summary" grep -q "^Copy finished: 2 of 2 files" "$work/quiet.out"

# --- Keys typed ahead: a wrong key and the right one at once answer the question.
printf 'old\n' >"$work/exists.txt"
mkdir -p "$work/ask" && printf 'old\n' >"$work/ask/file.txt"
mkfifo "$work/keys"
"$console" "$work/one/file.txt" "$work/ask" <"$work/keys" >"$work/ask.out" 2>"$work/ask.err" &
wrapper=$!
pids+=("$wrapper")
exec 3>"$work/keys"
wait_for "Your choice: " "$work/ask.out" || setup_failed "the question did not come"
printf 'xo' >&3
wait_job "$wrapper"
exec 3>&-
check_same "keys typed ahead: exit status" 0 "$status"
check "keys typed ahead: the wrong key was refused" grep -q 'Incorrect choice - \[x\]' "$work/ask.out"
check_same "keys typed ahead: overwritten" new "$(cat "$work/ask/file.txt")"
check "keys typed ahead: no skip for lack of input" bash -c "! grep -q 'answered s' '$work/ask.err'"

# --- On a pseudo-terminal (line feeds as written: the terminal adds no carriage returns).
command -v script >/dev/null || skip_all "needs script (util-linux)"
on_terminal() {
    local log=$1
    shift
    script -qfec "stty -onlcr; exec $*" "$log" <"$work/keys" >/dev/null 2>&1 &
    terminal=$!
    pids+=("$terminal")
    exec 3>"$work/keys"
}
# A slowed copy: the progress line in place, in human units, and the summary last.
on_terminal "$work/slow.log" "'$console' --limit 128K --buffer 1 '$work/slow' '$work/slowcopy'"
wait_job "$terminal"
exec 3>&-
check_same "the slowed copy on a terminal: exit status" 0 "$status"
check "no CR LF on a terminal" bash -c "! grep -q $'\r\$' '$work/slow.log'"
check "the progress line is drawn in place, in human units" \
    grep -qaE $'\r\e\\[K[0-9]+% of 293 KiB, file [0-9]+%, [0-9.]+ KiB/s( \([0-9]+%\))?, elapsed 0:0[0-9]' \
    "$work/slow.log"
check "the summary is the last line" \
    grep -qE '^Copy finished: 1 of 1 files, .*average' <<<"$(tr '\r' '\n' <"$work/slow.log" |
        sed 's/^\x1b\[K//' | grep -v '^Script ' | grep . | tail -n 1)"
# A question: nothing comes after its prompt while it waits, though the job goes on ticking.
printf 'old\n' >"$work/ask/file.txt"
on_terminal "$work/ask.log" "'$console' '$work/one/file.txt' '$work/ask'"
wait_for "Your choice: " "$work/ask.log" || setup_failed "the question did not come on the terminal"
# Four ticks of the progress window and one heartbeat.
sleep 2
tail_bytes=$(tail -c 13 "$work/ask.log")
check_same "the question's prompt is the last thing on the terminal" "Your choice: " "$tail_bytes"
printf 'o' >&3
wait_job "$terminal"
exec 3>&-
check_same "the question on a terminal: exit status" 0 "$status"
check_same "the question on a terminal: overwritten" new "$(cat "$work/ask/file.txt")"
finish console_manners
