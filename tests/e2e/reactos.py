#!/usr/bin/env python3
"""The end-to-end cases on ReactOS, an implementation of Windows Server 2003
of its own (kernel, console server, kernel32, user32), booted from its live
CD in QEMU:

    reactos.py WORK_DIR SHARED_DIR OSTRIVEL NOENTRY CONSOLE_PROBE WINDOW_PROBE

The live CD is SHARED_DIR/reactos/livecd.iso.xz (SHARED_DIR: the folder
shared/ beside the clone), or the file OSTRIVEL_REACTOS_CD names (.iso.xz or
.iso). Without it the test is skipped, saying so, except in CI (CI=true),
where that is a failure.

The cases are cases.py's, those for ReactOS, for both builds (NOENTRY is the
test build that finds the console's window by the title, as on 95 to NT 4).
The live CD runs C:\\run.cmd from the first disk at logon. Where the Wine
backend drives a console step by step, here every case's items become steps
of one script of the console probe, in one console; the probe sends each
result file to COM2, which QEMU writes to a file, and the cases check what
came back once the script has ended. The CD image is unpacked into WORK_DIR
once.
"""
import lzma
import os
import re
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cases  # noqa: E402
from steps import Close, Run, Window  # noqa: E402

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


SKIPPED = 77


def live_cd(shared):
    """The live CD's path; without one, a skip that says where it goes."""
    cd = os.environ.get("OSTRIVEL_REACTOS_CD") or os.path.join(shared, "reactos", "livecd.iso.xz")
    if os.path.isfile(cd):
        return cd
    why = (f"no ReactOS live CD at {cd}: put the folder shared/ (with reactos/livecd.iso.xz)"
           " beside the clone, or name the CD's file (.iso.xz or .iso) in OSTRIVEL_REACTOS_CD")
    if os.environ.get("CI") == "true":
        die(why)
    print("skipped: " + why)
    sys.exit(SKIPPED)


def unpack_cd(packed, work):
    """The live CD, unpacked once per work directory (kept while the
    packed one is unchanged); an .iso is used as it is."""
    if not packed.endswith(".xz"):
        return packed
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


def kernel_stop(com1):
    """The error the kernel stopped with, as its log on COM1 gives it, or None."""
    kernel = open(com1, "rb").read() if os.path.exists(com1) else b""
    stop = re.search(rb"\*\*\* (?:Fatal System Error|STOP): (0x[0-9A-Fa-f]+)", kernel)
    return stop.group(1).decode() if stop else None


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
                if last in data or kernel_stop(com1):
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

    stop = kernel_stop(com1)
    if stop:
        why = "the kernel stopped with error " + stop
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


class Desktop:
    """The ReactOS backend: every case's items planned into one script, its
    files put on the disk, what they leave read back after the boot."""
    name = "reactos"
    longest_title = 24498  # reads above 24 500 units fail; one of 24 499 may be cut
    menus = True  # the console's window has a real system menu
    os_name = b"Windows NT-Server 2003"
    interrupt = ("break", 3)  # Ctrl+B to the program's own group; Ctrl+C would reach cmd

    def __init__(self):
        self.steps = [b"cd C:\\"]
        self.files = {}
        self.dirs = ["r", "f"]
        self.planned = []
        self.step = "planning"

    def program(self, noentry):
        return NOENTRY if noentry else PROGRAM

    def file(self, name, content):
        self.files["f/" + name] = content
        return "C:\\f\\" + name

    def folder(self, names):
        d = f"g{len(self.dirs)}"
        self.dirs.append(d)
        for name in names:
            self.files[f"{d}/{name}"] = b""
        return "C:\\" + d

    def in_root(self, entries):
        for name, content in entries.items():
            if content is None:
                if name not in self.dirs:
                    self.dirs.append(name)
            else:
                self.files[name] = content

    def send(self, path):
        self.steps.append(b"send " + PORT + b" " + path)

    def carry_out(self, items, exe):
        """ITEMS planned, and then the closing of every window they leave open
        (the Wine backend ends those at the end of the case)."""
        closed = {item.window for item in items if isinstance(item, Close)}
        items = items + [Close(w) for w in items if isinstance(w, Window) and w not in closed]
        for item in items:
            tag = b"C:\\r\\%d" % len(self.planned)

            def path(suffix, tag=tag):
                return tag + suffix.encode()
            if isinstance(item, Window):
                item.ready_path, item.log_path = path(".ready"), path(".log")
                self.steps += [b"run " + path(".start") + b" cmd.exe /c start /b C:\\window.exe " +
                               item.log_path + b" " + item.ready_path + b" " +
                               " ".join(item.options).encode(), b"waitfile " + item.ready_path]
            else:
                if isinstance(item, Run):
                    for suffix, content in item.files(exe).items():
                        self.files["r/" + path(suffix).decode()[5:]] = content
                self.steps += item.steps(path, exe)
            if isinstance(item, Run):
                self.steps += [b"resetmenu"] + ([b"cd C:\\"] if item.cwd is not None else [])
            for out in item.outputs(path):
                self.send(out)
            self.planned.append((item, path))

    def read(self, got):
        for item, path in self.planned:
            item.read(got.get, path)

    def end_case(self):
        pass


def main():
    if len(sys.argv) != 7:
        die("usage: reactos.py WORK_DIR SHARED_DIR OSTRIVEL NOENTRY CONSOLE_PROBE WINDOW_PROBE")
    work, cd = sys.argv[1], live_cd(sys.argv[2])
    for tool, package in (("qemu-system-i386", "qemu-system-x86"), ("mcopy", "mtools"),
                          ("mkfs.fat", "dosfstools"), ("sfdisk", "fdisk")):
        if shutil.which(tool) is None:
            die(f"{tool} is missing: apt-get install {package} (scripts/deps.sh does)")
    os.makedirs(work, exist_ok=True)
    iso = unpack_cd(cd, work)

    desk = Desktop()
    report = cases.Report(f"ctest --test-dir {shlex.quote(os.getcwd())} -R '^reactos$'")
    planned = []
    for noentry in (False, True):
        ctx = cases.Context(desk, noentry, report)
        build = "noentry" if noentry else "release"
        for case in cases.CASES:
            if "reactos" in case.backends and build in case.builds:
                gen = case(ctx)
                items = next(gen)
                desk.carry_out(items, ctx.exe)
                planned.append((ctx, items, gen))
    errors = [SCRIPT + b".error", SCRIPT + b".notstarted"]
    disk = os.path.join(work, "disk.img")
    make_disk(disk, {
        "run.cmd": b"@echo off\r\nC:\\probe.exe " + SCRIPT + b"\r\nC:\\probe.exe C:\\last\r\n",
        "steps": b"\n".join(desk.steps) + b"\n",
        "last": b"".join(b"send " + PORT + b" " + e + b"\n" for e in errors),
        "ostrivel.exe": sys.argv[3], "noentry.exe": sys.argv[4], "probe.exe": sys.argv[5],
        "window.exe": sys.argv[6], **desk.files}, desk.dirs)
    got = records(boot(work, iso, disk, errors[-1] + b" "))
    for e in errors:
        if got.get(e) is not None:
            die("the console probe stopped: " + got[e].decode("latin-1")[:500])
    desk.read(got)
    for ctx, items, gen in planned:
        for r in items:
            if isinstance(r, Run):
                cases.checked_run(ctx, r)
        try:
            gen.send(None)
            die("a case for ReactOS yields its items more than once")
        except StopIteration:
            pass
    return report.finish()


if __name__ == "__main__":
    sys.exit(main())
