#!/usr/bin/env python3
"""The reader-selection dialog on a terminal without a display.

Runs the host test DiagTest.TerminalHost on a fresh pseudo-terminal (its
controlling terminal), answers the dialog's question and lets the host
check the result code; then once without any terminal.
Usage: terminal_setup_check.py TEST_PROGRAM
"""
import os
import pty
import select
import subprocess
import sys
import time

PROGRAM = sys.argv[1]
FILTER = "--gtest_filter=DiagTest.TerminalHost"
LIMIT = 60  # seconds for one case, generous for a loaded machine


def environment(expected):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["LX2D_TEST_SETUP_RESULT"] = str(expected)
    return env


def read_until(fd, marker, deadline):
    seen = b""
    while marker not in seen and time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
    return seen


def on_terminal(answer, expected):
    """Answers the question with `answer` (bytes); True when the host passed."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execve(PROGRAM, [PROGRAM, FILTER], environment(expected))
    deadline = time.monotonic() + LIMIT
    shown = read_until(fd, b"> ", deadline)
    ok = b"Select Device and click OK" in shown and b"  1) " in shown
    if not ok:
        print("no question on the terminal:", shown.decode(errors="replace"))
    os.write(fd, answer)
    rest = read_until(fd, b"[  PASSED  ]", deadline)
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            break
        read_until(fd, b"\0", time.monotonic() + 0.2)
    else:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
        print("host did not end")
        return False
    os.close(fd)
    passed = os.waitstatus_to_exitcode(status) == 0
    if not passed:
        print((shown + rest).decode(errors="replace"))
    return ok and passed


CASES = [
    ("Enter takes the first reader", b"\n", 0),
    ("number 1 chooses it", b"1\n", 0),
    ("q cancels", b"q\n", 11),
    ("end of file cancels", b"\x04", 11),
]

failed = 0
for name, answer, expected in CASES:
    if on_terminal(answer, expected):
        print("ok:", name)
    else:
        print("FAILED:", name)
        failed += 1

# No terminal at all: a new session without one, input from /dev/null.
done = subprocess.run([PROGRAM, FILTER], env=environment(11), stdin=subprocess.DEVNULL,
                      start_new_session=True, timeout=LIMIT, capture_output=True)
if done.returncode == 0:
    print("ok: no terminal returns 11")
else:
    print("FAILED: no terminal returns 11")
    print(done.stdout.decode(errors="replace"))
    failed += 1

sys.exit(1 if failed else 0)
