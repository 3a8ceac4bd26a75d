#!/usr/bin/env python3
"""The end-to-end cases on ReactOS, an implementation of Windows Server 2003
of its own (kernel, console server, kernel32, user32), booted from its live
CD in QEMU:

    reactos.py WORK_DIR SHARED_DIR OSTRIVEL NOENTRY CONSOLE_PROBE WINDOW_PROBE

NOENTRY is the test build that finds the console's window by the title, as
on 95 to NT 4; some cases run it too.

The live CD runs C:\\run.cmd from the first disk at logon. Where the Wine
harness drives a console step by step, here one script of the console probe
holds every step of every case; after each run the probe sends what it left
to COM2, which QEMU writes to a file, and the cases are checked once the
script has ended. The CD image is unpacked into WORK_DIR once.
"""
import lzma
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cases  # noqa: E402
from cases import REFRESH, TEMP_TITLE, UNICODE_TITLE, USAGE, check, number, ok  # noqa: E402

# Seconds from QEMU's start to the last result, and to the boot loader's
# first output (about 60 s and 5 s on an idle machine), for a loaded one.
BOOT_LIMIT = 600
LOADER_LIMIT = 120
PORT = b"\\\\.\\COM2"
SCRIPT = b"C:\\steps"
PROGRAM, NOENTRY = b"C:\\ostrivel.exe", b"C:\\noentry.exe"


def die(message):
    sys.stderr.write("reactos harness: " + message + "\n")
    sys.exit(2)


def unpack_cd(shared, work):
    """The live CD, unpacked once per work directory (kept while the
    packed one is unchanged)."""
    packed = os.path.join(shared, "reactos", "livecd.iso.xz")
    if not os.path.exists(packed):
        die(f"{packed} is missing: the clone needs a copy of shared/ beside it")
    iso, stamp = os.path.join(work, "livecd.iso"), os.path.join(work, "livecd.stamp")
    st = os.stat(packed)
    want = f"{st.st_size} {st.st_mtime_ns}\n"
    if os.path.exists(iso) and os.path.exists(stamp) and open(stamp).read() == want:
        return iso
    with lzma.open(packed) as src, open(iso + ".part", "wb") as dst:
        shutil.copyfileobj(src, dst, 1 << 20)
    os.replace(iso + ".part", iso)
    with open(stamp, "w") as f:
        f.write(want)
    return iso


