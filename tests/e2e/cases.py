#!/usr/bin/env python3
"""The end-to-end cases, one list for every backend: Wine (this file's main,
one group at a time, step by step) and ReactOS (reactos.py, every case in
one boot).

    cases.py STATE_DIR GROUP [noentry]   (the session made by `wine.py start`)
    cases.py --groups                    (the CTest groups: name, release, noentry, time-out)

A case is data where it can be, a Case: one run of the program and what it
must give; otherwise a function that yields its items once and then checks
them. Each names its group, the builds it runs in (the release, and the test
build "noentry" whose look-up of GetConsoleWindow finds nothing, so that it
finds the console's window by the temporary title as on 95 to NT 4) and the
backends. What differs between them is a field: a value, or a function of
the context, ctx, which tells the build and the backend.
"""
import copy
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))
from report import Report  # noqa: E402
from steps import (REFRESH, TEMP_TITLE, USAGE, Close, Front, Hung, Interrupt, Release,  # noqa: E402
                   Run, Verinfo, Watch, Window, font_report, logged, parse_probe)

RELEASE, BOTH = ("release",), ("release", "noentry")
WINE, ANY = ("wine",), ("wine", "reactos")
CONSOLE = b"<console>"  # in an expected output: the console's window, as the probe read it
TIMEOUT = 240  # seconds a group may take, unless it says otherwise; CTest allows 60 more
VERSION_INFO = (b"fixed file=1.0.0.0 product=1.0.0.0 type=1\n"
                b"FileDescription=Console window handle, title and Close button for batch files\n"
                b"FileVersion=1.0\n"
                b"InternalName=ostrivel\n"
                b"OriginalFilename=ostrivel.exe\n"
                b"ProductName=Ostrivel\n"
                b"ProductVersion=1.0\n")
# Characters outside every 8-bit code page, and one beyond the BMP.
UNICODE_TITLE = "Build \u20ac \u263a \u0416\u0438\u0437 \u65e5\u672c caf\u00e9 \U0001F600"

CASES = []
TIMEOUTS = {}


class Context:
    """One build on one backend, for the cases of a run: what they check
    against, and the report they check into."""

    def __init__(self, desk, noentry, report):
        self.desk, self.noentry, self.report = desk, noentry, report
        self.backend = desk.name
        self.exe = desk.program(noentry)

    def label(self, name):
        return ("noentry: " if self.noentry else "") + name

    def check(self, name, got, want):
        return self.report.check(self.label(name), got, want)

    def ok(self, name, condition, detail=""):
        return self.report.ok(self.label(name), condition, detail)


def value(field, ctx, r):
    """A field as it stands for CTX: called where it is a function, the
    console's number put in for CONSOLE."""
    v = field(ctx) if callable(field) else field
    return v.replace(CONSOLE, r.number()) if isinstance(v, bytes) else v


def checked_run(ctx, r):
    """What every run must give, checked by the backends: nothing on standard
    error, and the exit status the run expects."""
    if r.expect_status is not None:
        ctx.check(f"{r.name}: exit status", r.status, r.expect_status)
    ctx.check(f"{r.name}: nothing on standard error", r.err, b"")


class Case:
    """One run and what it must give: OUT (all of it), HEAD (its start), LINE0
    (its first line); TITLE and WTITLE after it (8-bit, UTF-16), TITLE_BEFORE
    and WTITLE_BEFORE before; CLOSE, the console's Close before and after,
    where the backend sees menus; VERIFY(ctx, r), anything else."""

    def __init__(self, group, run, builds=RELEASE, backends=ANY, **want):
        self.group, self.run, self.builds, self.backends, self.want = (
            group, run, builds, backends, want)
        self.name = run.name
        CASES.append(self)

    def __call__(self, ctx):
        r = copy.copy(self.run)
        yield [r]
        w = {k: value(v, ctx, r) for k, v in self.want.items() if k != "verify"}
        got = {"out": r.out, "head": r.out[:len(w.get("head", b""))],
               "line0": r.out.split(b"\r\n")[0], "title": r.after_view["title"],
               "wtitle": r.after_view["wtitle"], "title_before": r.before_view["title"],
               "wtitle_before": r.before_view["wtitle"],
               "close": (r.before_view["close"], r.after_view["close"])}
        for key, want in w.items():
            if key != "close" or ctx.desk.menus:
                ctx.check(f"{self.name}: {key}", got[key], want)
        if "verify" in self.want:
            self.want["verify"](ctx, r)


def code(group, builds=RELEASE, backends=ANY):
    """A case that needs code: a generator of ctx that yields its items once
    (Wine-only cases may yield more often) and checks them after."""
    def register(f):
        f.group, f.builds, f.backends, f.name = group, builds, backends, f.__name__
        CASES.append(f)
        return f
    return register


# --- the command line ---------------------------------------------------------------

for args, want in [([], USAGE), (["/?"], USAGE), (["/q"], b"unknown option /q\r\n"),
                   (["/"], b"unknown option /\r\n"), (["-"], b"unknown option -\r\n"),
                   (["word", "C:file.txt", "c"], b""),
                   (["-Q", "/?"], b"unknown option -Q\r\n" + USAGE)]:
    Case("cli", Run(args, title=b"cli"), out=want)


@code("cli", backends=WINE)
def widths(ctx):
    from wine import pe_machine
    bins = os.path.join(ctx.desk.session.state, "bin")
    width = pe_machine(os.path.join(bins, "ostrivel.exe"))
    print(f"program under test: {width}")
    ctx.ok("a Windows program", width in ("i386", "x86-64"), width)
    ctx.check("probes of the program's width", pe_machine(os.path.join(bins, "console_probe.exe")),
              width)
    return
    yield


# --- the console's window and its title ----------------------------------------------

