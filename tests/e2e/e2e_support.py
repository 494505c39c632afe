"""Shared pieces of the end-to-end tests: running the real nuvra-click
binary, starting the GTK fixture application, and reading observations.

The tests run inside scripts/headless-session (one session per ctest test);
the binary's path comes in NUVRA_CLICK.
"""

import json
import os
import re
import select
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "fixtures")
FIXTURE = os.path.join(FIXTURES, "fixture_app.py")
SYSTEM_PYTHON = "/usr/bin/python3"  # the one with GTK bindings

sys.path.insert(0, FIXTURES)
from fixture_texts import LONG_TEXT, MULTI_LINE_TEXT, SECRET  # noqa: E402,F401

APP_NAME = "Nuvra Éditeur"
APP_ID = "org.nuvra.Fixture"
WINDOW_TITLE = "Nuvra Fixture / Main"
LIMITS = ["400", "40", "1000000"]

# A run of the tool never legitimately takes this long here; a run that
# does is a hang.
RUN_BOUND_SECONDS = 20.0

_QUOTED = r'"(?:[^"\\]|\\.)*"'
ELEMENT_LINE = re.compile(
    r"^(?P<indent>(?:  )*)\[e(?P<index>[1-9][0-9]*)\] (?P<role>\S+)"
    r"(?: (?P<label>" + _QUOTED + r"))?"
    r"(?: @(?P<cx>-?[0-9]+),(?P<cy>-?[0-9]+))?"
    r"(?: value=(?P<value>" + _QUOTED + r"))?"
    r"(?P<disabled> disabled)?(?P<focused> focused)?$")
END_LINE = re.compile(r"^NUVRA_END nodes=(?P<nodes>[0-9]+) truncated=(?P<truncated>[01]) "
                      r"sha256=(?P<sha>[0-9a-f]{64})$")


def binary():
    path = os.environ.get("NUVRA_CLICK")
    if not path:
        raise RuntimeError("NUVRA_CLICK names the nuvra-click binary under test")
    return path


class Run:
    def __init__(self, args, status, out, err, seconds):
        self.args = args
        self.status = status
        self.out = out
        self.err = err
        self.seconds = seconds

    def __repr__(self):
        return "Run(%r, status=%r, out=%r, err=%r, %.2fs)" % (
            self.args, self.status, self.out[:400], self.err[:400], self.seconds)


def run(*args, env=None, timeout=RUN_BOUND_SECONDS):
    """Runs nuvra-click once; a run that outlives `timeout` fails the test."""
    command = [binary()] + [str(a) for a in args]
    started = time.monotonic()
    try:
        done = subprocess.run(command, capture_output=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        raise AssertionError("nuvra-click %s did not finish within %.0fs" % (args, timeout))
    seconds = time.monotonic() - started
    return Run(list(args), done.returncode, done.stdout.decode("utf-8", "replace"),
               done.stderr.decode("utf-8", "replace"), seconds)


class Element:
    def __init__(self, match):
        self.index = int(match.group("index"))
        self.depth = len(match.group("indent")) // 2
        self.role = match.group("role")
        self.label = json.loads(match.group("label")) if match.group("label") else None
        self.center = ((int(match.group("cx")), int(match.group("cy")))
                       if match.group("cx") is not None else None)
        self.value = json.loads(match.group("value")) if match.group("value") else None
        self.disabled = match.group("disabled") is not None
        self.focused = match.group("focused") is not None

    def __repr__(self):
        return "[e%d] %s %r @%r value=%r" % (self.index, self.role, self.label, self.center,
                                            self.value)


class Observation:
    """One parsed observation block; parse() rejects any line off the grammar."""

    def __init__(self, result):
        self.run = result
        lines = result.out.split("\n")
        if lines[-1] != "":
            raise AssertionError("observe output does not end with a line feed: %r" % result)
        lines = lines[:-1]
        if len(lines) < 3 or not lines[0].startswith("NUVRA_OBSERVE app=") \
                or not lines[1].startswith("NUVRA_WINDOW "):
            raise AssertionError("not an observation block: %r" % result)
        self.app = lines[0][len("NUVRA_OBSERVE app="):]
        self.window = lines[1][len("NUVRA_WINDOW "):]
        end = END_LINE.match(lines[-1])
        if not end:
            raise AssertionError("bad end line %r" % lines[-1])
        self.nodes = int(end.group("nodes"))
        self.truncated = end.group("truncated") == "1"
        self.sha = end.group("sha")
        self.elements = []
        for line in lines[2:-1]:
            match = ELEMENT_LINE.match(line)
            if not match:
                raise AssertionError("element line off the grammar: %r" % line)
            self.elements.append(Element(match))
        self.lines = lines

    def find(self, role=None, label=None, value_prefix=None):
        found = [e for e in self.elements
                 if (role is None or e.role == role)
                 and (label is None or e.label == label)
                 and (value_prefix is None or (e.value or "").startswith(value_prefix))]
        if len(found) != 1:
            raise AssertionError("%d elements match role=%r label=%r value=%r in %r" % (
                len(found), role, label, value_prefix, self.lines))
        return found[0]

    def value_of(self, prefix):
        return self.find(role="AXStaticText", value_prefix=prefix).value


def observe(*extra, limits=LIMITS):
    result = run("observe", *limits, *extra)
    if result.status != 0:
        raise AssertionError("observe failed: %r" % result)
    return Observation(result)


class FixtureApp:
    """The GTK fixture window, driven through its standard input."""

    def __init__(self, *args, name=APP_NAME, title=WINDOW_TITLE, script=FIXTURE):
        self.name = name
        self.process = subprocess.Popen(
            [SYSTEM_PYTHON, "-B", script, "--app-name", name, "--title", title] + list(args),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.wait_until_observable()
        except BaseException:
            self.close()
            raise

    def wait_until_observable(self, deadline_seconds=30.0):
        # Applications register with the AT-SPI registry asynchronously; the
        # tool itself tells when the window can be observed.
        deadline = time.monotonic() + deadline_seconds
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise AssertionError("fixture exited early with %r" % self.process.returncode)
            if run("observe", "1", "1", "1000", self.name).status == 0:
                return
            time.sleep(0.05)
        raise AssertionError("fixture %r never became observable" % self.name)

    def command(self, line, timeout=10.0):
        """Sends one command and waits for the app's acknowledgement."""
        self.process.stdin.write((line + "\n").encode("utf-8"))
        self.process.stdin.flush()
        word = line.split(" ", 1)[0]
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [], 0.1)
            if ready:
                reply = self.process.stdout.readline().decode("utf-8").strip()
                if reply == "done " + word:
                    return
        raise AssertionError("fixture did not acknowledge %r" % line)

    def stop(self, sig=signal.SIGTERM):
        self.process.send_signal(sig)

    def close(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGCONT)
            self.process.kill()
        self.process.wait(timeout=10)
        for stream in (self.process.stdin, self.process.stdout):
            try:
                stream.close()
            except OSError:
                pass


def wait_for(predicate, timeout=5.0, interval=0.05):
    """Polls an observation-based condition until it holds; returns the last result."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(interval)


def main():
    unittest.main(module="__main__", verbosity=2)
