#!/usr/bin/env python3
"""Runs the native program on a pseudo-terminal, with standard output in a
file, and checks byte for byte what each side gets: /t writes the title's
escape to the terminal, without control characters, and nothing else; /c and
/i write nothing to the terminal.

Usage: posix_terminal.py PROGRAM
"""
import os
import pty
import select
import shlex
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from report import Report  # noqa: E402

PROG = os.fsencode(sys.argv[1])
with open(os.path.join(HERE, "native_report.txt"), "rb") as f:
    REPORT = f.read()
report = Report(shlex.join([sys.executable] + sys.argv))


def run(args):
    """Returns (stdout bytes, bytes the terminal saw, exit status)."""
    out = tempfile.TemporaryFile()
    pid, master = pty.fork()
    if pid == 0:
        os.dup2(out.fileno(), 1)
        os.execv(PROG, [PROG] + args)
    seen = b""
    while select.select([master], [], [], 5)[0]:
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    _, status = os.waitpid(pid, 0)
    os.close(master)
    out.seek(0)
    return out.read(), seen, os.waitstatus_to_exitcode(status)


def check(name, args, stdout, terminal):
    report.check(name, run(args), (stdout, terminal, 0))


def osc(title):
    return b"\x1b]2;" + title + b"\x07"


user = b'Shell \xe4 title "q" %s'
check("title", [b"/t" + user], b"", osc(user))
check("empty title", [b"/t"], b"", osc(b""))
check("control characters dropped", [b"/tA\x1b]2;evil\x07\x1b[2JB\x7f\tC\nD"], b"",
      osc(b"A]2;evil[2JBCD"))
check("long title whole", [b"/t" + b"L" * 3000 + b"Z"], b"", osc(b"L" * 3000 + b"Z"))
check("titles in order, console untouched", [b"/tOne", b"/c", b"/x", b"/tTwo", b"/c"], b"00",
      osc(b"One") + osc(b"Two"))
check("console and report: nothing on the terminal", [b"/c", b"/i"], b"0" + REPORT, b"")

sys.exit(report.finish())