for t in [b"Plain title", b"  spaced   out  ", b"Caf\xe9 \"q\" %s &|<>", b"T" * 1999 + b"Z"]:
    Case("console", Run(["/c"], title=t, name=f"/c under a title of {len(t)} bytes {t[:20]!r}"),
         builds=BOTH, out=CONSOLE, title_before=t, title=t)
Case("console", Run(["/c"], title=b"Caf\xe9 \xc0 \xdf"), builds=BOTH, backends=WINE, out=CONSOLE,
     title=b"Caf\xe9 \xc0 \xdf")
Case("console", Run(["/c", "/c"], title=b"twice"), builds=BOTH, out=CONSOLE * 2)
Case("console", Run(["/c", "/f"], title=b"both"), builds=BOTH, head=CONSOLE,
     verify=lambda ctx, r: ctx.ok(
         "/c /f: then a foreground window seen during the run",
         int(r.out[len(r.number()):] or -1) in r.foregrounds, r.out))

# The title discovery finds nothing under an empty title; the system's answer stands.
FOUND_ONLY_NAMED = lambda ctx: b"0" if ctx.noentry else CONSOLE  # noqa: E731
Case("title", Run(b'/t"Some Title"', title=b"old"), builds=BOTH, title=b"Some Title", out=b"")
Case("title", Run(["/tText with spaces"], title=b"old"), builds=BOTH, title=b"Text with spaces")
Case("title", Run(["-TCaf\xe9 \xc0"], title=b"old"), backends=WINE, builds=BOTH,
     wtitle="Caf\xe9 \xc0")
Case("title", Run(["/t", "/c"], title=b"old"), builds=BOTH, out=FOUND_ONLY_NAMED, title=b"")
Case("title", Run(["/t", "/i"], title=b"old"), builds=BOTH,
     line0=lambda ctx: b"hwnd console=" + FOUND_ONLY_NAMED(ctx))


@code("title", builds=BOTH, backends=WINE)
def never_a_temporary_title(ctx):
    """A probe reads the console's title and caption throughout; the release
    never shows the temporary title, the test build must be seen to."""
    w = Watch(["/c", "/i", "/x"], 3 if ctx.noentry else 100)
    yield [w]
    print(f"{w.reads} reads of the title and caption, besides the user's saw {w.seen}")
    if ctx.noentry:
        ctx.ok("the watching probe sees the temporary title", TEMP_TITLE.decode() in w.seen, w.seen)
    else:
        ctx.check("100 runs of /c /i /x: title and caption never change", w.seen, [])


def utf16_units(text):
    return len(text.encode("utf-16-le")) // 2


