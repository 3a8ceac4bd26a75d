#!/usr/bin/env python3
"""End-to-end cases: the Windows program in real console windows under Wine.

Usage: cases.py STATE_DIR GROUP [noentry]    (the session made by `wine.py start`)

With "noentry" the cases run the test build whose look-up of GetConsoleWindow
finds nothing, so that it finds the console's window by the temporary title,
as on Windows 95 to NT 4.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine import (SKIPPED, NotStarted, Session, pe_image, pe_machine, skipped,  # noqa: E402
                  tried_thrice, winpath)

TEMP_TITLE = b"{98C1C303-2A9E-11d4-9FF5-006067718D05}"
USAGE = (b"\r\nOstrivel v1.0\r\n"
         b"  usage:\r\n"
         b"    /t\"TitleCaptionText\" - set TITLE of active console\r\n"
         b"    /c - return HWND number of active Console\r\n"
         b"    /f - return HWND of Foreground window\r\n"
         b"    /i - return all Information (HWNDs of active console, active window, ...)\r\n"
         b"    /r - refresh fonts (announce all the application)\r\n"
         b"    /x - disable close button\r\n"
         b"\r\n")
# Arguments and the exact output they give, whatever the console.
CLI_CASES = [([], USAGE), (["/?"], USAGE), (["/q"], b"unknown option /q\r\n"),
             (["/"], b"unknown option /\r\n"), (["-"], b"unknown option -\r\n"),
             (["word", "C:file.txt", "c"], b""),
             (["-Q", "/?"], b"unknown option -Q\r\n" + USAGE)]
REFRESH = b"Refreshing fonts ... OK\r\n"
VERSION_INFO = (b"fixed file=1.0.0.0 product=1.0.0.0 type=1\n"
                b"FileDescription=Console window handle, title and Close button for batch files\n"
                b"FileVersion=1.0\n"
                b"InternalName=ostrivel\n"
                b"OriginalFilename=ostrivel.exe\n"
                b"ProductName=Ostrivel\n"
                b"ProductVersion=1.0\n")


def font_report(path, exists):
    """What /rPATH prints for a font file that exists or not."""
    return (b"Adding font " + path + b" ... Jmeno fontu " + path +
            b"\r\nExistuje ? %d\r\nOK\r\n" % exists + REFRESH)


session = None
work = None
noentry = False
passes = 0
failures = []


def shorten(value):
    text = repr(value)
    return text if len(text) <= 300 else f"{text[:200]}... ({len(text)} characters)"


def check(name, got, want):
    global passes
    if got == want:
        passes += 1
    else:
        failures.append(name)
        print(f"FAIL {name}\n  want: {shorten(want)}\n  got:  {shorten(got)}")


def ok(name, condition, detail=""):
    check(name + (f" ({detail})" if detail else ""), bool(condition), True)


def wfile(name):
    return winpath(os.path.join(work, name)).encode()


def program():
    name = "ostrivel_noentry.exe" if noentry else "ostrivel.exe"
    return winpath(os.path.join(session.state, "bin", name)).encode()


def cmdline(args):
    """ARGS (str) quoted as the C runtime splits them; bytes pass as they are."""
    if isinstance(args, bytes):
        return args
    return subprocess.list2cmdline(args).encode("latin-1")


def parse_probe(data):
    head, _, title = data.partition(b"\ntitle=")
    fields = dict(line.split(b"=", 1) for line in head.splitlines() if b"=" in line)
    return {"console": int(fields[b"console"]), "foreground": int(fields[b"foreground"]),
            "close": int(fields[b"close"]), "freekb": int(fields[b"freekb"]),
            "wtitle": bytes.fromhex(fields[b"wtitle"].decode()).decode("utf-16-be"),
            "caption": bytes.fromhex(fields[b"caption"].decode()).decode("utf-16-be"),
            "title": title}


def run(args, title=None, cwd=None, before=(), command=None, wide=False, nowindow=False,
        after=()):
    """Runs the program with ARGS in a new console window, in the directory
    CWD (a Windows path) when given; returns what it
    printed, its exit status and run time, and the probe's view before and
    after. COMMAND (bytes) replaces the whole command line; WIDE starts the
    program with a UTF-16 command line, ARGS being text; NOWINDOW starts it
    in a console of its own that has no window. BEFORE and AFTER are steps
    of the console probe's just before the first view and the second."""
    return tried_thrice(lambda: run_once(args, title, cwd, before, command, wide, nowindow,
                                         after))


def run_once(args, title, cwd, before, command, wide, nowindow, after):
    """run, once. Wine now and then gives the console no window: a probe sees
    none, and the title reads back empty."""
    tag = f"r{time.monotonic_ns()}"
    steps = []
    if title is not None:
        steps.append(b"title " + title)
    if cwd is not None:
        steps.append(b"cd " + cwd)
    steps += list(before)
    steps.append(b"probe " + wfile(tag + ".before"))
    if wide:
        command = (subprocess.list2cmdline([program().decode()] + args)).encode()
    elif command is None:
        command = program() + (b" " + cmdline(args) if args else b"")
    how = b"wrun " if wide else b"nwrun " if nowindow else b"run "
    steps.append(how + wfile(tag + ".out") + b" " + command)
    steps += list(after)
    steps.append(b"probe " + wfile(tag + ".after"))
    status = session.console(steps)
    if status != 0:
        raise RuntimeError(f"console probe exited {status}")

    def read(suffix):
        with open(os.path.join(work, tag + suffix), "rb") as f:
            return f.read()
    r = {"before": parse_probe(read(".before")), "after": parse_probe(read(".after"))}
    if r["before"]["console"] == 0 or r["after"]["console"] == 0:
        raise NotStarted("the console had no window when the probe looked")
    code, elapsed, end = read(".out.status").split()
    check(f"{shorten(args or command)[:60]}: nothing on standard error", read(".out.err"), b"")
    return dict(r, out=read(".out"), status=int(code), ms=int(elapsed), end=int(end))


