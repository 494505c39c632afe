#!/usr/bin/python3
"""End-to-end benchmark: `nuvra-click observe` against reference walks that
make the same reads, on the rows fixture window at several sizes, and the
start-up cost of short commands. Prints one Markdown table.

    bench/e2e_bench.py [--build DIR] [--runs N] [--sizes 300,1200,5000,10000]

Starts its own headless session (scripts/headless-session) unless it already
runs inside one. Needs a build with benchmarks (nuvra-click,
bench/atspi_cache_walk) and python3-pyatspi.

Every measurement is the median of --runs rounds; within a round the
contenders run back to back in an order that rotates from round to round,
so that a slow moment of a shared machine does not fall on one of them.
`nuvra-click` is timed as a whole process, as an agent sees it; the
reference walks report their walk alone (from looking the application up
to the last read, library and interpreter start-up excluded), which favours
them. Nothing here asserts anything: it measures.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
FIXTURE = os.path.join(ROOT, "tests", "fixtures", "fixture_app.py")
PYATSPI_WALK = os.path.join(HERE, "pyatspi_walk.py")
SYSTEM_PYTHON = "/usr/bin/python3"
APP_NAME = "Nuvra Rows"
# Bounds no window here reaches: every element is read.
BIG = ["100000", "64", "1000000"]
SMALL = ["50", "5", "100000"]
CLICK_PAUSES = 0.080  # the click form's fixed pause between press and release


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--sizes", default="300,1200,5000,10000")
    parser.add_argument("--firefox", type=int, metavar="ROWS",
                        help="instead: a page of ROWS rows (a text cell, a button, an input) in Firefox")
    return parser.parse_args()


def in_session():
    return "NUVRA_A11Y_BUS_ADDRESS" in os.environ


def timed(command):
    """A command's wall time, from start to exit."""
    started = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - started


def peak_memory_kb(command):
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.dup2(devnull, 2)
        try:
            os.execv(command[0], command)
        finally:
            os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    return usage.ru_maxrss if os.waitstatus_to_exitcode(status) == 0 else None


HUNG = {}  # reference walk -> runs that never finished


def walk_seconds(command):
    """A reference walk's own report of its walk time, or None."""
    try:
        done = subprocess.run(command, capture_output=True, timeout=60)
    except subprocess.TimeoutExpired:
        # libatspi can hang for good; such a run has no time and is counted.
        HUNG[command[-4]] = HUNG.get(command[-4], 0) + 1
        return None
    for field in done.stdout.decode().split():
        if field.startswith("seconds="):
            return float(field[len("seconds="):])
    return None


class FirefoxPage:
    """Firefox ESR on a generated page, with accessibility on and a fresh
    profile; the page is in once the window's title names it."""

    def __init__(self, rows, tool):
        self.profile = tempfile.TemporaryDirectory()
        page = os.path.join(self.profile.name, "rows.html")
        with open(page, "w") as out:
            out.write("<!DOCTYPE html><title>Rows page</title><table>%s</table>" % "".join(
                "<tr><td>Row %d text</td><td><button>Go %d</button></td><td><input value=v%d></td></tr>"
                % (i, i, i) for i in range(rows)))
        with open(os.path.join(self.profile.name, "user.js"), "w") as prefs:
            prefs.write('user_pref("browser.aboutwelcome.enabled", false);\n'
                        'user_pref("browser.shell.checkDefaultBrowser", false);\n')
        self.process = subprocess.Popen(
            ["firefox-esr", "--no-remote", "--new-instance", "--profile", self.profile.name,
             "file://" + page], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=dict(os.environ, GNOME_ACCESSIBILITY="1", MOZ_CRASHREPORTER_DISABLE="1"))
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            if b"Rows page" in subprocess.run([tool, "observe", "1", "1", "1000", "Firefox"],
                                              capture_output=True).stdout:
                time.sleep(5)  # the browser settles its tabs and toolbars
                return
            time.sleep(0.2)
        self.close()
        raise RuntimeError("the page never showed")

    def close(self):
        self.process.kill()
        self.process.wait()
        self.profile.cleanup()