def unicode_title(units):
    """UNICODE_TITLE repeated to UNITS UTF-16 units, ending in "!"."""
    text, n = [], 0
    for c in UNICODE_TITLE * (units // len(UNICODE_TITLE) + 1):
        w = utf16_units(c)
        if n + w > units - 1:
            break
        text.append(c)
        n += w
    return "".join(text) + "x" * (units - 1 - n) + "!"


def utitle(text):
    return b"utitle " + text.encode()


for args, want in ((["/c"], dict(out=CONSOLE)), (["/x"], dict(out=b"")),
                   (["/i"], dict(line0=b"hwnd console=" + CONSOLE)),
                   (["/c", "/x", "/i", "/c"], dict(head=CONSOLE + b"hwnd console=" + CONSOLE))):
    Case("unicode", Run(args, before=[utitle(UNICODE_TITLE)], name=f"{args} under a Unicode title"),
         builds=BOTH, wtitle_before=UNICODE_TITLE, wtitle=UNICODE_TITLE, **want)
Case("unicode", Run(["/tplain title"], before=[utitle(UNICODE_TITLE)]), builds=BOTH,
     wtitle="plain title")
# Around the discovery's read sizes, to the longest title a console holds:
# past it, or past what the console lets it read, the discovery leaves the
# title alone and finds nothing. The release reads no title: past the
# sizes is enough there.
NOENTRY = ("noentry",)
for units, builds, backends in [(n, NOENTRY, ANY) for n in (255, 256, 510, 511, 512, 513, 24498,
                                                            24499)] + [
        (n, NOENTRY, WINE) for n in (24500, 24501)] + [
        (n, BOTH, WINE) for n in (65535, 65536, 70000)]:
    Case("unicode", Run(["/c"], before=[utitle(unicode_title(units))],
                        name=f"/c under a title of {units} units"),
         builds=builds, backends=backends, wtitle=unicode_title(units),
         out=lambda ctx, units=units: (b"0" if ctx.noentry and units > ctx.desk.longest_title
                                       else CONSOLE))


# --- the close button -----------------------------------------------------------------

Case("close", Run(["/x"], title=b"Keep me"), builds=BOTH, out=b"", title=b"Keep me",
     close=(4096, -1))
Case("close", Run(["/x", "/x", "/c"], title=b"Keep me too"), builds=BOTH, out=CONSOLE,
     title=b"Keep me too", close=(4096, -1))
Case("close", Run(["/t", "/x"], title=b"Keep me"), builds=BOTH, title=b"",
     close=lambda ctx: (4096, 4096 if ctx.noentry else -1))


@code("close", builds=BOTH)
def other_window_above(ctx):
    """Another window with the temporary title above the console (a copy
    killed while its title showed, any program). The window the system names
    is the answer and the other one is never touched; the title discovery
    finds the other one, the limit of 95 to NT 4. (Wine keeps menus per
    process, so there only the other window's frame tells.)"""
    other = Window("other", caption=TEMP_TITLE.decode())
    c, i, x = (Run(a, title=b"Covered") for a in (["/c"], ["/i"], ["/x", "/c"]))
    yield [other, c, i, x, Close(other)]
    for r in (c, i, x):
        answer = str(other.handle).encode() if ctx.noentry else r.number()
        ctx.check(f"other window above: {r.name}", r.out.split(b"\r\n")[0],
                  b"hwnd console=" + answer if r is i else answer)
    ctx.check("other window above: title kept", x.after_view["title"], b"Covered")
    ctx.check("other window above: its frame changes", len(other.ticks(b"frame")),
              1 if ctx.noentry else 0)
    if ctx.desk.menus:
        ctx.check("other window above: its Close, at its start and at its end",
                  [row[0] for row in logged(other.log, b"close")],
                  [4096, -1 if ctx.noentry else 4096])
        ctx.check("other window above: this console's Close after /x /c", x.after_view["close"],
                  4096 if ctx.noentry else -1)


@code("close", builds=BOTH, backends=WINE)
def window_that_does_not_answer(ctx):
    """/x only posts the frame change, so a window whose thread does not answer
    cannot hold it. Killed after 60 s, it would free a /x that waits."""
    hung = Window("hung", caption=TEMP_TITLE.decode(), hang=True, kill_after=60)
    r = Run(["/x", "/c"], title=b"Hung")
    yield [hung, r]
    ctx.ok("/x beside a window that does not answer: ended while it still hung", not hung.killed,
           f"{r.ms} ms")
    ctx.check("/x /c beside a window that does not answer", r.out,
              str(hung.handle).encode() if ctx.noentry else r.number())


@code("close", backends=WINE)
def console_without_a_window(ctx):
    """A console started without a window (IDEs, CI agents, scheduled tasks),
    with a title of its own, beside a window with the temporary title: no
    window is reported, and the other one is not touched."""
    other = Window("other", caption=TEMP_TITLE.decode())
    r = Run(["/tBuild", "/c", "/i", "/x"], title=b"Outer", nowindow=True)
    yield [other, r, Close(other)]
    ctx.ok("no console window: /c and /i report 0",
           r.out.startswith(b"0hwnd console=0\r\nhwnd foreground="), r.out)
    ctx.check("no console window: frame changes of the other window", other.ticks(b"frame"), [])


@code("close", builds=BOTH)
def behind_another_window(ctx):
    """The user types into another program's window while a batch file runs
    /x: its console stays behind, once its window has handled all the
    program sent or posted to it."""
    front = Window("front")
    r = Run(["/x"], title=b"Behind", before=[Front(front)], after=[b"settle"])
    yield [front, r]
    ctx.check("/x behind another window: it was in front", r.before_view["foreground"],
              front.handle)
    ctx.check("/x behind another window: it is still in front", r.after_view["foreground"],
              front.handle)
    if ctx.desk.menus:
        ctx.check("/x behind another window: Close removed all the same", r.after_view["close"], -1)


# --- the report ------------------------------------------------------------------------

def within(figure, span):
    """Whether a printed figure in GB lies in the span of bytes seen during
    the run, give or take the sixth decimal's rounding."""
    low, high = span
    return low / 2 ** 30 - 5e-7 <= float(figure) <= high / 2 ** 30 + 5e-7


# What /i's output splits into at CRLF besides its disk lines: both handles,
# the system's name, and the empty rest after the last line.
REPORT_OTHER_PIECES = 4


def info_lines(ctx, r, drive):
    """/i's lines, the current folder on DRIVE: each figure within what the
    probe saw of that drive from just before the run to just after."""
    lines = r.out.split(b"\r\n")
    m = re.fullmatch(rb"hwnd foreground=([0-9]+)", lines[1])
    ctx.ok(f"{r.name}: a foreground window seen during the run",
           m and int(m.group(1)) in r.foregrounds, lines[1])
    found = re.findall(rb"Disk (.)=(-?[0-9]+\.[0-9]{6}) GB\r\n", r.out)
    drives = [drive] + ([b"C"] if drive != b"C" else [])
    ctx.check(f"{r.name}: disk drives", [d for d, _ in found], drives)
    ctx.check(f"{r.name}: line count", len(lines), REPORT_OTHER_PIECES + len(drives))
    for (letter, figure), span in zip(found, (r.free, r.free_c)):
        ctx.ok(f"{r.name}: Disk {letter.decode()} figure within what the run saw",
               within(figure, span), f"{figure.decode()} against {span}")
    print(f"{r.name} printed:\n" + r.out.decode("latin-1").replace("\r\n", "\n"), end="")


for cwd, drive, backends in ((b"C:\\", b"C", ANY), (None, b"Z", WINE)):
    Case("info", Run(["/i"], title=b"info", cwd=cwd, name=f"/i on drive {drive.decode()}"),
         backends=backends, line0=b"hwnd console=" + CONSOLE, title=b"info",
         verify=lambda ctx, r, drive=drive: (
             ctx.check(f"{r.name}: version line", r.out.split(b"\r\n")[2],
                       b"OS version=" + ctx.desk.os_name), info_lines(ctx, r, drive)))


@code("deep", backends=WINE)
def deep_folder(ctx):
    """In the ANSI page 932 (Japanese), a folder two levels of 75 characters
    deep: 165 UTF-16 units, well within Windows' limit, but over 260 bytes.
    A group of its own, which skips where Wine cannot have the page."""
    have = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if "ja_JP.utf8" not in have:
        print("skipped the deep folder in code page 932: the locale ja_JP.UTF-8 is not"
              " generated here (scripts/deps.sh makes it)")
        sys.exit(SKIPPED)
    name = ("\u65e5\u672c\u8a9e\u306e\u6587\u5b57" * 13)[:75]
    deep = os.path.join(ctx.desk.work, name, name)
    os.makedirs(deep.encode())
    from wine import winpath
    ctx.desk.console_env = {"LC_ALL": "ja_JP.UTF-8"}
    r = Run(["/i"], title=b"deep", cwd=winpath(deep).encode(), name="/i in a deep folder, 932")
    yield [r]
    ctx.check("a deep folder in code page 932: its drive, then C",
              re.findall(rb"Disk (.)=", r.out), [b"Z", b"C"])


@code("info", backends=WINE)
def error_mode(ctx):
    """Before anything else, the program tells the system to show no box for
    a drive without media (the "no disk" box that waits for a click), keeping
    what the mode it inherited holds. Wine shows no such box (nor does
    ReactOS, for its empty floppy and CD drives): the calls tell, the ones of
    Wine's relay trace that return into the program's image."""
    from wine import NotStarted, pe_image, tried_thrice
    exe = os.path.join(ctx.desk.session.state, "bin", "ostrivel.exe")
    base, size = pe_image(exe)

    def traced():
        status, trace = ctx.desk.session.wine_run([exe, "/i"], debug="+relay")
        calls = re.findall(r"^[0-9a-f]+:Call [\w-]+\.(\w+)\((.*)\) ret=([0-9a-f]+)$", trace, re.M)
        if not calls:  # not even the loader's: Wine never started the process
            raise NotStarted(f"a traced run showed no call at all (exit {status})")
        return [(n, a) for n, a, ret in calls if base <= int(ret, 16) < base + size]
    ctx.desk.step = "a traced run of /i"
    calls = tried_thrice(traced)
    names = [name for name, _ in calls]
    print("the program's first calls: " + ", ".join(f"{n}({a})" for n, a in calls[:4]))
    if not ctx.ok("the program made calls of its own", calls):
        return
    ctx.check("first calls: the error mode read, then set", names[:2], ["SetErrorMode"] * 2)
    ctx.ok("read with 0, then set with no critical-error and no open-file boxes",
           len(calls) > 1 and calls[0][1] == "00000000" and int(calls[1][1], 16) & 0x8001 == 0x8001,
           calls[:2])
    ctx.check("the error mode set once, never put back", names.count("SetErrorMode"), 2)
    return
    yield


@code("rounding", backends=WINE)
def a_tie_rounds_up(ctx):
    """Figures go through msvcrt.dll's printf, which rounds a tie at the sixth
    decimal up (MinGW's and glibc's printf round it to even): drive D: on a
    file system with exactly 131 072 000 000 bytes free, 122.0703125 GB."""
    mount = os.path.join(ctx.desk.work, "tie")
    os.mkdir(mount)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=131072000000", "tie", mount],
                      stderr=subprocess.DEVNULL).returncode != 0:
        print("skipped: no tmpfs can be mounted here (needs root)")
        sys.exit(SKIPPED)
    drive = os.path.join(ctx.desk.session.prefix, "dosdevices", "d:")
    try:
        os.symlink(mount, drive)
        r = Run(["/i"], title=b"tie", cwd=b"D:\\")
        yield [r]
        ctx.check("a tie rounds up", re.findall(rb"Disk (.)=(\S+) GB", r.out)[0],
                  (b"D", b"122.070313"))
    finally:
        if os.path.lexists(drive):
            os.unlink(drive)
        subprocess.run(["umount", mount])


