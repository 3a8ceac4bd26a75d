"""The Python tests' one reporter: named checks, a summary, and on failure
the command that runs the test again."""


def shorten(value):
    text = repr(value)
    return text if len(text) <= 300 else f"{text[:200]}... ({len(text)} characters)"


class Report:
    def __init__(self, rerun):
        self.rerun = rerun
        self.passes = 0
        self.failures = []

    def check(self, name, got, want):
        """Whether GOT is WANT; a failure is printed with both."""
        if got == want:
            self.passes += 1
            return True
        self.failures.append(name)
        print(f"FAIL {name}\n  want: {shorten(want)}\n  got:  {shorten(got)}", flush=True)
        return False

    def ok(self, name, condition, detail=""):
        return self.check(name + (f" ({detail})" if detail else ""), bool(condition), True)

    def finish(self):
        """The summary; the exit status: 1 when a check failed."""
        print(f"{self.passes} passed, {len(self.failures)} failed")
        if self.failures:
            print("to run it again: " + self.rerun)
        return 1 if self.failures else 0