def make_disk(path, files, dirs):
    """A 64 MB disk with one FAT16 partition from 1 MiB holding FILES (guest
    name: bytes or host path) and empty DIRS."""
    with open(path, "wb") as f:
        f.truncate(64 << 20)
    # Names in UTF-8 become long names in UTF-16.
    tools = dict(stdout=subprocess.DEVNULL, check=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    subprocess.run(["sfdisk", "-q", path], input=b"start=2048, type=6\n", **tools)
    subprocess.run(["mkfs.fat", "-F", "16", "--offset", "2048", "-n", "OSTRIVEL", path,
                    str((63 << 20) // 1024)], **tools)
    image = path + "@@1M"
    for d in dirs:
        subprocess.run(["mmd", "-i", image, "::/" + d], **tools)
    with tempfile.TemporaryDirectory() as tmp:
        for name, content in files.items():
            src = content
            if isinstance(content, bytes):
                src = os.path.join(tmp, os.path.basename(name))
                with open(src, "wb") as f:
                    f.write(content)
            subprocess.run(["mcopy", "-i", image, src, "::/" + name], **tools)


def boot(work, iso, disk, last):
    """Boots the CD with DISK until COM2 carries the record LAST; returns
    what came through COM2. Fails with what went wrong otherwise."""
    com1, com2 = os.path.join(work, "com1.log"), os.path.join(work, "com2.log")
    for f in (com1, com2):
        if os.path.exists(f):
            os.unlink(f)
    sockdir = tempfile.mkdtemp(prefix="ostrivel-qemu.")  # socket paths are short
    monitor = os.path.join(sockdir, "monitor")
    with open(os.path.join(work, "qemu.log"), "wb") as log:
        qemu = subprocess.Popen(
            ["qemu-system-i386", "-accel", "tcg", "-cpu", "pentium3", "-m", "512",
             "-cdrom", iso, "-drive", f"file={disk},format=raw,if=ide,index=0", "-boot", "d",
             "-display", "none", "-serial", "file:" + com1, "-serial", "file:" + com2,
             "-monitor", f"unix:{monitor},server,nowait", "-no-reboot"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
    start = time.monotonic()
    mon = None
    try:
        while mon is None:
            if qemu.poll() is not None or time.monotonic() - start > 30:
                break
            try:
                mon = socket.socket(socket.AF_UNIX)
                mon.connect(monitor)
            except OSError:
                mon = None
                time.sleep(0.1)
        # With a partitioned disk the CD's boot sector waits for a key: sent
        # until the boot loader it starts writes to COM1.
        while mon is not None and time.monotonic() - start < LOADER_LIMIT:
            if os.path.exists(com1) and os.path.getsize(com1) > 0:
                break
            mon.sendall(b"sendkey ret\n")
            time.sleep(0.5)
        data = b""
        while qemu.poll() is None and time.monotonic() - start < BOOT_LIMIT:
            if os.path.exists(com2):
                with open(com2, "rb") as f:
                    data = f.read()
                if last in data:
                    break
            time.sleep(0.5)
        elapsed = time.monotonic() - start
        if last in data:
            print(f"ReactOS ran the script in {elapsed:.0f} s after QEMU started")
            return data
    finally:
        if mon is not None:
            try:
                mon.sendall(b"quit\n")
            except OSError:
                pass
        try:
            qemu.wait(10)
        except subprocess.TimeoutExpired:
            qemu.kill()
            qemu.wait()
        if mon is not None:
            mon.close()
        shutil.rmtree(sockdir, ignore_errors=True)

    kernel = open(com1, "rb").read() if os.path.exists(com1) else b""
    stop = re.search(rb"\*\*\* (?:Fatal System Error|STOP): (0x[0-9A-Fa-f]+)", kernel)
    if stop:
        why = "the kernel stopped with error " + stop.group(1).decode()
    elif qemu.returncode not in (0, None) and elapsed < BOOT_LIMIT:
        why = f"QEMU ended with status {qemu.returncode} (see {work}/qemu.log)"
    elif not data:
        why = f"no results on COM2 within {BOOT_LIMIT} s (did C:\\run.cmd run?)"
    else:
        why = f"the results on COM2 stopped after {len(data)} bytes, within {BOOT_LIMIT} s"
    die(f"{why}; the kernel's log is {com1}")


def records(data):
    """COM2's records, FILE SIZE then SIZE bytes, by file name; a name sent
    again gets "#2", "#3"... None: the file could not be read."""
    found = {}
    at = 0
    while at < len(data):
        end = data.index(b"\n", at)
        name, size = data[at:end].rsplit(b" ", 1)
        size = int(size)
        key, n = name, 1
        while key in found:
            n += 1
            key = name + b"#%d" % n
        found[key] = data[end + 1:end + 1 + size] if size >= 0 else None
        at = end + 1 + max(size, 0)
    return found


class Batch:
    """The steps of one script, and the checks to make on what they send
    back: run() stands for cases.run, case() names a check and the runs or
    files it needs."""

    def __init__(self):
        self.steps = [b"cd C:\\"]
        self.runs = 0
        self.plan = []
        self.files = {}  # more files for the disk

    def send(self, path):
        self.steps.append(b"send " + PORT + b" " + path)

    def run(self, args, title=None, before=(), cwd=None, command=None, wide=False,
            exe=PROGRAM, after=()):
        self.runs += 1
        tag = b"C:\\r\\%d" % self.runs
        if title is not None:
            self.steps.append(b"title " + title)
        if cwd is not None:
            self.steps.append(b"cd " + cwd)
        self.steps += list(before)
        if wide:
            command = subprocess.list2cmdline([exe.decode()] + args).encode()
        elif command is None:
            command = exe + (b" " + cases.cmdline(args) if args else b"")
        self.steps += [b"probe " + tag + b".b",
                       (b"wrun " if wide else b"run ") + tag + b".o " + command,
                       *after, b"probe " + tag + b".a"]
        if cwd is not None:
            self.steps.append(b"cd C:\\")
        for suffix in (b".b", b".o", b".o.status", b".o.err", b".a"):
            self.send(tag + suffix)
        return tag

    def case(self, f, *tags):
        self.plan.append((f, tags))

    def check(self, got):
        for f, tags in self.plan:
            values = []
            for t in tags:
                if t + b".b" not in got:
                    values.append(got[t])
                    continue
                code, elapsed = got[t + b".o.status"].split()[:2]
                check(f"{t.decode()}: nothing on standard error", got[t + b".o.err"], b"")
                values.append({"out": got[t + b".o"], "status": int(code), "ms": int(elapsed),
                               "before": cases.parse_probe(got[t + b".b"]),
                               "after": cases.parse_probe(got[t + b".a"])})
            f(*values)


def plan(b):
    """The cases, in the order the console goes through them."""
    for args, want in cases.CLI_CASES:
        b.case(lambda r, args=args, want=want: (
            check(f"output of {args}", r["out"], want),
            check(f"exit status of {args}", r["status"], 0)), b.run(args, title=b"cli"))

    def console(r, title):
        label = f"title of {len(title)} bytes {title[:20]!r}"
        check("console number: " + label, r["out"], number(r))
        ok("console window exists: " + label, r["before"]["console"] != 0)
        check("title before: " + label, r["before"]["title"], title)
        check("title restored: " + label, r["after"]["title"], title)
    for title in [b"Plain title", b"  spaced   out  ", b"Caf\xe9 \"q\" %s &|<>",
                  b"T" * 1999 + b"Z"]:
        b.case(lambda r, title=title: console(r, title), b.run(["/c"], title=title))

    def console_foreground(r):
        fg = {str(r["before"]["foreground"]).encode(), str(r["after"]["foreground"]).encode()}
        c = number(r)
        ok("/c /f: console then foreground", r["out"][:len(c)] == c and r["out"][len(c):] in fg,
           repr(r["out"]))
    b.case(console_foreground, b.run(["/c", "/f"], title=b"both"))

    b.case(lambda r: (check('/t"Some Title" sets the title', r["after"]["title"], b"Some Title"),
                      check('/t"Some Title" is silent', r["out"], b"")),
           b.run(b'/t"Some Title"', title=b"old"))
    b.case(lambda r: (check("/t then /c", r["out"], number(r)),
                      check("/t empties the title", r["after"]["title"], b"")),
           b.run(["/t", "/c"], title=b"old"))

    def unicode(r, title, noentry):
        units = cases.utf16_units(title)
        label = f"{'title discovery: ' if noentry else ''}{units}-unit title"
        check(f"{label}: set", cases.utf16_units(r["before"]["wtitle"]), units)
        check(f"{label}: kept", r["after"]["wtitle"], title)
        # 24 500 units is the largest read this console answers; a title of
        # 24 499 fills it, may be cut, and so the title discovery leaves it.
        check(f"{label}: console number", r["out"],
              number(r) if units <= 24498 or not noentry else b"0")
    for title in [UNICODE_TITLE] + [cases.unicode_title(n) for n in
                                    (255, 256, 510, 511, 512, 513, 24498, 24499)]:
        b.case(lambda r, title=title: unicode(r, title, False),
               b.run(["/c"], before=[b"utitle " + title.encode()]))

    def info(r):
        lines = r["out"].split(b"\r\n")
        check("/i: console line", lines[0], b"hwnd console=" + number(r))
        fg = {r["before"]["foreground"], r["after"]["foreground"]}
        m = re.fullmatch(rb"hwnd foreground=([0-9]+)", lines[1])
        ok("/i: foreground line", m and int(m.group(1)) in fg, lines[1])
        check("/i: version line", lines[2], b"OS version=Windows NT-Server 2003")
        # Between the free space the probe saw just after and just before.
        m = re.fullmatch(rb"Disk C=([0-9]+\.[0-9]{6}) GB", lines[3])
        low, high = (r[k]["freekb"] / 1048576 for k in ("after", "before"))
        ok("/i: Disk C figure", m and low - 1e-6 <= float(m.group(1)) <= high + 2e-6,
           f"{lines[3]!r} against {low:.6f} to {high:.6f}")
        check("/i: line count", len(lines), 5)
        check("/i: title kept", r["after"]["title"], b"info")
        sys.stdout.write("/i printed:\n" + r["out"].decode("latin-1").replace("\r\n", "\n"))
    b.case(info, b.run(["/i"], title=b"info"))

    # Close goes from the console's window, whatever its title; the system
    # menu is put back after each case. Another window with the temporary
    # title above the console (a copy killed while its title showed, any
    # program) is never the answer, and keeps its own Close, as it reads it
    # when it closes, after all that was sent to it.
    def close(r, args, title, out, after=-1):
        check(f"{args}: Close before", r["before"]["close"], 4096)
        check(f"{args}: Close after", r["after"]["close"], after)
        check(f"{args}: title after", r["after"]["title"], title)
        check(f"{args}: output", r["out"], out)
    for args, title in ((["/t", "/x"], b""), (["/x", "/x", "/c"], b"Keep me")):
        r = b.run(args, title=b"Keep me")
        b.steps.append(b"resetmenu")
        b.case(lambda r, args=args, title=title: close(
            r, args, title, number(r) if args[-1] == "/c" else b""), r)

    def other_window(tag):
        """Steps that start a window probe captioned with the temporary title."""
        b.steps += [b"run C:\\r\\%s.o cmd.exe /c start /b C:\\window.exe C:\\r\\%s.log "
                    b"C:\\r\\%s.rdy caption " % (tag, tag, tag) + TEMP_TITLE,
                    b"waitfile C:\\r\\%s.rdy" % tag]
        b.send(b"C:\\r\\%s.rdy" % tag)
        return b"C:\\r\\%s.rdy" % tag

    def closed(tag):
        """Steps that close it, and what its log will say."""
        b.steps.append(b"closewin C:\\r\\%s.rdy" % tag)
        b.send(b"C:\\r\\%s.log" % tag)
        return b"C:\\r\\%s.log" % tag

    other_window(b"o")
    b.case(lambda r: check("other window above: /c", r["out"], number(r)),
           b.run(["/c"], title=b"Covered"))
    b.case(lambda r: check("other window above: /i's console line", r["out"].split(b"\r\n")[0],
                           b"hwnd console=" + number(r)), b.run(["/i"], title=b"Covered"))
    r = b.run(["/x"], title=b"Covered")
    b.steps.append(b"resetmenu")
    b.case(lambda r, log: (close(r, ["/x"], b"Covered", b""),
                           check("other window above: its Close", cases.logged(log, b"close"),
                                 [4096, 4096])),
           r, closed(b"o"))

    # Nothing is expanded: "-*.dat" would be the file -q.dat, "/?" and "/t*"
    # a one-letter name in the root. This runtime matches the file C:\\T, not
    # the folder C:\\X.
    b.case(lambda r: check("patterns are options as typed", r["out"],
                           b"unknown option -*.dat\r\nunknown option /zz*.q\r\n"),
           b.run(b"-*.dat /zz*.q", title=b"glob", cwd=b"C:\\g"))
    b.case(lambda r: (check("/? /c beside C:\\T and C:\\X", r["out"], USAGE + number(r)),
                      check("/? beside C:\\T and C:\\X keeps the title", r["after"]["title"],
                            b"Kept")),
           b.run(["/?", "/c"], title=b"Kept"))
    b.case(lambda r: check("/t* sets the title *", r["after"]["title"], b"*"),
           b.run(["/t*"], title=b"old"))

    b.steps.append(b"verinfo C:\\r\\ver C:\\ostrivel.exe")
    b.send(b"C:\\r\\ver")
    b.case(lambda info: check("version resource", info, cases.VERSION_INFO), b"C:\\r\\ver")

    # The window probe that run.cmd started logs each WM_FONTCHANGE.
    b.steps.append(b"waitfile C:\\r\\w.rdy")
    missing = b"C:\\no-such-font.ttf"
    for n, (args, want, total) in enumerate([
            (b"/r", REFRESH, 1),
            (b"/r" + missing, cases.font_report(missing, 0), 2),
            (b"/rC:\\font.ttf -R", cases.font_report(b"C:\\font.ttf", 1) + REFRESH, 4)]):
        r = b.run(args, title=b"fonts")
        b.send(b"C:\\r\\w.log")
        log = b"C:\\r\\w.log" + (b"#%d" % (n + 1) if n else b"")
        b.case(lambda r, log, args=args, want=want, total=total: (
            check(f"{args} output", r["out"], want),
            check(f"{args}: messages received so far", log.count(b"WM_FONTCHANGE"), total)),
            r, log)

    # Values as typed: from a batch file, which cmd reads in the console's
    # code page, and from a UTF-16 command line.
    for text in ("caf\u00e9", "\u00dcbersicht"):
        for line, who in ((f"title {text}", "cmd's title"),
                          (f'C:\\ostrivel.exe /t"{text}"', "/t")):
            name = f"b{len(b.files)}.cmd"
            b.files[name] = b"@" + line.encode("cp437") + b"\r\n"
            b.case(lambda r, text=text, who=who: check(
                f"batch file, {who} {text!r}", r["after"]["wtitle"], text),
                b.run(None, title=b"old", command=b"cmd.exe /c C:\\" + name.encode()))
    for text in ("\u0141\u00f3d\u017a \u0159", "\u0421\u0431\u043e\u0440\u043a\u0430",
                 UNICODE_TITLE):
        b.case(lambda r, text=text: (
            check(f"UTF-16 command line: /t{text!r}", r["after"]["wtitle"], text),
            check(f"UTF-16 command line: /t{text!r} /c finds the console", r["out"],
                  number(r))), b.run(["/t" + text, "/c"], title=b"old", wide=True))
    # Looked up as typed, echoed in the console's page, 437 (from its
    # published table: no Cyrillic, CJK, "\u0141" or "\u017a"; "\u00e9" is
    # 0x82, "\u00f3" 0xA2).
    font = "\u0448\u0440\u0438\u0444\u0442 \u65e5\u672c.ttf"
    b.files[font] = b"\0\1\0\0"
    for name, shown, exists in ((font, b"C:\\????? ??.ttf", 1),
                                ("\u043d\u0435\u0442 \u65e5\u672c.ttf", b"C:\\??? ??.ttf", 0)):
        b.case(lambda r, name=name, shown=shown, exists=exists: check(
            f"/r {name!r} typed", r["out"], cases.font_report(shown, exists)),
            b.run(["/rC:\\" + name], wide=True, before=[b"cp 437"]))
    b.case(lambda r: check("echoes in code page 437", r["out"], cases.font_report(
        b"C:\\nothere\\caf\x82 ?\xa2d?.ttf", 0) + b"unknown option /\x82\r\n"),
        b.run(["/rC:\\nothere\\caf\u00e9 \u0141\u00f3d\u017a.ttf", "/\u00e9"], title=b"echo",
              wide=True, before=[b"cp 437"]))

    # During a selection, which puts "Mark - " before the title in the
    # caption, the console's window all the same. Mark is 65520 in this
    # system menu; Esc ends the selection.
    b.steps += [b"title Marked", b"syscommand 65520"]
    r = b.run(["/c"])
    b.steps.append(b"key 27")
    b.case(lambda r: (check("Mark: the caption /c ran under", r["before"]["caption"],
                            "Mark - Marked"),
                      check("/c during Mark", r["out"], number(r))), r)

    # The build without GetConsoleWindow finds the window by the title, as on
    # 95 to NT 4: titles come back, and the window is found where the title
    # can be saved.
    def titled(r, title):
        check(f"title discovery, {title[:20]!r}: console number", r["out"], number(r))
        check(f"title discovery, {title[:20]!r}: title kept", r["after"]["title"], title)
    b.case(lambda r: titled(r, b"Caf\xe9 \"q\" %s &|<>"),
           b.run(["/c"], title=b"Caf\xe9 \"q\" %s &|<>", exe=NOENTRY))
    for title in (UNICODE_TITLE, cases.unicode_title(24498), cases.unicode_title(24499)):
        b.case(lambda r, title=title: unicode(r, title, True),
               b.run(["/c"], before=[b"utitle " + title.encode()], exe=NOENTRY))
    b.case(lambda r: check("title discovery: /t then /c", r["out"], b"0"),
           b.run(["/t", "/c"], title=b"old", exe=NOENTRY))
    r = b.run(["/x", "/c"], title=b"Keep me", exe=NOENTRY)
    b.steps.append(b"resetmenu")
    b.case(lambda r: close(r, ["title discovery: /x /c"], b"Keep me", number(r)), r)

    # Its limits: another window with the temporary title above the console
    # is taken for it, and loses its Close to /x.
    ready = other_window(b"n")
    b.case(lambda r, handle: check("title discovery, other window above: /c", r["out"],
                                   handle.strip()),
           b.run(["/c"], title=b"Covered", exe=NOENTRY), ready)
    r = b.run(["/x"], title=b"Covered", exe=NOENTRY)
    b.steps.append(b"resetmenu")
    b.case(lambda r, log: (
        close(r, ["title discovery, other window above: /x"], b"Covered", b"", 4096),
        check("title discovery, other window above: its Close", cases.logged(log, b"close"),
              [4096, -1])),
        r, closed(b"n"))

    # A selection begun while the temporary title shows puts "Mark - " before
    # it in the caption, and the title finds no window. (ReactOS writes the
    # prefix only as a selection starts; a title set during one shows bare.)
    tag = b"C:\\r\\mark"
    paths = [tag + s for s in (b".b", b".o", b".o.status", b".o.caption", b".a")]
    b.steps += [b"title Marked", b"probe " + paths[0],
                b"interrupt " + paths[1] + b" 65520 caption " + NOENTRY + b" /c",
                b"probe " + paths[-1], b"key 27"]
    for path in paths:
        b.send(path)

    def mark(before, out, status, caption, after):
        after = cases.parse_probe(after)
        seen = bytes.fromhex(caption.decode()).decode("utf-16-be")
        print("/c during Mark: " + status.decode().strip() + f", caption {seen!r}")
        check("title discovery: Mark chosen while the caption showed the temporary title",
              seen, "Mark - " + TEMP_TITLE.decode())
        check("title discovery, /c during Mark", out, b"0")
        check("title discovery, /c during Mark: title restored", after["title"], b"Marked")
    b.case(mark, *paths)

    # Ctrl+Break (to the program's own group, not to cmd, which would ask
    # whether to end the batch file) while the temporary title shows: the
    # title is back first.
    for i in range(3):
        tag = b"C:\\r\\break%d" % i
        b.steps += [b"title User title %d" % i,
                    b"interrupt " + tag + b" break title " + NOENTRY + b" /c" * 40,
                    b"probe " + tag + b".a"]
        for suffix in (b"", b".status", b".a"):
            b.send(tag + suffix)

        def interrupted(out, status, after, i=i):
            after = cases.parse_probe(after)
            check(f"Ctrl+Break {i}: sent while the temporary title showed",
                  status.split()[0], b"sent=1")
            check(f"Ctrl+Break {i}: title back", after["title"], b"User title %d" % i)
            ok(f"Ctrl+Break {i}: ended before its last discovery",
               len(out) < 40 * len(number({"before": after})), out[:80])
        b.case(interrupted, tag, tag + b".status", tag + b".a")

    # The user types into another program's window while a batch file runs
    # /x: its console stays behind. Last, for it leaves that window in front.
    b.steps.append(b"front C:\\r\\w.rdy")
    r = b.run(["/x"], title=b"Behind", after=[b"settle"])
    b.steps.append(b"resetmenu")
    b.send(b"C:\\r\\w.rdy")

    def behind(r, ready):
        handle = int(ready)
        check("/x behind another window: it was in front", r["before"]["foreground"], handle)
        check("/x behind another window: it is still in front", r["after"]["foreground"], handle)
        check("/x behind another window: Close removed all the same", r["after"]["close"], -1)
    b.case(behind, r, b"C:\\r\\w.rdy")


def main():
    if len(sys.argv) != 7:
        die("usage: reactos.py WORK_DIR SHARED_DIR OSTRIVEL NOENTRY CONSOLE_PROBE WINDOW_PROBE")
    work, shared = sys.argv[1], sys.argv[2]
    if not os.path.isdir(shared):
        die(f"{shared} is missing: the clone needs a copy of shared/ beside it")
    for tool, package in (("qemu-system-i386", "qemu-system-x86"), ("mcopy", "mtools"),
                          ("mkfs.fat", "dosfstools"), ("sfdisk", "fdisk")):
        if shutil.which(tool) is None:
            die(f"{tool} is missing: apt-get install {package} (scripts/deps.sh does)")
    os.makedirs(work, exist_ok=True)
    iso = unpack_cd(shared, work)

    b = Batch()
    plan(b)
    last = SCRIPT + b".error"
    disk = os.path.join(work, "disk.img")
    make_disk(disk, {
        "run.cmd": b"@echo off\r\n"
                   b"start /b C:\\window.exe C:\\r\\w.log C:\\r\\w.rdy\r\n"
                   b"C:\\probe.exe " + SCRIPT + b"\r\n"
                   b"C:\\probe.exe C:\\last\r\n",
        "steps": b"\n".join(b.steps) + b"\n",
        "last": b"send " + PORT + b" " + last + b"\n",
        "ostrivel.exe": sys.argv[3], "noentry.exe": sys.argv[4], "probe.exe": sys.argv[5],
        "window.exe": sys.argv[6],
        "font.ttf": b"\0\1\0\0", "g/-q.dat": b"", "g/a1.txt": b"", "T": b"", **b.files},
        ["r", "g", "X"])
    got = records(boot(work, iso, disk, last + b" "))
    if got.get(last) is not None:
        die("the console probe stopped: " + got[last].decode("latin-1")[:500])
    b.check(got)
    print(f"{cases.passes} passed, {len(cases.failures)} failed")
    sys.exit(1 if cases.failures else 0)


if __name__ == "__main__":
    main()