def number(r):
    """The console's window as the probe read it before the run."""
    return str(r["before"]["console"]).encode()


def watch(args, times, title=b"Watched"):
    """Runs the program with ARGS TIMES times in one console while the console
    probe reads its title and caption; returns how often it read them and each
    title or caption it saw besides the ones before."""
    tag = f"w{time.monotonic_ns()}"
    status = session.console([b"title " + title, b"watch " + wfile(tag) + b" %d " % times +
                              program() + b" " + cmdline(args)], timeout=120 + times)
    if status != 0:
        raise RuntimeError(f"console probe exited {status}")
    with open(os.path.join(work, tag + ".watch"), "rb") as f:
        head, *seen = f.read().splitlines()
    return int(head.split(b"=")[1]), [bytes.fromhex(h.decode()).decode("utf-16-be") for h in seen]


def run_batch(line, title=b"old"):
    """Runs LINE from a batch file, which cmd reads in the console's code page."""
    batch = os.path.join(work, "line.cmd")
    with open(batch, "wb") as f:
        f.write(b"@" + line.encode("cp437") + b"\r\n")
    return run(None, title=title, command=b"cmd.exe /c " + winpath(batch).encode())


# --- groups ----------------------------------------------------------------

def group_cli():
    bins = os.path.join(session.state, "bin")
    width = pe_machine(os.path.join(bins, "ostrivel.exe"))
    print(f"program under test: {width}")
    ok("a Windows program", width in ("i386", "x86-64"), width)
    check("probes of the program's width", pe_machine(os.path.join(bins, "console_probe.exe")),
          width)
    for args, want in CLI_CASES:
        r = run(args, title=b"cli")
        check(f"output of {args}", r["out"], want)
        check(f"exit status of {args}", r["status"], 0)


def group_console():
    for title in [b"Plain title", b"  spaced   out  ", b"Caf\xe9 \xc0 \xdf \"q\" %s &|<>",
                  b"T" * 1999 + b"Z"]:
        r = run(["/c"], title=title)
        label = f"title of {len(title)} bytes {title[:20]!r}"
        check("console number: " + label, r["out"], str(r["before"]["console"]).encode())
        ok("console window exists: " + label, r["before"]["console"] != 0)
        check("title restored: " + label, r["after"]["title"], title)
        check("title before: " + label, r["before"]["title"], title)

    r = run(["/c", "/c"], title=b"twice")
    n = str(r["before"]["console"]).encode()
    check("/c /c run together", r["out"], n + n)
    r = run(["/c", "/f"], title=b"both")
    # The foreground window is whatever Wine says at the time; the probe
    # asks just before and after the run.
    fg = {str(r["before"]["foreground"]).encode(), str(r["after"]["foreground"]).encode()}
    c = str(r["before"]["console"]).encode()
    ok("/c /f: console then foreground", r["out"][:len(c)] == c and r["out"][len(c):] in fg,
       repr(r["out"]))


def group_title():
    r = run(b'/t"Some Title"', title=b"old")
    check('/t"Some Title" sets the title', r["after"]["title"], b"Some Title")
    check('/t"Some Title" is silent', r["out"], b"")
    r = run(["/tText with spaces"], title=b"old")
    check("/tText with spaces", r["after"]["title"], b"Text with spaces")
    r = run(["-TCaf\xe9 \xc0"], title=b"old")
    check("title with non-ASCII bytes, read in the ANSI page", r["after"]["wtitle"],
          "Caf\xe9 \xc0")
    # An empty title hides the console's window from the title discovery only.
    r = run(["/t", "/c"], title=b"old")
    check("/t then /c", r["out"], b"0" if noentry else number(r))
    check("/t empties the title", r["after"]["title"], b"")
    r = run(["/t", "/i"], title=b"old")
    check("/t then /i's console line", r["out"].split(b"\r\n")[0],
          b"hwnd console=" + (b"0" if noentry else number(r)))

    # Nothing else ever sees a temporary title, by a probe that reads the
    # console's title and caption throughout. The build that finds the window
    # by the title shows one: the probe must see it there.
    reads, seen = watch(["/c", "/i", "/x"], 3 if noentry else 100)
    print(f"{reads} reads of the title and caption, besides the user's saw {seen}")
    if noentry:
        ok("the watching probe sees the temporary title", TEMP_TITLE.decode() in seen, seen)
    else:
        check("100 runs of /c /i /x: title and caption never change", seen, [])


def close_window(log):
    """Closes a captioned window probe with WM_CLOSE, which it handles after
    every message sent or posted to it before; returns the ticks of the frame
    changes it logged."""
    ready = log[:-len(".log")] + ".ready"
    check("console probe", session.console([b"closewin " + winpath(ready).encode()]), 0)
    return log_ticks(log, b"frame")


