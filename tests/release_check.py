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
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
from wine import pe_machine_of  # noqa: E402

PACKAGES = {"ostrivel-1.0-win32.zip": "i386", "ostrivel-1.0-win64.zip": "x86-64"}
README_LINES = 180
# What a user of the program never needs to hear of.
TEST_WORDS = re.compile(rb"wine|reactos|qemu|fuzz|e2e|harness|probe", re.I)


def main():
    dist = sys.argv[1]
    failed = 0
    for name, machine in PACKAGES.items():
        with zipfile.ZipFile(os.path.join(dist, name)) as z:
            names = sorted(z.namelist())
            exe, readme = z.read("ostrivel.exe"), z.read("README.txt")
        problems = []
        if names != ["README.txt", "ostrivel.exe"]:
            problems.append(f"holds {names}")
        if pe_machine_of(exe) != machine:
            problems.append(f"ostrivel.exe is for {pe_machine_of(exe)}, not {machine}")
        if b"\0GetConsoleWindow\0" not in exe:
            problems.append("ostrivel.exe does not look up GetConsoleWindow")
        bare = readme.replace(b"\r\n", b"")
        if b"\n" in bare or b"\r" in bare or not readme.endswith(b"\r\n"):
            problems.append("README.txt is not CRLF throughout")
        lines = readme.count(b"\r\n")
        if lines > README_LINES:
            problems.append(f"README.txt has {lines} lines, more than {README_LINES}")
        words = sorted({w.lower() for w in TEST_WORDS.findall(readme)})
        if words:
            problems.append(f"README.txt names {b', '.join(words).decode()}")
        for p in problems:
            print(f"FAIL {name}: {p}")
        failed += bool(problems)
        if not problems:
            print(f"{name}: ostrivel.exe for {machine}, README.txt of "
                  f"{len(readme.splitlines())} CRLF lines")
    files = sorted(os.listdir(dist))
    if files != sorted(list(PACKAGES) + ["SHA256SUMS"]):
        print(f"FAIL {dist} holds {files}")
        failed += 1
    with open(os.path.join(dist, "SHA256SUMS"), "rb") as f:
        sums = f.read()
    want = b"".join(hashlib.sha256(open(os.path.join(dist, name), "rb").read()).hexdigest().encode()
                    + b"  " + name.encode() + b"\n" for name in sorted(PACKAGES))
    if sums != want:
        print(f"FAIL SHA256SUMS is not one line per package in sha256sum's format:\n{sums.decode()}")
        failed += 1
    else:
        print("SHA256SUMS: both packages, by bare name")
    print(f"{len(PACKAGES) + 2 - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
