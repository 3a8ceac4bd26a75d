#!/usr/bin/env python3
"""Checks the documents against the tree: every repository path, test,
`ctest -R` pattern, CMake preset and case group they name exists; README.txt
made from the manual is within its cap; the sizes in the benchmarks are the
built programs'. The unit tests are BUILD_DIR's, the e2e groups' tests come
from the case list, and the rest from each preset's build folder where it is
configured (skipped, saying so, where not), as far as the CMake files still
name them. A word in capitals (AREA, GROUP) stands for any name.

Usage: documents.py SOURCE_DIR BUILD_DIR
"""
import glob
import json
import os
import re
import shlex
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "e2e")]
from report import Report  # noqa: E402
from release_check import README_LINES  # noqa: E402

SRC = os.path.abspath(sys.argv[1])
GENERATED = {"app/version.h", "README.txt"}  # written by the build
ELSEWHERE = {"put_message_in_queue"}  # Wine's, cited
PLACEHOLDER = re.compile(r"(?<![A-Za-z])(?:AREA|GROUP|NAME|SUITE|PRESET|PATTERN|ARG|RUNS|URL"
                         r"|COMMIT)(?![A-Za-z])")
PATH = re.compile(r"(?<![\w./\\<>-])(?:(?:\.ci|app|console|sysinfo|fonts|platform|tests|scripts|"
                  r"docs|bench|cmake|e2e|fuzz)/[\w./-]*|[\w-]+\.(?:cpp|h|py|sh|md|txt|json|"
                  r"cmake|rc|in)(?![\w-]|\.\w))")
report = Report(shlex.join([sys.executable] + sys.argv))


def run(*args):
    return subprocess.run(args, cwd=SRC, capture_output=True, check=True).stdout.decode()


def listed(build):
    return set(re.findall(r"Test +#\d+: (\S+)", run("ctest", "--test-dir", build, "-N")))


files, literal, code = [], set(), set()  # literal: tests the CMake files name
for root, dirs, names in os.walk(SRC):
    dirs[:] = [d for d in dirs if d not in (".git", "build", "dist")]
    for f in (os.path.relpath(os.path.join(root, n), SRC) for n in names):
        files.append(f)
        text = "" if f.endswith(".md") else open(os.path.join(SRC, f), errors="replace").read()
        literal.update(re.findall(r"add_test\(NAME (\w+)\s", text))
        code.update(re.findall(r"(?<![\w.])([a-z]\w*_\w+)(?![\w.])", text))
presets = json.load(open(os.path.join(SRC, "CMakePresets.json")))
kinds = {k: {p["name"] for p in presets[k + "Presets"]}
         for k in ("configure", "build", "test", "workflow")}
builds = {p["name"]: p["binaryDir"].replace("${sourceDir}", SRC)
          for p in presets["configurePresets"]}
groups = {}
for line in run(sys.executable, "tests/e2e/cases.py", "--groups").splitlines():
    name, release, noentry, _ = line.split()
    groups[name] = [f"e2e_{name}"] * (release == "1") + [f"e2e_noentry_{name}"] * (noentry == "1")
derived = {t for ts in groups.values() for t in ts}
unit = {t for t in listed(sys.argv[2]) if "." in t}
tests = {name: {t for t in listed(build) if t in literal}
         | (derived if name.startswith("mingw") else unit if name.startswith("native") else set())
         for name, build in builds.items()
         if os.path.exists(os.path.join(build, "CTestTestfile.cmake"))}
known = derived.union(unit, *tests.values())


def exists(path):
    path = path.rstrip("/")
    return path in GENERATED or any(("/" + f + "/").find("/" + path + "/") >= 0 for f in files)


def as_regex(name):  # * and … stand for anything
    return "^" + ".*".join(map(re.escape, re.split(r"[*…]", name))) + "$"


for doc in ["README.md", "CONTRIBUTING.md"] + sorted(glob.glob("docs/*.md", root_dir=SRC)):
    text = open(os.path.join(SRC, doc), encoding="utf-8").read()

    def check(match, what, ok):
        if not PLACEHOLDER.search(match.group(0)):
            report.ok(f"{doc}:{text.count(chr(10), 0, match.start()) + 1}: {what}", ok)

    for m in PATH.finditer(text):
        check(m, f"{m.group(0).rstrip('.')} exists", exists(m.group(0).rstrip(".")))
    for m in re.finditer(r"\]\(([^)#:]+)\)", text):
        check(m, f"link {m.group(1)} exists",
              os.path.exists(os.path.join(SRC, os.path.dirname(doc), m.group(1))))
    for m in re.finditer(r"(ctest|cmake)(\s+--build|\s+--workflow)?\s+--preset\s+([\w-]+)", text):
        kind = "test" if m.group(1) == "ctest" else (m.group(2) or "--configure").strip()[2:]
        check(m, f"{kind} preset {m.group(3)} exists", m.group(3) in kinds[kind])
    for m in re.finditer(r"`([a-z0-9]+(?:-[a-z0-9]+)+)`", text):
        check(m, f"preset {m.group(1)} exists", m.group(1) in kinds["configure"])
    for m in re.finditer(r"ctest\s+--preset\s+([\w-]+)[^`#\n]*?\s-R\s+('[^']*'|[^\s`]+)", text):
        pattern, preset = m.group(2).strip("'"), m.group(1)
        found = any(re.search(pattern, t) for t in tests.get(preset, derived))
        if preset in tests or found:
            check(m, f"-R {pattern} matches a test of {preset}", found)
        elif not PLACEHOLDER.search(m.group(0)):
            print(f"skipped: {doc}: -R {pattern}: no build of {preset} lists its tests")
    gtest = r"`((?:[A-Z]\w*/)?[A-Z]\w*(?:\.[A-Z*…][\w/…*]*|\*)|…/\w+)`"  # Suite.Name, Suite.*
    for m in re.finditer(r"(?<![\w/])e2e_[\w*]+|" + gtest, text):
        name = m.group(1) or m.group(0)
        check(m, f"test {name} exists", any(re.match(as_regex(name), t) for t in known))
    for m in re.finditer(r"`((?!e2e_)[a-z][a-z0-9]*(?:_[a-z0-9]+)+)`", text):
        check(m, f"{m.group(1)} is a test, a group or a name in the code",
              m.group(1) in known | set(groups) | code | ELSEWHERE)
    for m in re.finditer(r"\bgroups?((?:,?\s+(?:and\s+|or\s+)?`\w+`)+)|((?:`\w+`,?\s+(?:and\s+)?)+)"
                         r"groups?\b", text):
        for g in re.findall(r"`(\w+)`", m.group(0)):
            check(m, f"group {g} exists", g in groups)

lines = run(sys.executable, "scripts/readme_txt.py", "docs/manual.md", "/dev/stdout").count("\r\n")
report.ok(f"docs/manual.md makes a README.txt within {README_LINES} lines", lines <= README_LINES,
          f"{lines} lines")
bench = open(os.path.join(SRC, "docs/benchmarks.md"), encoding="utf-8").read()
for arch, preset in (("i686", "mingw-i686"), ("x86_64", "mingw-x64")):
    program = os.path.join(builds.get(preset, ""), "ostrivel.exe")
    size = re.search(rf"^\| {arch} \| ([\d ]+) B \|", bench, re.M)
    if preset not in builds or not os.path.exists(program):
        print(f"skipped: docs/benchmarks.md: {arch}'s size, as there is no build of {preset}")
    else:
        report.check(f"docs/benchmarks.md: {arch}'s size is the stripped program's",
                     size and int(size.group(1).replace(" ", "")), os.path.getsize(program))
sys.exit(report.finish())