def group_close():
    r = run(["/x"], title=b"Keep me")
    check("/x prints nothing", r["out"], b"")
    check("/x keeps the title", r["after"]["title"], b"Keep me")
    r = run(["/x", "/x", "/c"], title=b"Keep me too")
    check("/x /x /c prints the console number", r["out"], number(r))
    check("/x /x /c keeps the title", r["after"]["title"], b"Keep me too")

    # The user types into another program's window while a batch file runs
    # /x: its console stays behind, once the console's window has handled
    # all the program sent or posted to it.
    front, log = start_window()
    try:
        handle = window_handle(log)
        r = run(["/x"], title=b"Behind", after=[b"settle"],
                before=[b"front " + winpath(log[:-len(".log")] + ".ready").encode()])
        check("/x behind another window: it was in front", r["before"]["foreground"], handle)
        check("/x behind another window: it is still in front", r["after"]["foreground"], handle)
    finally:
        front.kill()
        front.wait()

    # Another window with the temporary title, above the console (a copy
    # killed while its title showed, any program). The window the system
    # names is the answer, and the other one's frame is never touched. The
    # title finds the other one: the limit of 95 to NT 4, which the build
    # without GetConsoleWindow shows. (Wine keeps menus per process, so no
    # program can remove another's Close here: only its frame tells.)
    other, log = start_window(caption=TEMP_TITLE.decode())
    try:
        handle = str(window_handle(log)).encode()
        print(f"the other window is {handle.decode()}")
        r = run(["/c"], title=b"Covered")
        check("other window above: /c", r["out"], handle if noentry else number(r))
        r = run(["/i"], title=b"Covered")
        check("other window above: /i's console line", r["out"].split(b"\r\n")[0],
              b"hwnd console=" + (handle if noentry else number(r)))
        r = run(["/x", "/c"], title=b"Covered")
        check("other window above: /x /c", r["out"], handle if noentry else number(r))
        check("other window above: title kept", r["after"]["title"], b"Covered")
        check("other window above: frame changes it had", len(close_window(log)),
              1 if noentry else 0)
    finally:
        other.kill()
        other.wait()

    # One whose thread does not answer: /x only posts the frame change, so
    # it cannot hang there. Killed after 60 s, it would free a /x that waits.
    hung, log = start_window(caption=TEMP_TITLE.decode(), hang=True)
    handle = str(window_handle(log)).encode()
    killed = []
    freed = threading.Timer(60, lambda: (killed.append(1), hung.kill()))
    freed.start()
    try:
        r = run(["/x", "/c"], title=b"Hung")
    finally:
        freed.cancel()
        hung.kill()
        hung.wait()
    ok("/x beside a window that does not answer: ended while it still hung", not killed,
       f"{r['ms']} ms")
    check("/x /c beside a window that does not answer", r["out"],
          handle if noentry else number(r))

    if noentry:
        return
    # A console started without a window (IDEs, CI agents, scheduled tasks),
    # here with a title of its own, beside a window with the temporary
    # title: no window is reported, and the other one is not touched.
    other, log = start_window(caption=TEMP_TITLE.decode())
    try:
        r = run(["/tBuild", "/c", "/i", "/x"], title=b"Outer", nowindow=True)
        ok("no console window: /c and /i report 0",
           r["out"].startswith(b"0hwnd console=0\r\nhwnd foreground="), r["out"])
        check("no console window: frame changes of the other window", close_window(log), [])
    finally:
        other.kill()
        other.wait()


def free_gb(path):
    st = os.statvfs(path)
    return st.f_bavail * st.f_frsize / 1073741824.0


def disk_lines(out):
    return re.findall(rb"Disk (.)=(-?[0-9]+\.[0-9]{6}) GB\r\n", out)


def group_info():
    drive_c = os.path.join(session.prefix, "drive_c")
    for where, cwd, drives in [("drive Z", wfile(""), [(b"Z", "/"), (b"C", drive_c)]),
                               ("drive C", b"C:\\", [(b"C", drive_c)])]:
        r = run(["/i"], title=b"info", cwd=cwd)
        lines = r["out"].split(b"\r\n")
        check(f"{where}: console line", lines[0],
              b"hwnd console=" + str(r["before"]["console"]).encode())
        fg = {r["before"]["foreground"], r["after"]["foreground"]}
        m = re.fullmatch(rb"hwnd foreground=([0-9]+)", lines[1])
        ok(f"{where}: foreground line", m and int(m.group(1)) in fg, lines[1])
        check(f"{where}: version line (Windows 7 by default)", lines[2], b"OS version=")
        found = disk_lines(r["out"])
        check(f"{where}: disk drives", [d for d, _ in found], [d for d, _ in drives])
        check(f"{where}: line count", len(lines), 3 + len(drives) + 1)
        for (letter, figure), (_, path) in zip(found, drives):
            want = free_gb(path)
            ok(f"{where}: Disk {letter.decode()} figure", abs(float(figure) - want) < 0.05,
               f"{figure.decode()} against {want:.6f}")
        check(f"{where}: title kept", r["after"]["title"], b"info")
    error_mode()


