#!/usr/bin/env python3
"""The end-to-end cases on ReactOS, an implementation of Windows Server 2003
of its own (kernel, console server, kernel32, user32), booted from its live
CD in QEMU:

    reactos.py WORK_DIR SHARED_DIR OSTRIVEL CONSOLE_PROBE WINDOW_PROBE

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
from cases import REFRESH, TEMP_TITLE, UNICODE_TITLE, USAGE, check, ok  # noqa: E402

BOOT_LIMIT = 240  # seconds from QEMU's start to the last result
PORT = b"\\\\.\\COM2"
SCRIPT = b"C:\\steps"


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
        # With a partitioned disk the CD's boot sector waits for a key.
        for _ in range(12):
            if mon is not None:
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
        self.converted = 0

    def send(self, path):
        self.steps.append(b"send " + PORT + b" " + path)

    def run(self, args, title=None, before=(), cwd=None, command=None, wide=False):
        self.runs += 1
        tag = b"C:\\r\\%d" % self.runs
        if title is not None:
            self.steps.append(b"title " + title)
        if cwd is not None:
            self.steps.append(b"cd " + cwd)
        self.steps += list(before)
        if wide:
            command = subprocess.list2cmdline(["C:\\ostrivel.exe"] + args).encode()
        elif command is None:
            command = b"C:\\ostrivel.exe" + (b" " + cases.cmdline(args) if args else b"")
        self.steps += [b"probe " + tag + b".b",
                       (b"wrun " if wide else b"run ") + tag + b".o " + command,
                       b"probe " + tag + b".a"]
        if cwd is not None:
            self.steps.append(b"cd C:\\")
        for suffix in (b".b", b".o", b".o.status", b".a"):
            self.send(tag + suffix)
        return tag

    def shown(self, texts, page=None):
        """Steps for run's BEFORE that have the probe convert TEXTS to the
        console's output code page (set to PAGE when given), as cases.as_shown
        does, and the files it writes them to: send them after the run."""
        steps, names = [b"cp %d" % page] if page else [], []
        for text in texts:
            self.converted += 1
            names.append(b"C:\\r\\s%d" % self.converted)
            steps.append(b"convert " + names[-1] + b" " + text.encode())
        return steps, names

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
                values.append({"out": got[t + b".o"], "status": int(code), "ms": int(elapsed),
                               "before": cases.parse_probe(got[t + b".b"]),
                               "after": cases.parse_probe(got[t + b".a"])})
            f(*values)


def number(r):
    return str(r["before"]["console"]).encode()


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
    b.case(lambda r: (check("/t then /c prints 0", r["out"], b"0"),
                      check("/t empties the title", r["after"]["title"], b"")),
           b.run(["/t", "/c"], title=b"old"))

    def unicode(r, title):
        units = cases.utf16_units(title)
        check(f"{units}-unit title: set", cases.utf16_units(r["before"]["wtitle"]), units)
        check(f"{units}-unit title: kept", r["after"]["wtitle"], title)
        # 24 500 units is the largest read this console answers; a title of
        # 24 499 fills it, may be cut, and so is left alone.
        check(f"{units}-unit title: console number", r["out"],
              number(r) if units <= 24498 else b"0")
    for title in [UNICODE_TITLE] + [cases.unicode_title(n) for n in
                                    (255, 256, 510, 511, 512, 513, 12249, 12250, 24498, 24499)]:
        b.case(lambda r, title=title: unicode(r, title),
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

    # With no title there is no window to act on; then Close goes, once, from
    # the console's window though another window with the temporary title
    # lies above it (a copy killed while its title showed, any program),
    # which keeps its own Close and is never the answer.
    def close(r, args, title, before, after, out):
        check(f"{args}: Close before", r["before"]["close"], before)
        check(f"{args}: Close after", r["after"]["close"], after)
        check(f"{args}: title after", r["after"]["title"], title)
        check(f"{args}: output", r["out"], out)
        print(f"{args}: Close reads {r['before']['close']} before, {r['after']['close']} after")
    r = b.run(["/t", "/x"], title=b"old")
    b.case(lambda r: close(r, ["/t", "/x"], b"", 4096, 4096, b""), r)

    b.steps += [b"run C:\\r\\other.o cmd.exe /c start /b C:\\window.exe C:\\r\\o.log "
                b"C:\\r\\o.rdy caption " + TEMP_TITLE, b"waitfile C:\\r\\o.rdy"]
    b.case(lambda r: check("other window above: /c", r["out"], number(r)),
           b.run(["/c"], title=b"Covered"))
    b.case(lambda r: check("other window above: /i's console line", r["out"].split(b"\r\n")[0],
                           b"hwnd console=" + number(r)), b.run(["/i"], title=b"Covered"))
    r = b.run(["/x"], title=b"Keep me")
    b.steps += [b"sleep 200", b"closewin C:\\r\\o.rdy"]  # it looks at its menu every 20 ms
    b.send(b"C:\\r\\o.log")

    def covered_close(r, log):
        close(r, ["/x"], b"Keep me", 4096, -1, b"")
        states = [int(line.split()[1]) for line in log.splitlines() if line.startswith(b"close ")]
        check("other window above: it keeps its Close", states, [4096])
    b.case(covered_close, r, b"C:\\r\\o.log")

    r = b.run(["/x", "/x", "/c"], title=b"Keep me too")
    b.case(lambda r: close(r, ["/x", "/x", "/c"], b"Keep me too", -1, -1, number(r)), r)

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
    font = "\u0448\u0440\u0438\u0444\u0442 \u65e5\u672c.ttf"
    b.files[font] = b"\0\1\0\0"
    for name, exists in ((font, 1), ("\u043d\u0435\u0442 \u65e5\u672c.ttf", 0)):
        steps, files = b.shown(["C:\\" + name])
        r = b.run(["/rC:\\" + name], wide=True, before=steps)
        b.send(files[0])
        b.case(lambda r, shown, name=name, exists=exists: check(
            f"/r {name!r} typed", r["out"], cases.font_report(shown, exists)), r, files[0])

    # Echoed as typed, in the console's output code page.
    value, option = "C:\\nothere\\caf\u00e9 \u0141\u00f3d\u017a.ttf", "/\u00e9"
    steps, files = b.shown([value, option])
    r = b.run(["/r" + value, option], title=b"echo", wide=True, before=steps)
    for f in files:
        b.send(f)

    def echoes(r, path, echoed):
        print(f"echoed in the console's page: {path!r}, {echoed!r}")
        check("echoes in the console's output code page", r["out"],
              cases.font_report(path, 0) + b"unknown option " + echoed + b"\r\n")
    b.case(echoes, r, *files)

    # The console writes "Mark - " and the title to the caption only as a
    # selection starts; a title set later shows bare. So Mark (65520 in this
    # system menu) is chosen again, as a user might, while the caption shows
    # the temporary title. Esc ends the selection, which pauses output.
    tag = b"C:\\r\\mark"
    paths = [tag + s for s in (b".b", b".o", b".o.status", b".a")]
    b.steps += [b"title Marked", b"syscommand 65520", b"probe " + paths[0],
                b"interrupt " + paths[1] + b" 65520 caption C:\\ostrivel.exe /c",
                b"probe " + paths[3], b"key 27"]
    for path in paths:
        b.send(path)

    def mark(before, out, status, after):
        before, after = cases.parse_probe(before), cases.parse_probe(after)
        check("Mark: caption", before["caption"], "Mark - Marked")
        check("/c during Mark: console number", out, str(before["console"]).encode())
        check("/c during Mark: title restored", after["title"], b"Marked")
        print("/c during Mark: " + status.decode().strip())
    b.case(mark, *paths)


def main():
    if len(sys.argv) != 6:
        die("usage: reactos.py WORK_DIR SHARED_DIR OSTRIVEL CONSOLE_PROBE WINDOW_PROBE")
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
        "ostrivel.exe": sys.argv[3], "probe.exe": sys.argv[4], "window.exe": sys.argv[5],
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
