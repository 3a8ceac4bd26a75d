#!/usr/bin/env python3
"""Checks the release packages in DIST: each ZIP holds exactly ostrivel.exe,
built for its platform and asking the system for the console's window (not
the test build without that look-up), and a README.txt with CRLF line ends, for the person
running the program: at most 180 lines, naming no test tool; DIST holds the
two ZIPs and SHA256SUMS alone, which gives the checksum of each by its bare
name, in sha256sum's format.

Usage: release_check.py DIST
"""
import hashlib
import os
import re
import shlex
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "e2e")]
from report import Report  # noqa: E402
from wine import pe_machine_of  # noqa: E402

PACKAGES = {"ostrivel-1.0-win32.zip": "i386", "ostrivel-1.0-win64.zip": "x86-64"}
README_LINES = 180
# What a user of the program never needs to hear of.
TEST_WORDS = re.compile(rb"wine|reactos|qemu|fuzz|e2e|harness|probe", re.I)


def main():
    dist = sys.argv[1]
    report = Report(shlex.join([sys.executable] + sys.argv))
    for name, machine in PACKAGES.items():
        with zipfile.ZipFile(os.path.join(dist, name)) as z:
            names = sorted(z.namelist())
            exe, readme = z.read("ostrivel.exe"), z.read("README.txt")
        report.check(f"{name}: what it holds", names, ["README.txt", "ostrivel.exe"])
        report.check(f"{name}: built for", pe_machine_of(exe), machine)
        report.ok(f"{name}: ostrivel.exe looks up GetConsoleWindow (not the test build)",
                  b"\0GetConsoleWindow\0" in exe)
        bare = readme.replace(b"\r\n", b"")
        report.ok(f"{name}: README.txt is CRLF throughout",
                  b"\n" not in bare and b"\r" not in bare and readme.endswith(b"\r\n"))
        lines = readme.count(b"\r\n")
        report.ok(f"{name}: README.txt within {README_LINES} lines", lines <= README_LINES,
                  f"{lines} lines")
        report.check(f"{name}: README.txt names no test tool",
                     sorted({w.lower() for w in TEST_WORDS.findall(readme)}), [])
    report.check(f"{dist} holds the two packages and SHA256SUMS", sorted(os.listdir(dist)),
                 sorted(list(PACKAGES) + ["SHA256SUMS"]))
    with open(os.path.join(dist, "SHA256SUMS"), "rb") as f:
        sums = f.read()
    want = b"".join(hashlib.sha256(open(os.path.join(dist, name), "rb").read()).hexdigest().encode()
                    + b"  " + name.encode() + b"\n" for name in sorted(PACKAGES))
    report.check("SHA256SUMS: one line per package in sha256sum's format", sums, want)
    return report.finish()


if __name__ == "__main__":
    sys.exit(main())