def own_calls(args):
    """The entries the program calls itself when run with ARGS, in order, as
    (name, arguments): the calls of Wine's relay trace that return into the
    program's image. A run with none is one Wine did not start."""
    exe = os.path.join(session.state, "bin", "ostrivel.exe")
    base, size = pe_image(exe)

    def traced():
        status, trace = session.wine_run([exe] + args, debug="+relay")
        calls = [(m.group(1), m.group(2)) for m in re.finditer(
            r"^[0-9a-f]+:Call [\w-]+\.(\w+)\((.*)\) ret=([0-9a-f]+)$", trace, re.M)
            if base <= int(m.group(3), 16) < base + size]
        if not calls:
            raise NotStarted(f"a traced run made no calls (exit {status})")
        return calls
    return tried_thrice(traced)


def error_mode():
    """Before anything else, the program tells the system to show no box for
    a drive without media (the "no disk" box that waits for a click), keeping
    what the mode it inherited holds. Wine shows no such box (nor does
    ReactOS, for its empty floppy and CD drives): the calls tell."""
    calls = own_calls(["/i"])
    names = [name for name, _ in calls]
    print("the program's first calls: " + ", ".join(f"{n}({a})" for n, a in calls[:4]))
    check("first calls: the error mode read, then set", names[:2], ["SetErrorMode"] * 2)
    ok("read with 0, then set with no critical-error and no open-file boxes",
       len(calls) > 1 and calls[0][1] == "00000000" and int(calls[1][1], 16) & 0x8001 == 0x8001,
       calls[:2])
    check("the error mode set once, never put back", names.count("SetErrorMode"), 2)


def group_rounding():
    """Figures go through msvcrt.dll's printf, which rounds a tie at the sixth
    decimal up (MinGW's and glibc's printf round it to even): drive D: on a
    file system with exactly 131 072 000 000 bytes free, 122.0703125 GB."""
    mount = os.path.join(work, "tie")
    os.mkdir(mount)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=131072000000", "tie", mount],
                      stderr=subprocess.DEVNULL).returncode != 0:
        print("skipped: no tmpfs can be mounted here (needs root)")
        sys.exit(SKIPPED)
    drive = os.path.join(session.prefix, "dosdevices", "d:")
    try:
        os.symlink(mount, drive)
        r = run(["/i"], title=b"tie", cwd=b"D:\\")
        check("a tie rounds up", disk_lines(r["out"])[0], (b"D", b"122.070313"))
    finally:
        if os.path.lexists(drive):
            os.unlink(drive)
        subprocess.run(["umount", mount])


VERSIONS = [("win95", b"Windows 95"), ("win98", b"Windows 98"), ("winme", b"Windows ME"),
            ("nt40", b"Windows NT"), ("win2k", b"Windows NT-2000"), ("winxp", b"Windows NT-XP"),
            ("win2003", b"Windows NT-Server 2003"), ("winxp64", b"Windows NT-XP"),
            ("vista", b""), ("win7", b""), ("win10", b"")]


def group_versions():
    font = os.path.join(work, "font.ttf")
    with open(font, "wb") as f:
        f.write(b"\0\1\0\0")
    try:
        for version, name in VERSIONS:
            session.set_version("ostrivel.exe", version)
            r = run(["/i"], title=b"v", cwd=b"C:\\")
            lines = r["out"].split(b"\r\n")
            check(f"{version}: name", lines[2], b"OS version=" + name)
            check(f"{version}: four lines on drive C", len(lines), 5)
            if version not in ("win95", "win98", "winme"):
                continue
            # The 9x family has no wide command line: the file is asked
            # through the 8-bit _stat, and the title widened from the ANSI page.
            for path, exists in ((winpath(font), 1), (winpath(font) + ".none", 0)):
                r = run(["/r" + path], title=b"v")
                check(f"{version}: /r on a file that {'exists' if exists else 'is missing'}",
                      r["out"], font_report(path.encode(), exists))
            r = run_batch(f'{program().decode()} /t"caf\u00e9"')
            check(f"{version}: batch file, /t'caf\u00e9'", r["after"]["wtitle"], "caf\u00e9")
            r = run(["/rC:\\nothere\\caf\u00e9.ttf"], title=b"v", before=[b"cp 437"])
            check(f"{version}: /r echoes its ANSI value in the console's page", r["out"],
                  font_report(b"C:\\nothere\\caf\x82.ttf", 0))
        session.set_version("ostrivel.exe", "win31")
        r = run(["/i"], title=b"v", cwd=b"C:\\")
        lines = r["out"].split(b"\r\n")
        check("win31: Win32s line between handles and name", lines[2:4],
              [b"Microsoft Win32s", b"OS version="])
    finally:
        session.set_version("ostrivel.exe", None)


def start_window(hang=False, slow_ms=None, caption=None):
    """A window probe of its own: one that stops pumping messages (HANG),
    takes SLOW_MS to answer each WM_FONTCHANGE, or is captioned CAPTION above
    all others; returns it and its log."""
    tag = f"w{time.monotonic_ns()}"
    log, ready = os.path.join(work, tag + ".log"), os.path.join(work, tag + ".ready")
    return session.window_probe(log, ready, (["caption", caption] if caption is not None else []) +
                                (["hang"] if hang else []) +
                                (["slow", str(slow_ms)] if slow_ms is not None else [])), log


def messages(log):
    return len(log_ticks(log, b"WM_FONTCHANGE"))


def window_handle(log):
    with open(log[:-len(".log")] + ".ready") as f:
        return int(f.read())


def logged(data, what):
    """The numbers after WHAT in the window probe's log lines WHAT: ticks, or
    for "close" the states of Close."""
    return [int(line.split()[1]) for line in data.splitlines() if line.startswith(what + b" ")]


