"""Times both Windows programs where users run them: in a console window, here
Wine's (wineconsole under Xvfb, through the e2e harness), and in a pseudo
console. bench/timing_probe.exe runs in the console and times each run from
CreateProcess to the end of the process; see there.

    python3 bench/windows_timings.py [RUNS]   (after building both mingw presets)

Each figure but the starts is a cost over the start that does nothing
(`ostrivel word`) timed in the same session, so figures compare across
machines. /r is timed again beside window probes: 400 windows in 8 programs
that answer at once, logging nothing, and 8 windows of one program that
take 2 s each over the font change (a few runs only: each waits its 5 s).
"Wine's own" is what a first GetDesktopWindow costs a program that otherwise
does nothing: Wine loads its display driver then; Windows does not.
"""
import os
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import steps  # noqa: E402
import wine  # noqa: E402

BUILDS = (("i686", "mingw-i686"), ("x86_64", "mingw-x64"))

# Name, label (None: not shown), where, the program ("ostrivel", the test
# build that finds the console's window by the title as on 95 to NT 4, or the
# probe) and its arguments, and the row the cost is taken over (None: the run
# time itself).
ROWS = (
    ("start", "start, nothing to do", "console", "ostrivel", ["word"], None),
    ("f", "/f", "console", "ostrivel", ["/f"], "start"),
    ("c", "/c", "console", "ostrivel", ["/c"], "start"),
    ("c title", "/c by the title, as on 95 to NT 4", "console", "noentry", ["/c"], "start"),
    ("i", "/i", "console", "ostrivel", ["/i"], "start"),
    ("r", "/r", "console", "ostrivel", ["/r"], "start"),
    ("pty start", "pseudo console: start, nothing to do", "pty", "ostrivel", ["word"], None),
    ("pty c", "pseudo console: /c", "pty", "ostrivel", ["/c"], "pty start"),
    ("desktop", "Wine's own: first GetDesktopWindow", "console", "probe", ["desktop"], "idle"),
    ("idle", None, "console", "probe", ["idle"], None),
)
SLEEP_US = 50000  # the program's wait in each discovery by the title
# /r beside other windows: the label, the window probes' options, at most how
# many runs, and the rows, each a cost over the start timed beside them.
BESIDE = (
    ("400 windows that answer at once", [["windows", "50", "quiet"]] * 8, None,
     (("busy start", None, "console", "ostrivel", ["word"], None),
      ("busy r", "/r beside 400 quick windows, 8 programs", "console", "ostrivel", ["/r"],
       "busy start"))),
    ("8 windows slow by 2 s", [["slow", "2000", "windows", "8"]], 5,
     (("slow start", None, "console", "ostrivel", ["word"], None),
      ("slow r", "/r beside 8 windows slow by 2 s", "console", "ostrivel", ["/r"],
       "slow start"))),
)


def cannot_run(arch):
    """Why this machine's Wine cannot run ARCH's programs, or None."""
    loader = wine.find_wine()
    if loader is None:
        return "Wine's 64-bit loader (wine64) is missing"
    if arch == "i686":
        wine32 = os.path.join(os.path.dirname(loader), "wine")
        if not os.path.exists(wine32):
            return "Wine's 32-bit half (wine32) is not installed"
        if not wine.runs_32bit(wine32):
            return "this machine's kernel does not run 32-bit programs (no IA32 emulation)"
    return None


def timed(session, state, programs, rows, runs):
    """Microseconds per run for each of ROWS, from one console."""
    listing, results, out = (os.path.join(state, name) for name in ("list", "results", "out"))
    with open(listing, "w") as f:
        for _, _, where, program, args, _ in rows:
            f.write(where + " " + subprocess.list2cmdline([programs[program]] + args) + "\n")
    command = subprocess.list2cmdline([programs["probe"], wine.winpath(results), str(runs),
                                       wine.winpath(listing)])
    session.console([b"title Ostrivel timings",
                     ("run " + wine.winpath(out) + " " + command).encode()],
                    timeout=120 + runs * len(rows) * 6)
    with open(out + ".status", "rb") as f:
        status = steps.parse_fields(f.read())["status"]
    if status != 0:
        with open(out, "rb") as f:
            raise RuntimeError(f"timing probe exited {status}: "
                               + f.read().decode("latin-1").strip())
    with open(results) as f:
        return {row[0]: [int(us) for us in line.split()] for row, line in zip(rows, f)}


def measure(build, runs):
    """Microseconds per run for each of ROWS, then of BESIDE's rows, each
    beside its window probes."""
    state = tempfile.mkdtemp(prefix="ostrivel-bench.")
    try:
        wine.start(state, [os.path.join(build, name) for name in
                           ("ostrivel.exe", "ostrivel_noentry.exe", "tests/console_probe.exe",
                            "tests/window_probe.exe", "bench/timing_probe.exe")])
        session = wine.Session(state)
        programs = {name: wine.winpath(os.path.join(state, "bin", exe))
                    for name, exe in (("ostrivel", "ostrivel.exe"), ("noentry", "ostrivel_noentry.exe"),
                                      ("probe", "timing_probe.exe"))}
        times = timed(session, state, programs, ROWS, runs)
        for label, probes, most, rows in BESIDE:
            started = [session.window_probe(os.path.join(state, f"w{i}.log"),
                                            os.path.join(state, f"w{i}.ready"), options)
                       for i, options in enumerate(probes)]
            try:
                times.update(timed(session, state, programs, rows, min(runs, most or runs)))
            finally:
                for p in started:
                    p.kill()
                    p.wait()
                for i in range(len(probes)):
                    os.unlink(os.path.join(state, f"w{i}.ready"))
        return times
    finally:
        wine.stop(state)


def report(times):
    """Rows of minimum and median, as run times or as costs over their base."""
    low = {name: min(t) for name, t in times.items()}
    mid = {name: statistics.median(t) for name, t in times.items()}
    print(f"    {'':38} {'min':>8} {'median':>8}")
    for name, label, _, _, _, base in ROWS + tuple(r for *_, rows in BESIDE for r in rows):
        if label is None:
            continue
        if base is None:
            print(f"    {label:38} {low[name]:8d} {mid[name]:8.0f}")
        else:
            print(f"    {label:38} {low[name] - low[base]:+8d} {mid[name] - mid[base]:+8.0f}")
    own = mid["desktop"] - mid["idle"]
    rest = mid["c"] - mid["start"] - own
    title = mid["c title"] - mid["start"] - SLEEP_US - own
    print(f"    /c in the console, median: {own:.0f} Wine's own, {rest:.0f} the rest;"
          f" by the title, {SLEEP_US} more of its own wait and {title:.0f} the rest")


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    version = subprocess.run([wine.find_wine() or "wine64", "--version"], capture_output=True,
                             text=True).stdout.strip()
    print(f"Run time in a Wine console ({version}, wineconsole under Xvfb), {runs} runs each,")
    print("in microseconds from CreateProcess to the end of the process; below the starts,")
    print("costs over the start that does nothing in the same console"
          " (load average %.2f at the start):" % os.getloadavg()[0])
    for arch, preset in BUILDS:
        build = os.path.join(ROOT, "build", preset)
        reason = cannot_run(arch)
        if reason is not None:
            print(f"  {arch}: skipped: {reason}")
            continue
        print(f"  {arch}:")
        report(measure(build, runs))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
