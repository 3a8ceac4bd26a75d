#!/usr/bin/env python3
"""Runs the native program on a pseudo-terminal that plays an xterm: it answers
the title query and records every title set. Checks that the title comes back,
that nothing meant for the terminal reaches standard output, and that a title
cannot smuggle control sequences to the terminal.

Usage: posix_terminal.py PROGRAM
"""
import os
import pty
import re
import select
import sys
import tempfile

PROG = sys.argv[1]
TEMP = "{98C1C303-2A9E-11d4-9FF5-006067718D05}"
failures = []
passes = 0


def run(args, title, answers=True):
    """Returns (stdout bytes, titles set in order, raw bytes the terminal saw)."""
    out = tempfile.TemporaryFile()
    pid, master = pty.fork()
    if pid == 0:
        os.dup2(out.fileno(), 1)
        os.execv(PROG, [PROG] + args)
    seen = b""
    titles = []
    pos = 0
    while True:
        r, _, _ = select.select([master], [], [], 5)
        if not r:
            break
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
        while True:
            m = re.compile(rb"\x1b\[21t|\x1b\]2;([^\x07]*)\x07").search(seen, pos)
            if not m:
                break
            pos = m.end()
            if m.group(0) == b"\x1b[21t":
                if answers:
                    os.write(master, b"\x1b]l" + title + b"\x1b\\")
            else:
                title = m.group(1)
                titles.append(title)
    _, status = os.waitpid(pid, 0)
    os.close(master)
    out.seek(0)
    return out.read(), titles, seen, os.waitstatus_to_exitcode(status)


def check(name, got, want):
    global passes
    if got == want:
        passes += 1
    else:
        failures.append(name)
        print(f"FAIL {name}\n  want: {want!r}\n  got:  {got!r}")


user = "Shell \xe4 title \"q\" %s".encode("latin-1")
stdout, titles, _, status = run(["/c", "/tNew", "/c"], user)
check("console numbers on stdout only", stdout, b"00")
check("exit status", status, 0)
check("titles set", titles, [TEMP.encode(), user, b"New", TEMP.encode(), b"New"])

long_title = b"L" * 3000 + b"Z"
_, titles, _, _ = run(["/x"], long_title)
check("long title restored", titles, [TEMP.encode(), long_title])

stdout, titles, seen, _ = run(["/c", "/i"], user, answers=False)
check("silent terminal: no title changed", titles, [])
check("silent terminal: only queries written", seen.replace(b"\x1b[21t", b""), b"")
check("silent terminal: report", stdout.split(b"\n")[:3], [b"0hwnd console=0", b"hwnd foreground=0", b"OS version="])

stdout, titles, seen, _ = run(["/tA\x1b]2;evil\x07\x1b[2JB\x7f\tC"], user)
check("control characters dropped", titles, [b"A]2;evil[2JBC"])
check("title option silent", stdout, b"")

print(f"{passes} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