class RowsApp:
    def __init__(self, rows, tool):
        self.process = subprocess.Popen(
            [SYSTEM_PYTHON, "-B", FIXTURE, "--mode", "rows", "--rows", str(rows),
             "--app-name", APP_NAME, "--title", "Rows"],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            if subprocess.run([tool, "observe", "1", "1", "1000", APP_NAME],
                              capture_output=True).returncode == 0:
                return
            time.sleep(0.2)
        self.close()
        raise RuntimeError("the rows window never became observable")

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def rounds(contenders, runs):
    """contenders: name -> callable giving seconds. Interleaved, rotating."""
    names = list(contenders)
    results = {name: [] for name in names}
    for r in range(runs):
        order = names[r % len(names):] + names[:r % len(names)]
        for name in order:
            results[name].append(contenders[name]())
    return {name: median(values) for name, values in results.items()}


def ms(seconds):
    if seconds is None:
        return "—"
    return "%.1f ms" % (seconds * 1000) if seconds < 0.1 else "%.0f ms" % (seconds * 1000)


def main():
    args = parse_args()
    if not in_session():
        command = [os.path.join(ROOT, "scripts", "headless-session"), SYSTEM_PYTHON, "-B",
                   os.path.abspath(__file__)] + sys.argv[1:]
        os.execv(command[0], command)

    tool = os.path.join(args.build, "nuvra-click")
    cache_walk = os.path.join(args.build, "bench", "atspi_cache_walk")
    for path in (tool, cache_walk):
        if not os.path.exists(path):
            sys.exit("e2e_bench: %s is missing (build with benchmarks)" % path)

    print("Medians of %d interleaved runs; %d cores; load average before: %.2f" % (
        args.runs, os.cpu_count(), os.getloadavg()[0]))
    print()
    print("| window | elements | nuvra-click observe | pyatspi walk | "
          "libatspi+cache walk | vs pyatspi | vs libatspi+cache | per element | peak memory |")
    print("|---|---|---|---|---|---|---|---|---|")
    small_line = None
    sizes = [int(s) for s in args.sizes.split(",") if s] if not args.firefox else [args.firefox * 4]
    for size in sizes:
        rows = max(1, size // 4)
        app = FirefoxPage(rows, tool) if args.firefox else RowsApp(rows, tool)
        app_name = "Firefox" if args.firefox else APP_NAME
        try:
            observe = [tool, "observe", *BIG, app_name]
            first = subprocess.run(observe, capture_output=True)
            elements = first.stdout.decode().rsplit("nodes=", 1)[-1].split()[0]
            contenders = {
                "tool": lambda: timed(observe),
                "pyatspi": lambda: walk_seconds(
                    [SYSTEM_PYTHON, "-B", PYATSPI_WALK, app_name, BIG[0], BIG[1]]),
                "cache": lambda: walk_seconds([cache_walk, app_name, BIG[0], BIG[1]]),
            }
            for warm in contenders.values():
                warm()
            m = rounds(contenders, args.runs)
            memory = peak_memory_kb(observe)
            ratio_py = m["pyatspi"] / m["tool"] if m["tool"] and m["pyatspi"] else None
            ratio_cache = m["tool"] / m["cache"] if m["tool"] and m["cache"] else None
            print("| %d rows%s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                rows, " (Firefox)" if args.firefox else "", elements, ms(m["tool"]), ms(m["pyatspi"]), ms(m["cache"]),
                "%.1f× faster" % ratio_py if ratio_py else "—",
                "%.2f×" % ratio_cache if ratio_cache else "—",
                "%.0f µs" % (m["tool"] / int(elements) * 1e6),
                "%.1f MB" % (memory / 1024) if memory else "—"))
            if size >= 10000:
                small = [tool, "observe", *SMALL, APP_NAME]
                small_py = [SYSTEM_PYTHON, "-B", PYATSPI_WALK, APP_NAME, SMALL[0], SMALL[1]]
                s = rounds({"tool": lambda: timed(small), "pyatspi": lambda: walk_seconds(small_py)},
                           args.runs)
                small_line = "| `observe %s` on %d rows | %s | %s |" % (
                    " ".join(SMALL), rows, ms(s["tool"]), ms(s["pyatspi"]))
        finally:
            app.close()

    if args.firefox:
        return
    if HUNG:
        print()
        print("Reference walks that hung (killed after 60 s): %s" % ", ".join(
            "%s %d" % (os.path.basename(name), count) for name, count in HUNG.items()))
    if small_line:
        print()
        print("| small observation of a big window | nuvra-click | pyatspi walk |")
        print("|---|---|---|")
        print(small_line)
    print()
    print("| short command | median | beyond its fixed pauses |")
    print("|---|---|---|")
    starts = rounds({
        "click": lambda: timed([tool, "5", "5"]),
        "usage": lambda: timed([tool]),
        "bad": lambda: timed([tool, "observe", "x", "1", "1"]),
    }, max(args.runs, 15))
    print("| click `5 5` | %s | %s |" % (ms(starts["click"]), "%.1f ms" % (
        (starts["click"] - CLICK_PAUSES) * 1000)))
    print("| no arguments (usage, exit 3) | %s | %.1f ms |" % (ms(starts["usage"]),
                                                          starts["usage"] * 1000))
    print("| `observe x 1 1` (bad number, exit 3) | %s | %.1f ms |" % (
        ms(starts["bad"]), starts["bad"] * 1000))


if __name__ == "__main__":
    main()