VERSIONS = [("win95", b"Windows 95"), ("win98", b"Windows 98"), ("winme", b"Windows ME"),
            ("nt40", b"Windows NT"), ("win2k", b"Windows NT-2000"), ("winxp", b"Windows NT-XP"),
            ("win2003", b"Windows NT-Server 2003"), ("winxp64", b"Windows NT-XP"),
            ("vista", b""), ("win7", b""), ("win10", b"")]
NINE_X = ("win95", "win98", "winme")


@code("versions", backends=WINE)
def every_version(ctx):
    """Wine's per-program Windows version, as each system reports itself. The
    9x family has no wide command line: the file is asked through the 8-bit
    _stat, and the title widened from the ANSI page."""
    font = ctx.desk.file("font.ttf", b"\0\1\0\0")
    session = ctx.desk.session
    try:
        for version, name in VERSIONS + [("win31", None)]:
            session.set_version("ostrivel.exe", version)
            runs = [Run(["/i"], title=b"v", cwd=b"C:\\", name=f"{version}: /i")]
            if version in NINE_X:
                runs += [Run(["/r" + font], title=b"v"), Run(["/r" + font + ".none"], title=b"v"),
                         Run(batch='EXE /t"caf\u00e9"', title=b"v"),
                         Run(["/rC:\\nothere\\caf\u00e9.ttf"], title=b"v", before=[b"cp 437"])]
            yield runs
            lines = runs[0].out.split(b"\r\n")
            if name is None:
                ctx.check("win31: Win32s line between handles and name", lines[2:4],
                          [b"Microsoft Win32s", b"OS version="])
                continue
            ctx.check(f"{version}: name", lines[2], b"OS version=" + name)
            ctx.check(f"{version}: line count on drive C", len(lines), REPORT_OTHER_PIECES + 1)
            if version in NINE_X:
                ctx.check(f"{version}: /r on a file that exists", runs[1].out,
                          font_report(font.encode(), 1))
                ctx.check(f"{version}: /r on a file that is missing", runs[2].out,
                          font_report(font.encode() + b".none", 0))
                ctx.check(f"{version}: batch file, /t'caf\u00e9'", runs[3].after_view["wtitle"],
                          "caf\u00e9")
                ctx.check(f"{version}: /r echoes its ANSI value in the console's page", runs[4].out,
                          font_report(b"C:\\nothere\\caf\x82.ttf", 0))
    finally:
        session.set_version("ostrivel.exe", None)


@code("resource")
def version_resource(ctx):
    """The version resource, read as Explorer's Details tab and PowerShell do."""
    v = Verinfo()
    yield [v]
    print(v.info.decode("latin-1"))
    ctx.check("version resource", v.info, VERSION_INFO)


