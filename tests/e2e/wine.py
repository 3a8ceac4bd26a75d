"""Harness: runs Windows programs under Wine, in console windows of their own.

One session (a private Wine prefix, an Xvfb display and a persistent wine
server) lives in a state directory; `start` makes it and `stop` removes it, so
a test run can share one across many cases:

    python3 wine.py start STATE_DIR BINARY...
    python3 wine.py stop STATE_DIR

`show BUILD_DIR ARG...` does all three for one run of the program.

Cases use Session(STATE_DIR).console(steps) to run a script of the console
probe in a new console window (wineconsole) and read what it left behind.
"""
import errno
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from steps import Interrupt, Run, Window, parse_fields  # noqa: E402

WINE_CANDIDATES = ["/usr/lib/wine/wine64", "/usr/lib64/wine/wine64", "wine64"]


def find_wine():
    for c in WINE_CANDIDATES:
        path = shutil.which(c)
        if path:
            return path
    return None


def die(message):
    sys.stderr.write("wine harness: " + message + "\n")
    sys.exit(2)


def pe_machine(path):
    """The machine a Windows program is built for: "i386", "x86-64" or None."""
    with open(path, "rb") as f:
        return pe_machine_of(f.read(4096))


def pe_machine_of(head):
    """pe_machine for the first bytes of a program."""
    if head[:2] != b"MZ":
        return None
    pe = int.from_bytes(head[0x3C:0x40], "little")
    if head[pe:pe + 4] != b"PE\0\0":
        return None
    return {0x14C: "i386", 0x8664: "x86-64"}.get(int.from_bytes(head[pe + 4:pe + 6], "little"))


def pe_image(path):
    """Where a Windows program asks to be loaded: its image base and size."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    optional = pe + 24
    wide = int.from_bytes(head[optional:optional + 2], "little") == 0x20B  # PE32+
    base = (int.from_bytes(head[optional + 24:optional + 32], "little") if wide else
            int.from_bytes(head[optional + 28:optional + 32], "little"))
    return base, int.from_bytes(head[optional + 56:optional + 60], "little")


def winpath(path):
    """A Linux path as Wine sees it through drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class NotStarted(Exception):
    """Wine failed to start something before the program under test ran:
    seen now and then, and not the case's failure."""


def tried_thrice(attempt):
    """ATTEMPT's result; where it raises NotStarted, it is called again, twice
    at most, saying so on standard error. Only starts that come before the
    program under test raise it, so nothing runs that program twice."""
    for n in range(3):
        try:
            return attempt()
        except NotStarted as e:
            why = str(e)
            sys.stderr.write(f"wine harness: {why} (try {n + 1} of 3)\n")
    raise RuntimeError(why + ", three times")


