#!/usr/bin/env bash
# Real faults during real jobs: a full file system, a file-size limit, read errors, a killed
# process resumed, sources that vanish or cannot be read. Each case checks the copies, the
# sources of moves and the history entry.
set -euo pipefail
: "${REDODORI:?}"

source "$(dirname "$0")/common.sh"
mkdir -p "$work/src"
history="$work/data/history.txt"
skip() { echo "skipped: $*"; }
# The history entry of the last job, as one line.
last_entry() { awk 'BEGIN{RS="\r\n\r\n"} {e=$0} END{print e}' "$history" | tr -d '\r' | tr '\n' ' '; }
expect_entry() { last_entry | grep -qF -- "$1" || fail "history lacks '$1': $(last_entry)"; }
job() { "$REDODORI" "$@" 2>>"$work/stderr"; }

head -c 3000000 /dev/urandom >"$work/src/big"
head -c 5000 /dev/urandom >"$work/src/small"

# A full file system: the big file does not fit and is skipped; the small one is copied.
if mkdir -p "$work/full" && mount -t tmpfs -o size=2m tmpfs "$work/full" 2>/dev/null; then
    mounts+=("$work/full")
    job "|$work/src/small?$work/src/big|$work/full/|es"
    cmp -s "$work/src/small" "$work/full/small" || fail "small file not copied to the full disk"
    expect_entry "Copy finished. Retries: 0 Skips: 1"
    # The same as a move: the big source stays, the small one goes.
    rm -f "$work/full/"*
    cp "$work/src/big" "$work/src/big2"; cp "$work/src/small" "$work/src/small2"
    job "|$work/src/small2?$work/src/big2|$work/full/|ems"
    [ -f "$work/src/big2" ] || fail "a moved source was removed though its copy failed"
    cmp -s "$work/src/big" "$work/src/big2" || fail "the kept source changed"
    [ ! -e "$work/src/small2" ] || fail "a completely moved source stayed"
    cmp -s "$work/src/small" "$work/full/small2" || fail "moved small file differs"
    expect_entry "Move finished. Retries: 0 Skips: 1"
else
    skip "cannot mount a tmpfs here"
fi

# A file-size limit: writes past 1 MiB fail with EFBIG instead of killing the process.
mkdir -p "$work/limit"
(ulimit -f 1024; trap '' XFSZ; exec "$REDODORI" "|$work/src/big?$work/src/small|$work/limit/|es") 2>>"$work/stderr"
cmp -s "$work/src/small" "$work/limit/small" || fail "small file not copied under the size limit"
[ "$(stat -c %s "$work/limit/big")" -le 1048576 ] || fail "the limit was not hit"
expect_entry "Skips: 1"

# A read error in the middle of a file, injected at the second read of the source.
if strace -V >/dev/null 2>&1; then
    mkdir -p "$work/eio"
    trace -f -o /dev/null -P "$work/src/big" -e trace=pread64 \
        -e inject=pread64:error=EIO:when=2 "$REDODORI" "|$work/src/big|$work/eio/|est2" 2>>"$work/stderr"
    [ "$(stat -c %s "$work/eio/big")" -eq 1048576 ] || fail "read error: the partial copy is not one block"
    expect_entry "Copy finished. Retries: 0 Skips: 1"
    # Retried instead: the copy is whole, the retries counted.
    rm -rf "$work/eio"; mkdir -p "$work/eio"
    trace -f -o /dev/null -P "$work/src/big" -e trace=pread64 \
        -e inject=pread64:error=EIO:when=2 "$REDODORI" "|$work/src/big|$work/eio/|ert2" 2>>"$work/stderr"
    cmp -s "$work/src/big" "$work/eio/big" || fail "read error retried: copy differs"
    expect_entry "Retries: 1 Skips: 0"

    # The process killed in the middle of a file; the job run again with resume.
    for reserve in Z z; do
        rm -rf "$work/kill"; mkdir -p "$work/kill"
        set +e
        trace -f -o /dev/null -P "$work/kill/big" -e trace=pwrite64 \
            -e inject=pwrite64:signal=KILL:when=3 "$REDODORI" "|$work/src/big|$work/kill/|et2$reserve" 2>/dev/null
        status=$?
        set -e
        [ "$status" -ne 0 ] || fail "the job was not killed"
        cmp -s "$work/src/big" "$work/kill/big" && fail "the killed job finished anyway"
        job "|$work/src/big|$work/kill/|eu$reserve"
        cmp -s "$work/src/big" "$work/kill/big" || fail "resumed copy ($reserve) differs"
        [ ! -e "$work/kill/big.RedoDori" ] || fail "resume marker left behind"
        expect_entry "Copy finished. Retries: 0 Skips: 0"
    done

    # A read that never returns (a share that went away): Ctrl+C in the wrapper ends the job,
    # the program waits a bounded time for the job's thread, names the file it is stuck on, and
    # ends the job without the thread: the end line, the history entry, the wrapper's status.
    # The tracer holds the read back; it is this script's to end (its id in stuck.pid).
    rm -rf "$work/stuck"; mkdir -p "$work/stuck"
    cat >"$work/stuck.sh" <<EOS