# --- fonts -----------------------------------------------------------------------------

@code("fonts")
def font_change(ctx):
    """Every window gets the font change, once per /r. /r waits for those that
    answer, not at all for one the system calls hung, which gets it when it
    answers again, and no longer for one whose program ends while it handles
    it. The ticks are one clock for the whole desktop."""
    font = ctx.desk.file("real font.ttf", b"\0\1\0\0")
    missing = "C:\\Windows\\Fonts\\no-such-font.ttf"
    plain, slow, hung = Window("plain"), Window("slow", slow=1000), Window("hung", held=True)
    alone, absent, both = (Run(["/r"], title=b"fonts"), Run(["/r" + missing], title=b"fonts"),
                           Run(["/r" + font, "-R"], title=b"fonts"))
    past_slow, nothing = Run(["/r"], title=b"slow"), Run(["word"])
    past_hung = Run(["/r"], before=[Hung(hung)], after=[Release(hung)])
    ending, past_ending = Window("ending", ends=1000), Run(["/r"])
    yield [plain, alone, absent, both, slow, past_slow, Close(slow), hung, nothing, past_hung,
           Close(hung), ending, past_ending, Close(ending), Close(plain)]
    for r, want, n in ((alone, REFRESH, 1), (absent, font_report(missing.encode(), 0), 1),
                       (both, font_report(font.encode(), 1) + REFRESH, 2)):
        ctx.check(f"{r.name}: output", r.out, want)
        ctx.check(f"{r.name}: messages the window received while it ran", plain.during(r), n)
    ctx.check("/r keeps the title", both.after_view["title"], b"fonts")

    # Answered within the time, so handled before OK.
    returned = slow.ticks(b"returned")
    ctx.check("/r past a slow window: output", past_slow.out, REFRESH)
    ctx.check("/r past a slow window: it received one message while /r ran",
              slow.during(past_slow), 1)
    ctx.ok("/r past a slow window: ended only after it answered",
           returned and returned[0] <= past_slow.end, f"answered at {returned}, /r ended at "
           f"{past_slow.end}")

    # Hung to the system when /r starts: not waited for, but the message waits for it.
    print(f"/r past a hung window took {past_hung.ms} ms, a start that does nothing"
          f" {nothing.ms} ms")
    ctx.check("/r past a hung window: output", past_hung.out, REFRESH)
    ctx.ok("/r past a hung window ends well inside 5 s", past_hung.ms - nothing.ms < 4000,
           f"{past_hung.ms} ms, a start {nothing.ms} ms")
    late = hung.ticks(b"WM_FONTCHANGE")
    ctx.ok("/r past a hung window: it got the message once, when it answered again, after /r",
           len(late) == 1 and late[0] > past_hung.end, f"{late}, /r ended at {past_hung.end}")

    # Its program ended 1 s into the message: /r ends then, not 5 s after it started.
    print(f"/r past a window whose program ends 1 s into the message took {past_ending.ms} ms")
    ended = ending.ticks(b"ends")
    ctx.check("/r past a program that ends: output", past_ending.out, REFRESH)
    ctx.ok("/r past a program that ends: ended after it, and well inside 5 s",
           len(ended) == 1 and ended[0] <= past_ending.end and past_ending.ms - nothing.ms < 4000,
           f"the program ended at {ended}, /r ended at {past_ending.end} after {past_ending.ms} ms,"
           f" a start {nothing.ms} ms")


@code("fonts")
def beside_eight_slow_windows(ctx):
    """Eight windows of one program, 2 s each over the font change, answer one
    after another for 16 s: /r waits 5 s in all, and each gets the message,
    most of them after the program has ended."""
    plain, many = Window("plain"), Window("many", slow=2000, windows=8)
    past_many = Run(["/r"])
    yield [plain, many, past_many, Close(many), Close(plain)]
    print(f"/r beside eight windows slow by 2 s took {past_many.ms} ms")
    ctx.check("/r past eight slow windows: output", past_many.out, REFRESH)
    ctx.ok("/r past eight slow windows: under 6 s", past_many.ms < 6000, f"{past_many.ms} ms")
    got = sorted(h for _, h in logged(many.log, b"WM_FONTCHANGE"))
    ctx.check("/r past eight slow windows: each got the message once", got, sorted(many.handles))
    answers = many.ticks(b"returned")
    ctx.ok("/r past eight slow windows: ended before the fourth answered, 5 s in all",
           len(answers) == 8 and past_many.end < sorted(answers)[3],
           f"ended at {past_many.end}, answers at {answers}")
    ctx.ok("/r past eight slow windows: the plain window had it before OK",
           plain.during(past_many) == 1)


# --- what reaches the program ----------------------------------------------------------

@code("wildcards")
def nothing_expanded(ctx):
    """Arguments reach the program as typed: "-*.dat" would be the file -q.dat,
    "/?" and "/t*" a one-letter name in the root of the drive."""
    folder = ctx.desk.folder(["a1.txt", "a2.txt", "notes.txt", "-q.dat"]).encode()
    ctx.desk.in_root({"T": b"", "X": None})
    runs = [Run(b"*.txt a?.txt", title=b"glob", cwd=folder),
            Run(b"-*.dat /zz*.q", title=b"glob", cwd=folder),
            Run(["/?", "/c"], title=b"Kept", cwd=b"C:\\"), Run(["/t*"], title=b"old", cwd=b"C:\\")]
    if ctx.backend == "wine":
        runs.append(Run(["/t\u0141\u00f3d\u017a", "*.txt"], title=b"glob", cwd=folder, wide=True))
    yield runs
    ctx.check("patterns without a prefix print nothing", runs[0].out, b"")
    ctx.check("patterns are options as typed", runs[1].out,
              b"unknown option -*.dat\r\nunknown option /zz*.q\r\n")
    ctx.check("/? /c beside C:\\T and C:\\X", runs[2].out, USAGE + runs[2].number())
    ctx.check("/? beside C:\\T and C:\\X keeps the title", runs[2].after_view["title"], b"Kept")
    ctx.check("/t* sets the title *", runs[3].after_view["title"], b"*")
    if len(runs) > 4:
        ctx.check("UTF-16 command line: /t'\u0141\u00f3d\u017a' beside a pattern",
                  runs[4].after_view["wtitle"], "\u0141\u00f3d\u017a")