def log_ticks(log, what):
    """logged of the log file LOG, which may not exist yet."""
    if not os.path.exists(log):
        return []
    with open(log, "rb") as f:
        return logged(f.read(), what)


# A window that has not asked for messages for this long is hung to the
# system. Under Wine, one that stopped 3.7 s before /r was still given the
# time-out, one that stopped 5 s before was skipped.
HUNG_AFTER_S = 5


def group_fonts():
    window, log = start_window()
    try:
        r = run(["/r"], title=b"fonts")
        check("/r output", r["out"], REFRESH)
        check("/r: one message", messages(log), 1)

        missing = "C:\\Windows\\Fonts\\no-such-font.ttf"
        r = run(["/r" + missing], title=b"fonts")
        check("/r missing font", r["out"], font_report(missing.encode(), 0))
        check("/r missing: two messages so far", messages(log), 2)

        font = os.path.join(work, "real font.ttf")
        with open(font, "wb") as f:
            f.write(b"\0\1\0\0")
        r = run(["/r" + winpath(font), "-R"], title=b"fonts")
        wf = winpath(font).encode()
        check("/r existing font, then -R", r["out"], font_report(wf, 1) + REFRESH)
        check("/r /R: four messages in all", messages(log), 4)
        check("/r keeps the title", r["after"]["title"], b"fonts")
    finally:
        window.kill()
        window.wait()

    # A window that takes a second to answer is waited for: /r ends after
    # the window returned. The ticks are one clock for the whole session.
    slow, slog = start_window(slow_ms=1000)
    try:
        r = run(["/r"], title=b"slow")
        check("/r past a slow window: output", r["out"], REFRESH)
        deadline = time.time() + 30
        while not log_ticks(slog, b"returned") and time.time() < deadline:
            time.sleep(0.1)
        received, returned = log_ticks(slog, b"WM_FONTCHANGE"), log_ticks(slog, b"returned")
        check("/r: the slow window received one message and answered it",
              (len(received), len(returned)), (1, 1))
        if received and returned:
            start = r["end"] - r["ms"]
            ok("/r: the slow window received the message while /r ran",
               start <= received[0] <= r["end"], f"/r from {start} to {r['end']}, "
               f"received at {received[0]}")
            ok("/r ends only after the slow window answered", returned[0] <= r["end"],
               f"answered at {returned[0]}, /r ended at {r['end']}")
    finally:
        slow.kill()
        slow.wait()

    # Hung to the system before /r starts, the window is skipped at once,
    # not given the 5 s time-out: /r takes less than 4 s more than a
    # start that does nothing, timed just before, takes (the run times count
    # the start of a process, which under load alone can take seconds).
    hung, hlog = start_window(hang=True)
    try:
        time.sleep(HUNG_AFTER_S + 1)
        start = run(["word"], title=b"hung")
        r = run(["/r"], title=b"hung")
        check("/r past a hung window: output", r["out"], REFRESH)
        check("/r past a hung window: status", r["status"], 0)
        ok("/r past a hung window ends well inside its 5 s time-out",
           r["ms"] - start["ms"] < 4000, f"{r['ms']} ms, a start {start['ms']} ms")
        print(f"/r past a hung window took {r['ms']} ms, a start that does nothing"
              f" {start['ms']} ms")
        check("the hung window got nothing", messages(hlog), 0)
    finally:
        hung.kill()
        hung.wait()


def group_wildcards():
    """Arguments reach the program as typed: nothing is expanded."""
    d = tempfile.mkdtemp(dir=work)
    for name in ["a1.txt", "a2.txt", "notes.txt", "-q.dat"]:
        open(os.path.join(d, name), "wb").close()
    r = run(b"*.txt a?.txt", title=b"glob", cwd=winpath(d).encode())
    check("patterns without a prefix print nothing", r["out"], b"")
    # Expanded, the pattern would be the name that looks like an option.
    r = run(b"-*.dat /zz*.q", title=b"glob", cwd=winpath(d).encode())
    check("patterns are options as typed", r["out"],
          b"unknown option -*.dat\r\nunknown option /zz*.q\r\n")
    r = run(["/t\u0141\u00f3d\u017a", "*.txt"], title=b"glob", cwd=winpath(d).encode(),
            wide=True)
    check("UTF-16 command line: /t'\u0141\u00f3d\u017a' beside a pattern",
          r["after"]["wtitle"], "\u0141\u00f3d\u017a")
    shutil.rmtree(d)

    # "/?" would be "\?": every one-letter name in the root of the drive.
    root = os.path.join(session.prefix, "drive_c")
    for name in ("T", "X"):
        os.mkdir(os.path.join(root, name))
    try:
        r = run(["/?", "/c"], title=b"Kept", cwd=b"C:\\")
        check("/? beside C:\\T and C:\\X prints the usage", r["out"],
              USAGE + str(r["before"]["console"]).encode())
        check("/? beside C:\\T and C:\\X keeps the title", r["after"]["title"], b"Kept")
        r = run(["/t*"], title=b"old", cwd=b"C:\\")
        check("/t* sets the title *", r["after"]["title"], b"*")
    finally:
        for name in ("T", "X"):
            os.rmdir(os.path.join(root, name))


