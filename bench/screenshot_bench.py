#!/usr/bin/python3
"""Screenshot benchmark: `nuvra-click screenshot` of a 1280 x 800 window (the
rows fixture filling the headless screen), plain and with marks, timed as a
whole process beside `observe` of the same window, with the PNG's bytes and
the share of encoding it (nuvra_bench's BM_EncodePng on the very picture
written). Prints one Markdown table; asserts nothing.

    bench/screenshot_bench.py [--build DIR] [--runs N] [--rows N]

Starts its own headless session (1280 x 800) unless it runs inside one.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
FIXTURE = os.path.join(ROOT, "tests", "fixtures", "fixture_app.py")
APP, MARKS = "Nuvra Shots", ["300", "25", "60000"]


def timed(command):
    started = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert done.returncode == 0, command
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--rows", type=int, default=60)
    args = parser.parse_args()
    if "NUVRA_A11Y_BUS_ADDRESS" not in os.environ:
        os.execv(os.path.join(ROOT, "scripts", "headless-session"),
                 ["headless-session", "--screen", "1280x800x24", sys.executable, "-B", *sys.argv])
    tool = os.path.join(args.build, "nuvra-click")
    app = subprocess.Popen(["/usr/bin/python3", "-B", FIXTURE, "--mode", "rows", "--rows", str(args.rows),
                            "--app-name", APP, "--x", "0", "--y", "0", "--size", "1280x800"],
                           stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    folder = tempfile.mkdtemp()
    shot, marked = os.path.join(folder, "shot.png"), os.path.join(folder, "marked.png")
    contenders = {"screenshot": [tool, "screenshot", shot, APP],
                  "screenshot marks 300 25 60000": [tool, "screenshot", marked, "marks", *MARKS, APP],
                  "observe 300 25 60000": [tool, "observe", *MARKS, APP]}
    try:
        for _ in range(300):
            if subprocess.run([tool, "observe", "1", "1", "100", APP], capture_output=True).returncode == 0:
                break
            time.sleep(0.1)
        time.sleep(1)  # drawn
        line = subprocess.run(contenders["screenshot"], capture_output=True, text=True).stdout
        times = {name: [] for name in contenders}
        for _ in range(args.runs):
            for name, command in contenders.items():
                times[name].append(timed(command))
        encode = {}
        for name, path in (("screenshot", shot), ("screenshot marks 300 25 60000", marked)):
            out = subprocess.run([os.path.join(args.build, "bench", "nuvra_bench"), "--benchmark_filter=EncodePng",
                                  "--benchmark_format=json", "--benchmark_min_time=0.5"],
                                 capture_output=True, text=True, env=dict(os.environ, NUVRA_BENCH_PNG=path)).stdout
            encode[name] = json.loads(out)["benchmarks"][0]["real_time"] / 1000
        print(line.strip())
        print("\n| command | median | min | max | PNG bytes | encoding | encode share |")
        print("|---|---|---|---|---|---|---|")
        for name, values in times.items():
            median = statistics.median(values)
            path = {"screenshot": shot, "screenshot marks 300 25 60000": marked}.get(name)
            extra = ("| %d | %.1f ms | %.0f %% |" % (os.path.getsize(path), encode[name] * 1e3,
                                                    100 * encode[name] / median)) if path else "| | | |"
            print("| `%s` | %.1f ms | %.1f ms | %.1f ms %s" % (name, median * 1e3, min(values) * 1e3,
                                                              max(values) * 1e3, extra))
    finally:
        app.kill()
        app.communicate(timeout=10)


if __name__ == "__main__":
    main()