for text in ("caf\u00e9", "\u00dcbersicht"):
    # Batch files, which cmd reads in the console's code page.
    for line, who in ((f"title {text}", "cmd's title"), (f'EXE /t"{text}"', "/t")):
        Case("typed", Run(batch=line, title=b"old", name=f"batch file, {who} {text!r}",
                          status=0 if who == "/t" else None), wtitle=text)
for text, backends in (("caf\u00e9", WINE), ("\u0141\u00f3d\u017a \u0159", ANY),
                       ("\u0421\u0431\u043e\u0440\u043a\u0430", ANY), ("\u65e5\u672c\u8a9e", WINE),
                       ("smile \U0001F600", WINE), (UNICODE_TITLE, ANY)):
    Case("typed", Run(["/t" + text, "/c"], title=b"old", wide=True,
                      name=f"UTF-16 command line: /t{text!r} /c"),
         backends=backends, wtitle=text, out=CONSOLE)
Case("typed", Run(["/t"], before=[utitle(UNICODE_TITLE)], wide=True, name="/t alone, UTF-16"),
     backends=WINE, wtitle="")
# The command line splits a backslash before a quote as a quote: %~dp0 ends
# in one, and the manual's remedy doubles it.
Case("typed", Run(batch='EXE /t"%~dp0\\" /c', title=b"old", name="batch file, /t\"%~dp0\\\" /c"),
     out=CONSOLE, verify=lambda ctx, r: ctx.ok(
         "the title is the batch file's folder, backslash and all",
         r.after_view["wtitle"].endswith("\\") and r.after_view["wtitle"][1:3] == ":\\",
         r.after_view["wtitle"]))


@code("typed")
def fonts_as_typed(ctx):
    """Looked up as typed, echoed in the console's page, from its published
    tables: 437 has no Cyrillic, CJK, "\u0141" or "\u017a"; "\u00e9" is 0x82
    and "\u00f3" 0xA2 in 437 and 850, "\u00d8" 0x9D in 850 only."""
    there = "\u0448\u0440\u0438\u0444\u0442 \u65e5\u672c.ttf"
    path = ctx.desk.file(there, b"\0\1\0\0")
    folder = path[:-len(there)].encode()
    looked = [(Run(["/r" + path], wide=True, before=[b"cp 437"], name=f"/r {there!r}"),
               font_report(folder + b"????? ??.ttf", 1)),
              (Run(["/r" + path + "x"], wide=True, before=[b"cp 437"], name=f"/r {there!r}x"),
               font_report(folder + b"????? ??.ttfx", 0))]
    value = "C:\\nothere\\caf\u00e9 \u0141\u00f3d\u017a \u00d8.ttf"
    pages = ((437, b"C:\\nothere\\caf\x82 ?\xa2d? ?.ttf", b"/\x82"),
             (850, b"C:\\nothere\\caf\x82 ?\xa2d? \x9d.ttf", b"/\x82"),
             (65001, b"C:\\nothere\\caf\xc3\xa9 \xc5\x81\xc3\xb3d\xc5\xba \xc3\x98.ttf", b"/\xc3\xa9"))
    echoed = [(Run(["/r" + value, "/\u00e9"], title=b"echo", wide=True, before=[b"cp %d" % page],
                   name=f"echoes in code page {page}"),
               font_report(shown, 0) + b"unknown option " + option + b"\r\n")
              for page, shown, option in pages[:1 if ctx.backend == "reactos" else 3]]
    yield [r for r, _ in looked + echoed]
    for r, want in looked + echoed:
        ctx.check(r.name, r.out, want)


# --- hostile input ----------------------------------------------------------------------

LONG = bytes((0x41 + i % 26) for i in range(32000))
CONTROL = "".join(chr(c) for c in range(1, 32) if c not in (9, 10, 13, 32))
Case("hostile", Run(b"/t" + LONG, title=b"old", name="a 32000-byte title"), builds=BOTH,
     backends=WINE, title=LONG)
Case("hostile", Run(b"/r" + LONG, title=b"fonts", name="a 32000-byte font value"), builds=BOTH,
     backends=WINE, out=font_report(LONG, 0))
Case("hostile", Run(["/t" + CONTROL + "\x7f\x80\xff end"], title=b"old",
                    name="control characters and high bytes in a title"),
     builds=BOTH, backends=WINE,
     wtitle=(CONTROL + "\x7f\x80\xff end").encode("latin-1").decode("cp1252"))
# Echoed in the console's page: "\xe7" and "\xff" are 0x87 and 0x98 in 437.
Case("hostile", Run(["/\x01", "-\xe7", "/\x7f", "\x1b[2J", "/r\x1b[2J\xff"], title=b"old",
                    before=[b"cp 437"], name="control characters and high bytes as options"),
     builds=BOTH, backends=WINE,
     out=b"unknown option /\x01\r\nunknown option -\x87\r\nunknown option /\x7f\r\n" +
     font_report(b"\x1b[2J\x98", 0))
for size in (65535, 70000):
    t = bytes((0x61 + i % 26) for i in range(size))
    Case("hostile", Run(["/c"], title=t, name=f"/c under a {size}-byte title"), builds=BOTH,
         backends=WINE, title=t,
         out=lambda ctx, size=size: b"0" if ctx.noentry and size > 65535 else CONSOLE)