def start_pair(i, reps):
    """The two consoles of pair I, each ready and waiting for the file GO. A
    pair in which Wine did not start both within 60 s is started again, under
    new names."""
    def start():
        attempt = time.monotonic_ns()
        go = os.path.join(work, f"go{i}.{attempt}")
        started, tags = [], []
        for side in (b"a", b"b"):
            tag = f"c{i}{side.decode()}{attempt}"
            tags.append(tag)
            started.append(session.console_start([
                b"title pair %d side %s" % (i, side),
                b"probe " + wfile(tag + ".before"),
                b"waitfile " + winpath(go).encode(),
                b"run " + wfile(tag + ".out") + b" " + program() + b" /c" * reps,
                b"probe " + wfile(tag + ".after")]))
        deadline = time.time() + 60
        while time.time() < deadline:
            if all(os.path.exists(os.path.join(work, t + ".before")) for t in tags):
                return started, tags, go
            time.sleep(0.01)
        for p, _ in started:
            p.kill()
        raise NotStarted(f"pair {i}: Wine did not start both consoles")
    return tried_thrice(start)


def group_concurrency(pairs=20, reps=5):
    """Pairs of consoles discovering at the same moment never cross (the
    build without GetConsoleWindow: the release's answer is the system's)."""
    crossed = 0
    for i in range(pairs):
        started, tags, go = start_pair(i, reps)
        open(go, "wb").close()  # both go at once
        for st in started:
            session.console_wait(st)
        windows = []
        for tag, side in zip(tags, (b"a", b"b")):
            with open(os.path.join(work, tag + ".out"), "rb") as f:
                out = f.read()
            with open(os.path.join(work, tag + ".before"), "rb") as f:
                before = parse_probe(f.read())
            with open(os.path.join(work, tag + ".after"), "rb") as f:
                after = parse_probe(f.read())
            windows.append(before["console"])
            if out != str(before["console"]).encode() * reps:
                crossed += 1
                print(f"pair {i} side {side.decode()}: printed {out!r}, "
                      f"its console is {before['console']}")
            check(f"pair {i} side {side.decode()}: title kept", after["title"],
                  b"pair %d side %s" % (i, side))
        ok(f"pair {i}: two different consoles", windows[0] != windows[1], windows)
    print(f"{pairs} pairs, {2 * pairs * reps} discoveries, {crossed} crossed")
    check("crossed results", crossed, 0)


def interrupted(tag):
    """What the interrupt step TAG left: the output, its status fields, and
    the probe's view after it."""
    with open(os.path.join(work, tag), "rb") as f:
        out = f.read()
    with open(os.path.join(work, tag + ".status"), "rb") as f:
        fields = dict(field.split(b"=") for field in f.read().split())
    with open(os.path.join(work, tag + ".after"), "rb") as f:
        after = parse_probe(f.read())
    return out, {k.decode(): int(v) for k, v in fields.items()}, after


def group_interrupt(tries=20, discoveries=40):
    """Ctrl+C while the temporary title is shown (the build without
    GetConsoleWindow): the title is back first, then the program ends.
    Ctrl+C while /r waits for a window ends the program there."""
    if noentry:
        interrupt_title(tries, discoveries)
    interrupt_broadcast()


