"""What an end-to-end case asks of a Windows desktop, whichever runs it.

A case yields a list of items once: runs of the program in a console
(Run, with steps about a window: Front, Hung, Release), window probes
beside it (Window, Close), Ctrl+C or a system command at a chosen moment
(Interrupt), a watch of the title (Watch), the version resource
(Verinfo). A backend turns each item into steps of the console probe
(console_probe.cpp documents them) and files named after the item's tag,
carries them out, and hands each item the files back through read(); then
the case checks what the items hold.
"""
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
TEMP_TITLE = b"{98C1C303-2A9E-11d4-9FF5-006067718D05}"
with open(os.path.join(HERE, "..", "usage.txt"), "rb") as f:
    USAGE = f.read().replace(b"\n", b"\r\n")
REFRESH = b"Refreshing fonts ... OK\r\n"


def font_report(path, exists):
    """What /rPATH prints for a font file that exists or not."""
    return (b"Adding font " + path + b" ... Jmeno fontu " + path +
            b"\r\nExistuje ? %d\r\nOK\r\n" % exists + REFRESH)


def cmdline(args):
    """ARGS (str) quoted as the C runtime splits them; bytes pass as they are."""
    if isinstance(args, bytes):
        return args
    return subprocess.list2cmdline(args).encode("latin-1")


def unhex(text):
    return bytes.fromhex(text.decode()).decode("utf-16-be")


def parse_probe(data):
    """What the probe step wrote: the console's window, the foreground, Close,
    the title in UTF-16 and 8-bit, the caption."""
    head, _, title = data.partition(b"\ntitle=")
    fields = dict(line.split(b"=", 1) for line in head.splitlines() if b"=" in line)
    return {"console": int(fields[b"console"]), "foreground": int(fields[b"foreground"]),
            "close": int(fields[b"close"]), "wtitle": unhex(fields[b"wtitle"]),
            "caption": unhex(fields[b"caption"]), "title": title}


def parse_fields(data):
    """key=value fields of a status line, numbers as int, spans as (low, high),
    lists of numbers as sets."""
    out = {}
    for field in data.split():
        key, value = field.decode().split("=", 1)
        if "-" in value:
            low, high = value.split("-")
            out[key] = (int(low), int(high))
        elif key == "fg":
            out[key] = {int(v) for v in value.split(",") if v}
        else:
            out[key] = int(value)
    return out


def logged(data, what):
    """The (tick, window) of each line WHAT of a window probe's log; for
    "close", (state, tick)."""
    rows = [line.split()[1:] for line in data.splitlines() if line.startswith(what + b" ")]
    return [tuple(int(x) for x in row) for row in rows]


class Item:
    tag = None
    console = True  # carried out by steps in a console

    def steps(self, path, exe):
        return []

    def outputs(self, path):
        return []

    def read(self, get, path):
        pass


class Run(Item):
    """The program run once in the console, with the probe's view just before
    and just after. ARGS (list of str, or bytes as the command line's tail),
    or COMMAND (bytes) for the whole command line, or BATCH (str, a line of
    a batch file that cmd runs, EXE standing for the program). WIDE starts
    it with a UTF-16 command line, NOWINDOW in a console without a window.
    BEFORE and AFTER are steps just before the first view and the second.
    STATUS is the exit status it must end with, None where the command is
    not the program (a batch file of cmd's own commands)."""

    def __init__(self, args=None, title=None, cwd=None, before=(), after=(), wide=False,
                 nowindow=False, command=None, batch=None, name=None, status=0):
        self.args, self.title, self.cwd = args, title, cwd
        self.before, self.after = list(before), list(after)
        self.wide, self.nowindow, self.command, self.batch = wide, nowindow, command, batch
        self.name = name or repr(args if args is not None else command or batch)[:60]
        self.expect_status = status

    def __str__(self):
        return "run " + self.name

    def command_line(self, path, exe):
        if self.batch is not None:
            return b"cmd.exe /c " + path(".cmd")
        if self.wide:
            return subprocess.list2cmdline([exe.decode()] + self.args).encode()
        if self.command is not None:
            return self.command
        return exe + (b" " + cmdline(self.args) if self.args else b"")

    def files(self, exe):
        """Files to make first: {suffix: bytes}."""
        if self.batch is None:
            return {}
        line = self.batch.replace("EXE", exe.decode())
        return {".cmd": b"@" + line.encode("cp437") + b"\r\n"}

    def steps(self, path, exe):
        steps = [b"title " + self.title] if self.title is not None else []
        if self.cwd is not None:
            steps.append(b"cd " + self.cwd)
        how = b"wrun " if self.wide else b"nwrun " if self.nowindow else b"run "
        return steps + [render(s, path) for s in self.before] + [
            b"probe " + path(".before"), how + path(".out") + b" " + self.command_line(path, exe)
        ] + [render(s, path) for s in self.after] + [b"probe " + path(".after")]

    def outputs(self, path):
        return [path(s) for s in (".before", ".out", ".out.err", ".out.status", ".after")]

    def read(self, get, path):
        self.before_view = parse_probe(get(path(".before")))
        self.after_view = parse_probe(get(path(".after")))
        self.out, self.err = get(path(".out")), get(path(".out.err"))
        st = parse_fields(get(path(".out.status")))
        self.status, self.ms, self.end = st["status"], st["ms"], st["end"]
        self.start = self.end - self.ms
        # Seen from just before the start to just after the end.
        self.foregrounds = st["fg"] | {self.before_view["foreground"],
                                       self.after_view["foreground"]}
        self.free, self.free_c = st["free"], st["freec"]

    def number(self):
        """The console's window as the probe read it before the run."""
        return str(self.before_view["console"]).encode()