# --- interruptions ----------------------------------------------------------------------

@code("interrupt", builds=NOENTRY, backends=ANY)
def interrupted_during_the_temporary_title(ctx):
    """Ctrl+C (Ctrl+Break on ReactOS, to the program's own group: cmd would
    ask whether to end the batch file) while the temporary title shows: the
    title is back first, then the program ends."""
    event, tries = ctx.desk.interrupt
    items = [Interrupt(["/c"] * 40, event, b"title", title=b"User title %d" % i)
             for i in range(tries)]
    yield items
    for i, it in enumerate(items):
        ctx.check(f"try {i}: interrupted during the temporary title", it.sent, 1)
        ctx.check(f"try {i}: title back", it.after_view["title"], b"User title %d" % i)
        # The output shows that it ended early: Wine's default action ends
        # the process with status 0, not Windows' STATUS_CONTROL_C_EXIT.
        n = str(it.after_view["console"]).encode()
        ctx.ok(f"try {i}: ended before its last discovery",
               it.out == n * (len(it.out) // len(n)) and len(it.out) < len(n) * 40, it.out[:80])


@code("interrupt", builds=BOTH, backends=WINE)
def interrupted_during_the_broadcast(ctx):
    """The window would answer within /r's 5 s, so a program that went on
    would wait for it. /c first: where the program finds the window by the
    title, its console control handler is put in place at its first
    discovery, and a handler that swallowed the event would show."""
    window = Window("slow", slow=4000)
    it = Interrupt(["/c", "/r"], "c", window, title=b"Waiting")
    yield [window, it, Close(window)]
    ctx.check("Ctrl+C during the broadcast: sent once the window had the message", it.sent, 1)
    ctx.check("Ctrl+C during the broadcast: output stops before OK", it.out,
              str(it.after_view["console"]).encode() + b"Refreshing fonts ... ")
    answered = window.ticks(b"returned")
    ctx.ok("Ctrl+C during the broadcast: ended before the window answered",
           answered and all(t > it.end for t in answered), f"answered at {answered}, "
           f"ended at {it.end}")
    ctx.check("Ctrl+C during the broadcast: title kept", it.after_view["title"], b"Waiting")


@code("interrupt", builds=NOENTRY, backends=("reactos",))
def selection_during_the_temporary_title(ctx):
    """ReactOS: a selection (Edit > Mark, 65520 in this system menu) begun
    while the temporary title shows puts "Mark - " before it in the caption,
    and the title finds no window; Esc ends it. (ReactOS writes the prefix
    only as a selection starts.)"""
    it = Interrupt(["/c"], "65520", b"caption", title=b"Marked", after=[b"key 27"])
    yield [it]
    print(f"/c during Mark: caption {it.caption!r}")
    ctx.check("Mark chosen while the caption showed the temporary title", it.caption,
              "Mark - " + TEMP_TITLE.decode())
    ctx.check("/c during Mark", it.out, b"0")
    ctx.check("/c during Mark: title restored", it.after_view["title"], b"Marked")


Case("interrupt", Run(["/c"], title=b"Marked", before=[b"syscommand 65520"],
                      after=[b"key 27"], name="/c during Mark"),
     backends=("reactos",), out=CONSOLE,
     verify=lambda ctx, r: ctx.check("Mark: the caption /c ran under",
                                     r.before_view["caption"], "Mark - Marked"))


@code("concurrency", builds=NOENTRY, backends=WINE)
def copies_at_once(ctx, pairs=20, reps=5):
    """Pairs of consoles discovering at the same moment never cross (the
    build without GetConsoleWindow: the release's answer is the system's).
    Both wait for one file; a pair Wine did not start both of is started
    again before either runs the program. Where Wine then fails to start the
    program on one side, nothing ran there: the other side's result stands,
    and one pair more is run (two at most)."""
    from wine import NotStarted, tried_thrice, winpath
    session, work = ctx.desk.session, ctx.desk.work
    crossed, full, i = 0, 0, 0
    while full < pairs:
        def start(i=i):
            attempt = time.monotonic_ns()
            go = os.path.join(work, f"go{i}.{attempt}")
            started, tags = [], [os.path.join(work, f"c{i}{s}{attempt}") for s in "ab"]
            for side, tag in zip(b"ab", tags):
                started.append(session.console_start([
                    b"title pair %d side %c" % (i, side), b"probe " + winpath(tag + ".b").encode(),
                    b"waitfile " + winpath(go).encode(), b"run " + winpath(tag + ".o").encode() +
                    b" " + ctx.exe + b" /c" * reps, b"probe " + winpath(tag + ".a").encode()]))
            deadline = time.time() + 60
            while time.time() < deadline and started:
                if all(os.path.exists(t + ".b") for t in tags):
                    return started, tags, go
                if any(p.poll() is not None for p, _ in started):
                    break
                time.sleep(0.01)
            for p, _ in started:
                p.kill()
            raise NotStarted(f"pair {i}: Wine did not start both consoles")
        started, tags, go = tried_thrice(start)
        open(go, "wb").close()  # both go at once
        windows = []
        for st, tag, side in zip(started, tags, "ab"):
            try:
                session.console_wait(st)
            except NotStarted as e:
                sys.stderr.write(f"wine harness: pair {i} side {side}: {e}; one pair more\n")
                continue
            with open(tag + ".o", "rb") as f, open(tag + ".b", "rb") as b, \
                    open(tag + ".a", "rb") as a:
                out, before, after = f.read(), parse_probe(b.read()), parse_probe(a.read())
            windows.append(before["console"])
            if out != str(before["console"]).encode() * reps:
                crossed += 1
                print(f"pair {i} side {side}: printed {out!r}, its console is {before['console']}")
            ctx.check(f"pair {i} side {side}: title kept", after["title"],
                      b"pair %d side %s" % (i, side.encode()))
        i += 1
        if len(windows) == 2:
            full += 1
            ctx.ok(f"pair {i - 1}: two different consoles", windows[0] != windows[1], windows)
        elif i - full > 2:
            raise RuntimeError("Wine did not start both programs of three pairs")
    print(f"{i} pairs, {full} of them whole, {crossed} of the discoveries' runs crossed")
    ctx.check("crossed results", crossed, 0)
    return
    yield


# --- terminals ---------------------------------------------------------------------------

@code("pseudo", backends=WINE)
def pseudo_console(ctx):
    """Under a pseudo console (Wine's: the stand-in the system names is a
    message-only window, owned by nothing) no discovery shows a temporary
    title, and the console window's handle is 0. A pseudo console starts with
    no title, so each run sets one first: a discovery by title would use it.
    The pty probe makes it and reads its stream, as a terminal does."""
    from wine import winpath
    shown = b"\x1b]0;"  # how a console title reaches the terminal

    def pty(args):
        tag = os.path.join(ctx.desk.work, f"p{time.monotonic_ns()}")
        with open(tag + ".cmd", "wb") as f:
            f.write(subprocess.list2cmdline([ctx.exe.decode()] + args).encode())
        probe = os.path.join(ctx.desk.session.state, "bin", "pty_probe.exe")
        ctx.desk.step = f"the pty probe with {args}"
        status, said = ctx.desk.session.wine_run(
            [probe, winpath(tag + ".cmd"), winpath(tag + ".out"), winpath(tag + ".stream")])
        if status != 0:
            raise RuntimeError(f"pty probe exited {status}: {said}")
        with open(tag + ".out", "rb") as f, open(tag + ".out.status") as st, \
                open(tag + ".stream", "rb") as s:
            return f.read(), int(st.read()), s.read()
    for args, want in ((["/tWork", "/c", "/i", "/x"], b"0hwnd console=0\r\nhwnd foreground="),
                       (["/tWork", "/c"], b"0"), (["/tWork", "/x"], b""),
                       (["/tWork", "/i"], b"hwnd console=0\r\nhwnd foreground=")):
        out, status, stream = pty(args)
        ctx.check(f"{args}: output", out[:len(want)] if want else out, want)
        ctx.ok(f"{args}: the stream carries the title", shown + b"Work\x07" in stream, stream)
        ctx.ok(f"{args}: never the temporary title", TEMP_TITLE not in stream, stream)
        ctx.check(f"{args}: exit status", status, 0)
    text = "\u0141\u00f3d\u017a caf\u00e9 \u65e5\u672c \U0001F600"
    out, status, stream = pty(["/t" + text])
    ctx.ok("/t as typed reaches the stream in UTF-8", shown + text.encode() + b"\x07" in stream,
           stream)
    return
    yield


TIMEOUTS.update(interrupt=420, concurrency=420, versions=300, unicode=300)
SKIPPED = 77


def groups():
    """Each group of the Wine cases, in the list's order: its name, whether
    it has cases for the release and for the test build, and its time-out."""
    seen = {}
    for c in CASES:
        if "wine" in c.backends:
            builds = seen.setdefault(c.group, set())
            builds.update(c.builds)
    return [(name, "release" in b, "noentry" in b, TIMEOUTS.get(name, TIMEOUT))
            for name, b in seen.items()]


def run_cases(ctx, cases, carry_out):
    """Each case in turn: its items carried out, then its checks."""
    for case in cases:
        gen = case(ctx)
        try:
            items = next(gen)
            while True:
                carry_out(items)
                for r in items:
                    if isinstance(r, Run):
                        checked_run(ctx, r)
                items = gen.send(None)
        except StopIteration:
            pass
        finally:
            ctx.desk.end_case()


class TimedOut(Exception):
    pass


def main():
    if sys.argv[1:] == ["--groups"]:
        for name, release, noentry, timeout in groups():
            print(name, int(release), int(noentry), timeout)
        return 0
    names = [g[0] for g in groups()]
    if len(sys.argv) not in (3, 4) or sys.argv[2] not in names or \
            sys.argv[3:] not in ([], ["noentry"]):
        sys.exit("usage: cases.py STATE_DIR {" + ",".join(names) + "} [noentry] | --groups")
    from wine import Desktop, Session, skipped
    state, group, noentry = sys.argv[1], sys.argv[2], sys.argv[3:] == ["noentry"]
    reason = skipped(state)
    if reason is not None:
        print("skipped: " + reason)
        return SKIPPED
    test = f"e2e_{'noentry_' if noentry else ''}{group}"
    report = Report(f"ctest --test-dir {shlex.quote(os.getcwd())} -R '^{test}$'")
    session = Session(state)
    desk = Desktop(session, tempfile.mkdtemp(dir=session.state, prefix=group + "."))
    ctx = Context(desk, noentry, report)
    build = "noentry" if noentry else "release"
    cases = [c for c in CASES if c.group == group and "wine" in c.backends and build in c.builds]
    limit = TIMEOUTS.get(group, TIMEOUT)

    def expire(*_):
        raise TimedOut()
    signal.signal(signal.SIGALRM, expire)
    signal.alarm(limit)
    try:
        run_cases(ctx, cases, lambda items: desk.carry_out(items, ctx.exe))
    except TimedOut:
        report.failures.append("time-out")
        print(f"FAIL {test} ran out of its {limit} s during: {desk.step}; ending everything"
              " it started, and the session's programs")
        session.kill_all()
    finally:
        signal.alarm(0)
        shutil.rmtree(desk.work, ignore_errors=True)
    return report.finish()


if __name__ == "__main__":
    sys.exit(main())