def interrupt_title(tries, discoveries):
    steps = []
    for i in range(tries):
        steps += [b"title User title %d" % i,
                  b"interrupt " + wfile(f"i{i}") + b" c title " + program() +
                  b" /c" * discoveries,
                  b"probe " + wfile(f"i{i}.after")]
    check("console probe", session.console(steps, timeout=600), 0)
    hit = 0
    for i in range(tries):
        out, result, after = interrupted(f"i{i}")
        hit += result["sent"]
        check(f"try {i}: interrupted during the temporary title", result["sent"], 1)
        check(f"try {i}: title back", after["title"], b"User title %d" % i)
        # Wine's default action ends the process with status 0, not Windows'
        # STATUS_CONTROL_C_EXIT, so the output shows that it ended early.
        n = str(after["console"]).encode()
        ok(f"try {i}: ended before its last discovery",
           out == n * (len(out) // len(n)) and len(out) < len(n) * discoveries, out[:80])
    print(f"{tries} interruptions tried, {hit} sent while the temporary title was shown")


def interrupt_broadcast():
    """The window would answer within the broadcast's 5 s time-out, so a
    program that went on would wait for it. /c first: where the program finds
    the window by the title, its console control handler is put in place at
    its first discovery, and a handler that swallowed the event would show."""
    window, log = start_window(slow_ms=4000)
    try:
        check("console probe", session.console([
            b"title Waiting", b"interrupt " + wfile("slow") + b" c " + winpath(log).encode() +
            b" " + program() + b" /c /r", b"probe " + wfile("slow.after")]), 0)
        out, result, after = interrupted("slow")
        check("Ctrl+C during the broadcast: sent once the window had the message",
              result["sent"], 1)
        check("Ctrl+C during the broadcast: output stops before OK", out,
              str(after["console"]).encode() + b"Refreshing fonts ... ")
        deadline = time.time() + 30
        while not log_ticks(log, b"returned") and time.time() < deadline:
            time.sleep(0.1)
        answered = log_ticks(log, b"returned")
        ok("Ctrl+C during the broadcast: ended before the window answered",
           answered and all(t > result["end"] for t in answered), f"answered at {answered}, "
           f"ended at {result['end']}")
        check("Ctrl+C during the broadcast: title kept", after["title"], b"Waiting")
    finally:
        window.kill()
        window.wait()


def group_hostile():
    long_value = bytes((0x41 + i % 26) for i in range(32000))
    r = run(b"/t" + long_value, title=b"old")
    check("32000-byte title set whole", r["after"]["title"], long_value)
    r = run(b"/r" + long_value, title=b"fonts")
    check("32000-byte font value reported whole", r["out"], font_report(long_value, 0))

    control = "".join(chr(c) for c in range(1, 32) if c not in (9, 10, 13, 32))
    r = run(["/t" + control + "\x7f\x80\xff end"], title=b"old")
    check("control characters and high bytes in a title, read in the ANSI page",
          r["after"]["wtitle"], (control + "\x7f\x80\xff end").encode("latin-1").decode("cp1252"))
    # Echoed in the console's page, the ANSI page's high bytes included:
    # "\xe7" and "\xff" are c cedilla and y diaeresis, 0x87 and 0x98 in 437.
    r = run(["/\x01", "-\xe7", "/\x7f", "\x1b[2J", "/r\x1b[2J\xff"], title=b"old",
            before=[b"cp 437"])
    check("control characters and high bytes as options", r["out"],
          b"unknown option /\x01\r\nunknown option -\x87\r\nunknown option /\x7f\r\n" +
          font_report(b"\x1b[2J\x98", 0))

    # The largest title a Windows console holds comes back whole. Wine takes
    # longer ones, which the title discovery cannot save whole and so leaves
    # alone, finding nothing.
    for size in (65535, 70000):
        title = bytes((0x61 + i % 26) for i in range(size))
        r = run(["/c"], title=title)
        check(f"{size}-byte title kept", r["after"]["title"], title)
        check(f"{size}-byte title: console number", r["out"],
              b"0" if noentry and size > 65535 else number(r))


# Characters outside every 8-bit code page, and one beyond the BMP.
UNICODE_TITLE = "Build \u20ac \u263a \u0416\u0438\u0437 \u65e5\u672c caf\u00e9 \U0001F600"


def utf16_units(text):
    return len(text.encode("utf-16-le")) // 2


def unicode_title(units):
    """UNICODE_TITLE repeated to UNITS UTF-16 units, ending in "!"."""
    text = ""
    while utf16_units(text) < units - 1:
        text += UNICODE_TITLE[len(text) % len(UNICODE_TITLE)]
    text = text if utf16_units(text) == units - 1 else text[:-1] + "x"
    return text + "!"


def group_unicode():
    """Titles set through the wide entry come back unit for unit."""
    for args in (["/c"], ["/x"], ["/i"], ["/c", "/x", "/i", "/c"]):
        r = run(args, before=[b"utitle " + UNICODE_TITLE.encode()])
        check(f"{args}: title before", r["before"]["wtitle"], UNICODE_TITLE)
        check(f"{args}: same UTF-16 title after", r["after"]["wtitle"], UNICODE_TITLE)
        n = str(r["before"]["console"]).encode()
        if args == ["/c"]:
            check("/c finds the console under a Unicode title", r["out"], n)
        if args[0] == "/i":
            ok("/i reports the console", r["out"].startswith(b"hwnd console=" + n + b"\r\n"),
               r["out"][:40])
        if len(args) > 1:
            ok("/c /x /i /c: console number first and last",
               r["out"].startswith(n + b"hwnd console=" + n) and r["out"].endswith(n), r["out"])

    r = run(["/tplain title"], before=[b"utitle " + UNICODE_TITLE.encode()])
    check("/t replaces a Unicode title", r["after"]["wtitle"], "plain title")

    # Around the title discovery's read sizes, to the longest title a console
    # holds; Wine takes longer ones, which the discovery leaves alone. The
    # release reads no title: past the sizes is enough there.
    sizes = (255, 256, 510, 511, 512, 513, 24499, 24500, 24501) if noentry else ()
    for units in sizes + (65535, 65536, 70000):
        title = unicode_title(units)
        r = run(["/c"], before=[b"utitle " + title.encode()])
        check(f"{units}-unit title: set", utf16_units(r["before"]["wtitle"]), units)
        check(f"{units}-unit title: kept", r["after"]["wtitle"], title)
        check(f"{units}-unit title: console number", r["out"],
              b"0" if noentry and units > 65535 else number(r))


def group_typed():
    """Option values as typed: from a batch file that cmd reads in the console's
    code page, and from a UTF-16 command line."""
    for text in ("caf\u00e9", "\u00dcbersicht"):
        for line, who in ((f"title {text}", "cmd's title"),
                          (f'{program().decode()} /t"{text}"', "/t")):
            r = run_batch(line)
            check(f"batch file, {who} {text!r}", r["after"]["wtitle"], text)

    for text in ("caf\u00e9", "\u0141\u00f3d\u017a \u0159", "\u0421\u0431\u043e\u0440\u043a\u0430",
                 "\u65e5\u672c\u8a9e", "smile \U0001F600", UNICODE_TITLE):
        r = run(["/t" + text, "/c"], title=b"old", wide=True)
        check(f"UTF-16 command line: /t{text!r}", r["after"]["wtitle"], text)
        check(f"UTF-16 command line: /t{text!r} /c finds the console", r["out"],
              str(r["before"]["console"]).encode())
    r = run(["/t"], before=[b"utitle " + UNICODE_TITLE.encode()], wide=True)
    check("/t alone empties the title", r["after"]["wtitle"], "")

    # Looked up as typed, echoed in the console's page: 437 has no Cyrillic,
    # CJK, "\u0141" or "\u017a", only "\u00f3" (0xA2).
    for name, shown in (("\u0448\u0440\u0438\u0444\u0442 \u65e5\u672c.ttf", b"????? ??.ttf"),
                        ("\u0141\u00f3d\u017a \u65e5\u672c.ttf", b"?\xa2d? ??.ttf")):
        path = os.path.join(work, name)
        for exists in (True, False):
            if exists:
                open(path, "wb").close()
            r = run(["/r" + winpath(path)], title=b"fonts", wide=True, before=[b"cp 437"])
            check(f"/r {name!r}, {'there' if exists else 'missing'}", r["out"],
                  font_report(winpath(work).encode() + b"\\" + shown, int(exists)))
            if exists:
                os.unlink(path)

    # Echoed as typed, in the console's output code page, from the published
    # tables: "\u00e9" 0x82 and "\u00f3" 0xA2 in 437 and 850, "\u00d8" 0x9D in
    # 850 only; neither has "\u0141" or "\u017a".
    value = "C:\\nothere\\caf\u00e9 \u0141\u00f3d\u017a \u00d8.ttf"
    for page, path, option in (
            (437, b"C:\\nothere\\caf\x82 ?\xa2d? ?.ttf", b"/\x82"),
            (850, b"C:\\nothere\\caf\x82 ?\xa2d? \x9d.ttf", b"/\x82"),
            (65001, b"C:\\nothere\\caf\xc3\xa9 \xc5\x81\xc3\xb3d\xc5\xba \xc3\x98.ttf",
             b"/\xc3\xa9")):
        r = run(["/r" + value, "/\u00e9"], title=b"echo", wide=True, before=[b"cp %d" % page])
        check(f"echoes in code page {page}", r["out"],
              font_report(path, 0) + b"unknown option " + option + b"\r\n")


def group_resource():
    """The version resource, read as Explorer's Details tab and PowerShell do."""
    out = os.path.join(work, "verinfo")
    check("console probe", session.console([b"verinfo " + winpath(out).encode() + b" " +
                                            program()]), 0)
    with open(out, "rb") as f:
        info = f.read()
    print(info.decode("latin-1"))
    check("version resource", info, VERSION_INFO)


def pty(args):
    """Runs the program with ARGS (text) on a UTF-16 command line in a pseudo
    console that the pty probe makes and reads, as a terminal does; returns
    what it printed, its exit status and the pseudo console's stream."""
    tag = f"p{time.monotonic_ns()}"
    cmd, out, stream = (os.path.join(work, tag + suffix) for suffix in (".cmd", ".out", ".stream"))
    with open(cmd, "wb") as f:
        f.write(subprocess.list2cmdline([program().decode()] + args).encode())
    probe = os.path.join(session.state, "bin", "pty_probe.exe")
    status, said = session.wine_run([probe, winpath(cmd), winpath(out), winpath(stream)])
    if status != 0:
        raise RuntimeError(f"pty probe exited {status}: {said}")
    with open(out, "rb") as f, open(out + ".status") as st, open(stream, "rb") as s:
        return {"out": f.read(), "status": int(st.read()), "stream": s.read()}


def group_pseudo():
    """Under a pseudo console (Wine's: the stand-in the system names is a
    message-only window, owned by nothing) no discovery shows a temporary
    title, and the console window's handle is 0. A pseudo console starts with
    no title, so each run sets one first: a discovery by title would use it."""
    shown = b"\x1b]0;"  # how a console title reaches the terminal
    for args, want in ((["/tWork", "/c", "/i", "/x"], b"0hwnd console=0\r\nhwnd foreground="),
                       (["/tWork", "/c"], b"0"), (["/tWork", "/x"], b""),
                       (["/tWork", "/i"], b"hwnd console=0\r\nhwnd foreground=")):
        r = pty(args)
        check(f"{args}: output", r["out"][:len(want)] if want else r["out"], want)
        ok(f"{args}: the stream carries the title", shown + b"Work\x07" in r["stream"], r["stream"])
        ok(f"{args}: never the temporary title", TEMP_TITLE not in r["stream"], r["stream"])
        check(f"{args}: exit status", r["status"], 0)
    text = "\u0141\u00f3d\u017a caf\u00e9 \u65e5\u672c \U0001F600"
    r = pty(["/t" + text])
    ok("/t as typed reaches the stream in UTF-8", shown + text.encode() + b"\x07" in r["stream"],
       r["stream"])


GROUPS = {name[len("group_"):]: f for name, f in globals().items()
          if name.startswith("group_")}


def main():
    global session, work
    global noentry
    if len(sys.argv) not in (3, 4) or sys.argv[2] not in GROUPS or sys.argv[3:] not in ([], ["noentry"]):
        sys.exit("usage: cases.py STATE_DIR {" + ",".join(GROUPS) + "} [noentry]")
    noentry = sys.argv[3:] == ["noentry"]
    reason = skipped(sys.argv[1])
    if reason is not None:
        print("skipped: " + reason)
        sys.exit(SKIPPED)
    session = Session(sys.argv[1])
    work = tempfile.mkdtemp(dir=session.state, prefix=sys.argv[2] + ".")
    try:
        GROUPS[sys.argv[2]]()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"{passes} passed, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