class Window(Item):
    """A window probe beside the console: plain; captioned CAPTION above all
    others; taking SLOW ms over each WM_FONTCHANGE, or ending its program
    ENDS ms into the first; not taking messages (HANG), or not until a
    Release (HELD); WINDOWS of them in one thread.
    KILL_AFTER seconds, where a backend can, it is killed, and KILLED says so."""
    console = False

    def __init__(self, name, caption=None, slow=None, hang=False, held=False, windows=None,
                 kill_after=None, ends=None):
        self.name, self.kill_after, self.killed = name, kill_after, False
        self.options = ((["caption", caption] if caption is not None else []) +
                        (["hang"] if hang else []) + (["held"] if held else []) +
                        (["slow", str(slow)] if slow is not None else []) +
                        (["ends", str(ends)] if ends is not None else []) +
                        (["windows", str(windows)] if windows is not None else []))
        self.log = b""

    def __str__(self):
        return f"window {self.name} {' '.join(self.options)}"

    def outputs(self, path):
        return [path(".ready")]

    def read(self, get, path):
        self.handles = [int(h) for h in get(path(".ready")).split()]
        self.handle = self.handles[0]

    def ticks(self, what, start=None, end=None):
        """Ticks of its log lines WHAT, from START to END where given."""
        return [t for t, *_ in logged(self.log, what)
                if (start is None or t >= start) and (end is None or t <= end)]

    def during(self, run):
        """Font changes it received while RUN ran."""
        return len(self.ticks(b"WM_FONTCHANGE", run.start, run.end))


class Close(Item):
    """WM_CLOSE to WINDOW, which it handles after all sent or posted to it
    before; its log is then whole. A window a case leaves open the backend
    ends after the case."""

    def __init__(self, window):
        self.window = window

    def __str__(self):
        return "close " + self.window.name

    def steps(self, path, exe):
        return [b"closewin " + self.window.ready_path]

    def outputs(self, path):
        return [self.window.log_path]

    def read(self, get, path):
        self.window.log = get(self.window.log_path) or b""


class WindowStep(Item):
    """A step of a Run about WINDOW: the console probe's VERB and its ready file."""

    def __init__(self, window):
        self.window = window


class Front(WindowStep):
    """WINDOW brought to the foreground."""
    verb = b"front"


class Hung(WindowStep):
    """Wait until the system calls WINDOW hung."""
    verb = b"hung"


class Release(WindowStep):
    """A HELD window takes messages again."""
    verb = b"release"


class Interrupt(Item):
    """The program run with ARGS, sent EVENT (c, break, or a system command's
    number) as soon as WHEN: "title", "caption", or a Window whose log
    exists. Then the probe's view."""

    def __init__(self, args, event, when, title=None, after=()):
        self.args, self.event, self.when, self.title = args, event, when, title
        self.after = list(after)

    def __str__(self):
        return f"interrupt ({self.event} at {self.when}) {self.args[:3]}"

    def steps(self, path, exe):
        when = self.when if isinstance(self.when, bytes) else self.when.log_path
        return ([b"title " + self.title] if self.title is not None else []) + [
            b"interrupt " + path("") + b" " + self.event.encode() + b" " + when + b" " + exe +
            b" " + cmdline(self.args), b"probe " + path(".after")] + self.after

    def outputs(self, path):
        return [path(s) for s in ("", ".status", ".caption", ".after")]

    def read(self, get, path):
        self.out = get(path(""))
        st = parse_fields(get(path(".status")))
        self.sent, self.status, self.end = st["sent"], st["status"], st["end"]
        self.caption = unhex(get(path(".caption")) or b"")
        self.after_view = parse_probe(get(path(".after")))


class Watch(Item):
    """The program run TIMES times with ARGS while the probe reads the title
    and caption: how often it read them, and each it saw besides the first."""

    def __init__(self, args, times, title=b"Watched"):
        self.args, self.times, self.title = args, times, title

    def __str__(self):
        return f"watch {self.times} runs of {self.args}"

    def steps(self, path, exe):
        return [b"title " + self.title,
                b"watch " + path("") + b" %d " % self.times + exe + b" " + cmdline(self.args)]

    def outputs(self, path):
        return [path(".watch")]

    def read(self, get, path):
        head, *seen = get(path(".watch")).splitlines()
        self.reads, self.seen = int(head.split(b"=")[1]), [unhex(h) for h in seen]


class Verinfo(Item):
    """The program's version resource, as Explorer and PowerShell read it."""

    def steps(self, path, exe):
        return [b"verinfo " + path("") + b" " + exe]

    def outputs(self, path):
        return [path("")]

    def read(self, get, path):
        self.info = get(path(""))


def render(step, path):
    """A step of a Run: bytes as they are, one about a window by its ready file."""
    if isinstance(step, WindowStep):
        return step.verb + b" " + step.window.ready_path
    return step
