#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal of its own, as a user at a terminal would, and follows a
script of steps; everything the terminal shows is appended to LOG as it comes.

    terminal_session.py LOG STEP... -- COMMAND [ARG]...

Steps, in order:
    show:TEXT   wait until TEXT is shown (after what the last step waited for)
    type:TEXT   type TEXT and Enter
    key:TEXT    type TEXT alone
    file:PATH   wait until PATH exists

Each wait ends after 60 seconds: the command is then killed and the exit status is 124. Else
the exit status is the command's."""
import os
import pty
import select
import signal
import sys
import time

TIMEOUT = 60.0


def main():
    log_path = sys.argv[1]
    split = sys.argv.index("--")
    steps = sys.argv[2:split]
    command = sys.argv[split + 1:]
    pid, terminal = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    shown = b""
    seen = 0  # what the last wait matched ends here
    log = open(log_path, "ab", buffering=0)

    def read(wait):
        nonlocal shown
        ready, _, _ = select.select([terminal], [], [], wait)
        if not ready:
            return True
        try:
            data = os.read(terminal, 4096)
        except OSError:
            return False
        if not data:
            return False
        shown += data
        log.write(data)
        return True

    def fail(why):
        log.write(("\n[terminal_session: " + why + "]\n").encode())
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        sys.exit(124)

    for step in steps:
        kind, _, value = step.partition(":")
        deadline = time.monotonic() + TIMEOUT
        if kind == "show":
            wanted = value.encode()
            while shown.find(wanted, seen) < 0:
                if time.monotonic() > deadline or not read(0.1):
                    fail("not shown: " + value)
            seen = shown.find(wanted, seen) + len(wanted)
        elif kind == "file":
            while not os.path.exists(value):
                if time.monotonic() > deadline:
                    fail("no file: " + value)
                read(0.1)
        elif kind in ("type", "key"):
            os.write(terminal, (value + ("\n" if kind == "type" else "")).encode())
        else:
            fail("unknown step: " + step)
    while read(1.0):
        pass
    _, status = os.waitpid(pid, 0)
    sys.exit(os.waitstatus_to_exitcode(status) & 0xFF)


main()