class Session:
    def __init__(self, state):
        self.state = os.path.abspath(state)
        self.wine = find_wine()
        with open(os.path.join(self.state, "display")) as f:
            self.display = f.read().strip()
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=os.path.join(self.state, "prefix"),
                        WINEDEBUG="-all", DISPLAY=self.display,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.prefix = self.env["WINEPREFIX"]
        self.processes = []  # what this process started, for kill_all

    def wine_run(self, args, timeout=120, debug=None):
        """Runs wine with ARGS, and Wine's debug channels DEBUG when given;
        returns (exit status, output). Output goes through a file: Wine's
        background processes inherit it and would hold a pipe open for ever."""
        env = dict(self.env, WINEDEBUG=debug) if debug else self.env
        with tempfile.TemporaryFile(dir=self.state) as out:
            status = subprocess.run([self.wine] + args, env=env, timeout=timeout,
                                    stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT).returncode
            out.seek(0)
            return status, out.read().decode("latin-1")

    def console(self, steps, timeout=120, env=None):
        """Runs the console probe with STEPS (lines of bytes) in a new console
        window; returns its exit status. A console that did not start the
        probe, or gave it no window, or in which the first program could not
        be started, is started again: nothing was tested in it."""
        return tried_thrice(lambda: self.console_wait(self.console_start(steps, env), timeout))

    def console_start(self, steps, env=None):
        """Starts a console like console() and returns at once."""
        fd, script = tempfile.mkstemp(dir=self.state, suffix=".script")
        with os.fdopen(fd, "wb") as f:
            f.write(b"\n".join(steps) + b"\n")
        probe = os.path.join(self.state, "bin", "console_probe.exe")
        p = self.spawn(["wineconsole", probe, winpath(script)], env, cwd=os.path.dirname(script))
        return p, script

    def console_wait(self, started, timeout=120):
        p, script = started
        try:
            status = p.wait(timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            raise RuntimeError(f"the console did not end within {timeout} s")
        notes = {}
        for suffix in ("started", "notstarted", "error"):
            path = script + "." + suffix
            if os.path.exists(path):
                with open(path, "rb") as f:
                    notes[suffix] = f.read().decode("latin-1").strip()
                os.unlink(path)
        os.unlink(script)
        if "error" in notes:
            raise RuntimeError("console probe: " + notes["error"])
        if "notstarted" in notes:
            raise NotStarted("console probe: " + notes["notstarted"])
        if "started" not in notes:
            raise NotStarted(f"wineconsole exited {status} before the probe started")
        return status

    def set_version(self, exe_name, version):
        """Wine's per-program Windows version; None removes the setting."""
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + exe_name
        if version is None:
            self.wine_run(["reg", "delete", key, "/f"])
        else:
            # Wine now and then fails to start reg itself ("Application could
            # not be started").
            def add():
                status, out = self.wine_run(["reg", "add", key, "/v", "Version", "/d",
                                             version, "/f"])
                if status != 0:
                    raise NotStarted("reg add failed: " + out.strip())
            tried_thrice(add)

    def spawn(self, args, env=None, cwd=None):
        """Starts wine with ARGS outside any console; returns the Popen."""
        p = subprocess.Popen([self.wine] + args, env=dict(self.env, **(env or {})), cwd=cwd,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.processes.append(p)
        return p

    def window_probe(self, log, ready, extra=()):
        """Starts the window probe with the files LOG and READY and EXTRA, and
        returns it once READY is written. One that ends before is tried again."""
        args = [os.path.join(self.state, "bin", "window_probe.exe"), winpath(log), winpath(ready)]

        def start():
            p = self.spawn(args + list(extra))
            deadline = time.time() + 60
            while not os.path.exists(ready) and p.poll() is None and time.time() < deadline:
                time.sleep(0.05)
            if os.path.exists(ready):
                return p
            if p.poll() is None:
                p.kill()
                raise RuntimeError("the window probe was not ready after 60 s")
            raise NotStarted(f"the window probe exited {p.returncode} before it was ready")
        return tried_thrice(start)

    def kill_all(self):
        """Ends everything this process started, and every program of the
        session with the wine server."""
        for p in self.processes:
            if p.poll() is None:
                p.kill()
        with open(os.path.join(self.state, "wineserver")) as f:
            server = f.read().strip()
        subprocess.run([server, "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


class Interrupts:
    """Interruptions one after another in one console: each sets its own
    title, and a console's start costs more than the step."""

    def __init__(self, items):
        self.items = items

    def __str__(self):
        return f"{len(self.items)} interruptions"

    def steps(self, path, exe):
        return [s for n, it in enumerate(self.items) for s in it.steps(self.part(path, n), exe)]

    def read(self, get, path):
        for n, it in enumerate(self.items):
            it.read(get, self.part(path, n))

    @staticmethod
    def part(path, n):
        return lambda suffix: path(f".{n}{suffix}")


def together(items):
    """ITEMS, with each run of interruptions as one."""
    out = []
    for item in items:
        if isinstance(item, Interrupt) and out and isinstance(out[-1], Interrupts):
            out[-1].items.append(item)
        else:
            out.append(Interrupts([item]) if isinstance(item, Interrupt) else item)
    return out


class Desktop:
    """The Wine backend: a case's items carried out one after another, each
    console step list in a console window of its own, each window probe a
    program beside them, in the work folder WORK."""
    name = "wine"
    longest_title = 65535  # the longest a console of Windows holds; Wine takes more
    menus = False  # Wine keeps menus per process: a console's is not seen
    os_name = b""  # Wine's default is Windows 7
    interrupt = ("c", 20)  # Ctrl+C to the console, twenty times

    def __init__(self, session, work):
        self.session, self.work = session, work
        self.count = 0
        self.step = "starting"
        self.console_env = None
        self.windows = []
        self.cleanup = []

    def program(self, noentry):
        name = "ostrivel_noentry.exe" if noentry else "ostrivel.exe"
        return winpath(os.path.join(self.session.state, "bin", name)).encode()

    def host(self, wpath):
        return wpath.decode()[2:].replace("\\", "/")

    def get(self, wpath):
        try:
            with open(self.host(wpath), "rb") as f:
                return f.read()
        except OSError:
            return None

    def file(self, name, content):
        """A file of the case; its Windows path."""
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(content)
        return winpath(path)

    def folder(self, names):
        """A folder holding the empty files NAMES; its Windows path."""
        d = tempfile.mkdtemp(dir=self.work)
        for name in names:
            open(os.path.join(d, name), "wb").close()
        return winpath(d)

    def in_root(self, entries):
        """Files (bytes) and folders (None) in the root of C: while the case runs."""
        for name, content in entries.items():
            path = os.path.join(self.session.prefix, "drive_c", name)
            if content is None:
                os.mkdir(path)
                self.cleanup.append(lambda p=path: os.rmdir(p))
            else:
                with open(path, "wb") as f:
                    f.write(content)
                self.cleanup.append(lambda p=path: os.unlink(p))

    def carry_out(self, items, exe):
        for item in together(items):
            self.step = str(item)
            self.count += 1
            tag = os.path.join(self.work, f"i{self.count}")

            def path(suffix, tag=tag):
                return winpath(tag + suffix).encode()
            if isinstance(item, Window):
                self.start_window(item, tag, path)
            else:
                for suffix, content in (item.files(exe) if isinstance(item, Run) else {}).items():
                    with open(tag + suffix, "wb") as f:
                        f.write(content)
                status = self.session.console(item.steps(path, exe), env=self.console_env)
                if status != 0:
                    raise RuntimeError(f"console probe exited {status}")
                item.read(self.get, path)
        self.step = "checking"

    def start_window(self, w, tag, path):
        w.ready_path, w.log_path = path(".ready"), path(".log")
        w.process = self.session.window_probe(tag + ".log", tag + ".ready", w.options)
        if w.kill_after is not None:
            def kill(w=w):
                w.killed = True
                w.process.kill()
            w.timer = threading.Timer(w.kill_after, kill)
            w.timer.start()
        self.windows.append(w)
        w.read(self.get, path)

    def end_case(self):
        """Window probes still running are killed, and their logs read."""
        for w in self.windows:
            if getattr(w, "timer", None):
                w.timer.cancel()
            if w.process.poll() is None:
                w.process.kill()
            w.process.wait()
            if not w.log:
                w.log = self.get(w.log_path) or b""
        self.windows = []
        for undo in reversed(self.cleanup):
            undo()
        self.cleanup = []
        self.console_env = None


SKIPPED = 77  # CTest's SKIP_RETURN_CODE for every e2e test


def runs_32bit(wine32):
    """Whether the kernel executes Wine's 32-bit loader at all. Only a kernel
    without IA32 emulation refuses it with ENOEXEC; any other failure to
    start it is raised."""
    try:
        subprocess.run([wine32, "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        return True
    except OSError as e:
        if e.errno == errno.ENOEXEC:
            return False
        raise


def skip(state, reason):
    """Marks the session as one that cannot run, so each case skips with REASON."""
    os.makedirs(state, exist_ok=True)
    with open(os.path.join(state, "skipped"), "w") as f:
        f.write(reason + "\n")
    sys.stderr.write("wine harness: skipped: " + reason + "\n")
    sys.exit(SKIPPED)


def skipped(state):
    """The reason a session was skipped, or None."""
    try:
        with open(os.path.join(state, "skipped")) as f:
            return f.read().strip()
    except OSError:
        return None


def start(state, binaries):
    wine = find_wine()
    if wine is None:
        die("Wine's 64-bit loader (wine64) is missing: apt-get install wine wine64")
    if shutil.which("Xvfb") is None:
        die("Xvfb is missing: apt-get install xvfb")
    # 32-bit programs need Wine's 32-bit loader; without it they exit 0 silently.
    wine32 = os.path.join(os.path.dirname(wine), "wine")
    if any(pe_machine(b) == "i386" for b in binaries):
        if not os.path.exists(wine32):
            die("Wine's 32-bit half is missing: dpkg --add-architecture i386 && apt-get update"
                " && apt-get install wine32:i386")
        if not runs_32bit(wine32):
            skip(state, "this machine's kernel does not run 32-bit programs (no IA32"
                 " emulation), so Wine cannot run the 32-bit program here")
    if os.path.exists(state):
        stop(state)
    os.makedirs(os.path.join(state, "bin"))
    for b in binaries:
        shutil.copy(b, os.path.join(state, "bin"))

    # A display number nobody holds; Xvfb's -displayfd tells which it took.
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=[w], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    deadline = time.time() + 30
    while not number.endswith(b"\n") and time.time() < deadline:
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    if not number.strip():
        xvfb.kill()
        die("Xvfb did not start")
    with open(os.path.join(state, "display"), "w") as f:
        f.write(":" + number.decode().strip() + "\n")
    with open(os.path.join(state, "xvfb.pid"), "w") as f:
        f.write(str(xvfb.pid) + "\n")

    s = Session(state)
    server = os.path.join(os.path.dirname(wine), "wineserver")
    if not os.path.exists(server):
        server = shutil.which("wineserver") or "wineserver"
    with open(os.path.join(state, "wineserver"), "w") as f:
        f.write(server + "\n")
    os.makedirs(s.prefix)
    # Daemons must not hold the caller's output open: CTest waits on it.
    subprocess.run([server, "-p"], env=s.env, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    status, out = s.wine_run(["wineboot", "-i"], timeout=300)
    if status != 0:
        die("wineboot failed: " + out[-2000:])
    # Wine's desktop ends with its last window and takes seconds to come back,
    # so a window of our own keeps it up between console windows.
    ready = os.path.join(state, "keeper.ready")
    try:
        keeper = s.window_probe(os.path.join(state, "keeper.log"), ready)
    except RuntimeError as e:
        die(str(e))
    with open(os.path.join(state, "keeper.pid"), "w") as f:
        f.write(str(keeper.pid) + "\n")


def stop(state):
    if not os.path.isdir(state):
        return
    try:
        s = Session(state)
        with open(os.path.join(state, "wineserver")) as f:
            server = f.read().strip()
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run([server, "-k"], env=s.env, **quiet)
        subprocess.run([server, "-w"], env=s.env, **quiet)
    except (OSError, subprocess.SubprocessError):
        pass
    for pidfile in ("keeper.pid", "xvfb.pid"):
        try:
            with open(os.path.join(state, pidfile)) as f:
                os.kill(int(f.read()), signal.SIGTERM)
        except (OSError, ValueError):
            pass
    shutil.rmtree(state, ignore_errors=True)


def show(build, args):
    """Runs BUILD's ostrivel.exe with ARGS in a console window of a session of
    its own and copies what it printed to standard output."""
    state = tempfile.mkdtemp(prefix="ostrivel-wine.")
    try:
        start(state, [os.path.join(build, name) for name in
                      ("ostrivel.exe", "tests/console_probe.exe", "tests/window_probe.exe")])
        s = Session(state)
        out = os.path.join(state, "out")
        command = subprocess.list2cmdline([winpath(os.path.join(state, "bin", "ostrivel.exe"))]
                                          + args)
        s.console([b"title Ostrivel under Wine",
                   b"run " + winpath(out).encode() + b" " + command.encode("latin-1")])
        with open(out, "rb") as f:
            sys.stdout.buffer.write(f.read())
        with open(out + ".status", "rb") as f:
            return parse_fields(f.read())["status"]
    finally:
        stop(state)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "start":
        start(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) == 3 and sys.argv[1] == "stop":
        stop(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "show":
        sys.exit(show(sys.argv[2], sys.argv[3:]))
    else:
        die("usage: wine.py start STATE_DIR BINARY... | stop STATE_DIR"
            " | show BUILD_DIR [ARG...]")