#!/bin/sh
echo \$\$ >"$work/stuck.pid"
exec strace -f -o /dev/null -P "$work/src/big" -e trace=pread64 \\
    -e inject=pread64:delay_enter=120000000:when=2 "$REDODORI" "\$@"
EOS
    chmod +x "$work/stuck.sh"
    REDODORI="$work/stuck.sh" ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        "$REDODORI_CONSOLE" --burst "$work/src/big" "$work/stuck/" </dev/null >"$work/stuck.out" 2>&1 &
    wrapper=$!
    for _ in $(seq 1 300); do [ -s "$work/stuck/big" ] && break; sleep 0.1; done
    [ -s "$work/stuck/big" ] || fail "the stuck job did not begin its copy"
    pids+=("$(cat "$work/stuck.pid")")
    kill -INT "$wrapper"
    # The bounded wait is 20 seconds; the read alone would hold the job for 120.
    for _ in $(seq 1 600); do kill -0 "$wrapper" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$wrapper" 2>/dev/null; then
        kill -KILL "$wrapper"
        fail "the job stuck in a read did not end"
    fi
    status=0
    wait "$wrapper" || status=$?
    [ "$status" -eq 2 ] || fail "the stuck job's wrapper ended with $status, not 2: $(cat "$work/stuck.out")"
    grep -qF "the job's thread is still inside a call on $work/src/big after 20 seconds; the program ends without it" \
        "$work/stuck.out" || fail "the stuck call was not named: $(cat "$work/stuck.out")"
    grep -qF "Copy aborted: 0 of 1 files, 0 of 3000000 bytes" "$work/stuck.out" ||
        fail "the stuck job gave no end line: $(cat "$work/stuck.out")"
    expect_entry "Copy aborted. Retries: 0 Skips: 0"
else
    skip "strace is missing"
fi

# A source removed after it was listed and before it was opened.
mkdir -p "$work/gone"
head -c 200000 /dev/urandom >"$work/src/slow"
cp "$work/src/small" "$work/src/doomed"
# The first file is slowed to 128 KiB/s in 4 KiB blocks; the second goes once the copy runs.
("$REDODORI" "|$work/src/slow?$work/src/doomed|$work/gone/|esLb1Lk2" 2>>"$work/stderr") &
pid=$!
for _ in $(seq 1 200); do [ -e "$work/gone/slow" ] && break; sleep 0.05; done
rm -f "$work/src/doomed"
wait "$pid"
cmp -s "$work/src/slow" "$work/gone/slow" || fail "slowed file differs"
[ ! -e "$work/gone/doomed" ] || fail "a vanished source was copied"
expect_entry "Skips: 1"

# The destination folder removed while the job runs: the next file cannot be written there.
mkdir -p "$work/removed"
cp "$work/src/small" "$work/src/after"
("$REDODORI" "|$work/src/slow?$work/src/after|$work/removed/|esLb1Lk2" 2>>"$work/stderr") &
pid=$!
for _ in $(seq 1 200); do [ -e "$work/removed/slow" ] && break; sleep 0.05; done
rm -rf "$work/removed"
wait "$pid"
[ ! -e "$work/removed/after" ] || fail "a file was written into a removed folder"
# One skip for the file, one for the destination that could not be made durable at the end.
expect_entry "Copy finished. Retries: 0 Skips: 2"

# A source that cannot be read, for a user who may not read it.
if id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
    shared=/tmp/redodori-shared-$$
    mkdir "$shared"
    chmod 755 "$shared"
    mkdir -p "$shared/src" "$shared/dst" "$shared/config" "$shared/data"
    cp "$work/src/small" "$shared/src/open"; cp "$work/src/small" "$shared/src/closed"
    chmod 000 "$shared/src/closed"
    chown -R nobody "$shared/dst" "$shared/config" "$shared/data"
    REDODORI_CONFIG_DIR="$shared/config" REDODORI_DATA_DIR="$shared/data" \
        setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$REDODORI" "|$shared/src/open?$shared/src/closed|$shared/dst/|es" 2>>"$work/stderr" || true
    cmp -s "$shared/src/open" "$shared/dst/open" || { rm -rf "$shared"; fail "readable file not copied"; }
    [ ! -e "$shared/dst/closed" ] || { rm -rf "$shared"; fail "unreadable file was copied"; }
    grep -qF "Skips: 1" "$shared/data/history.txt" || { rm -rf "$shared"; fail "unreadable source not counted"; }
    rm -rf "$shared"
else
    skip "no unprivileged user to run as"
fi

echo "faults: all checks passed"
