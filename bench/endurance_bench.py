#!/usr/bin/python3
"""Endurance benchmark: a long mix of runs against one fixture window, then
agents at once, each with a window of its own. Prints Markdown tables.

    bench/endurance_bench.py [--build DIR] [--runs 10000] [--every 500]
                             [--fresh-every 2000] [--agents 8] [--agent-runs 300]

The mix and the agents are those of tests/e2e/test_endurance.py (SoakTest,
AgentsTest), run longer: observe, press, settext, type, hit, screenshot,
and a press with a hash the window no longer has (the agents at once leave
out type: the keyboard's focus is one for the desktop). Where the test stops at the
first run that ends otherwise than it must, this counts such runs and goes
on (a loaded machine makes some); it asserts nothing.

For the mix: per kind of run, in the first and in the last thousand runs,
the peak resident memory of the run's process (median and maximum) and its
time (median and 99th percentile); and what runs could leave behind,
counted every --every runs (X clients, names on both buses, open files of
the fixture and of the bus daemons, files beside the screenshot, keycodes
bound to a keysym, processes of the session), with the fixture's own
resident memory. With --fresh-every N the window is replaced by a fresh one
every N runs and its first counts are taken again: the application's own
growth is shown per window, beside the tool's figures over all the runs.
An interrupt (SIGINT) ends the mix where it got: its tables are printed for
the runs made, and the agents follow. For the agents: their runs' times, and whether each window
ends up showing just its own agent's presses and text.

Starts its own headless session (scripts/headless-session) unless it
already runs inside one.
"""

import argparse
import collections
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--runs", type=int, default=10000)
    parser.add_argument("--every", type=int, default=500)
    parser.add_argument("--fresh-every", type=int, default=0, help="a fresh window every N runs (0: one window)")
    parser.add_argument("--agents", type=int, default=8)
    parser.add_argument("--agent-runs", type=int, default=300)
    return parser.parse_args()


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def figures(records):
    # kind -> (runs, RSS p50, RSS max, time p50, time p99), MB and ms
    kinds = {}
    for kind, seconds, rss in records:
        kinds.setdefault(kind, []).append((seconds, rss))
    return {kind: (len(runs), statistics.median(r for _, r in runs) / 1024, max(r for _, r in runs) / 1024,
                   statistics.median(s for s, _ in runs) * 1000, percentile([s for s, _ in runs], 0.99) * 1000)
            for kind, runs in kinds.items()}


def report(unexpected):
    # The runs that ended otherwise than they must, by kind, status and first line.
    counts = collections.Counter((kind, status, text.split("\n")[0][:90]) for _, kind, status, text in unexpected)
    print("\nRuns that ended otherwise: %d%s\n" % (len(unexpected), ":" if counts else "."))
    for (kind, status, text), count in counts.most_common():
        print("- %d × %s exit %d: %s" % (count, kind, status, text))
    print()


def soak_in_windows(test_endurance, runs, every, fresh_every):
    # The mix in windows of `fresh_every` runs each (all the runs in one if
    # 0). Returns every run's record, each window's settled counts and
    # whether it showed what was sent, and the runs that ended otherwise; on
    # an interrupt, what the windows so far have made.
    made = []

    class Kept(test_endurance.Agent):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, **kwargs)
            made.append(self)
    plain, test_endurance.Agent, windows = test_endurance.Agent, Kept, []
    try:
        while sum(len(a.records) for a in made) < runs:
            left = runs - sum(len(a.records) for a in made)
            windows.append(test_endurance.soak(min(left, fresh_every or left), every, strict=False)[1:])
    except KeyboardInterrupt:
        print("## Interrupted after %d runs\n" % sum(len(a.records) for a in made))
    finally:
        test_endurance.Agent = plain
    return ([r for a in made for r in a.records], windows, [u for a in made for u in a.unexpected],
            [(len(a.records), [seconds for kind, seconds, _ in a.records if kind == "observe"]) for a in made])


def main():
    args = parse_args()
    if "NUVRA_A11Y_BUS_ADDRESS" not in os.environ:
        command = [os.path.join(ROOT, "scripts", "headless-session"), "/usr/bin/python3", "-B",
                   os.path.abspath(__file__)] + sys.argv[1:]
        os.execv(command[0], command)
    os.environ["NUVRA_CLICK"] = os.path.abspath(os.path.join(args.build, "nuvra-click"))
    import test_endurance

    # Each fixture's own resident memory (kilobytes) at each look, beside
    # what the test counts.
    counted, fixture = test_endurance.leftovers, collections.defaultdict(list)

    def leftovers(app, folder):
        with open("/proc/%d/statm" % app.process.pid) as statm:
            fixture[app.process.pid].append(int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024)
        return counted(app, folder)
    test_endurance.leftovers = leftovers
    started = time.monotonic()
    records, windows, unexpected, observes = soak_in_windows(test_endurance, args.runs, args.every,
                                                             args.fresh_every)
    wrong = [w for _, shown in windows for w in shown]
    print("## %d runs of the mix in %.0f s, %d window%s%s\n" % (
        len(records), time.monotonic() - started, len(observes), "s" * (len(observes) != 1),
        "; windows not as sent: %r" % wrong if wrong else ""))
    report(unexpected)
    part = min(1000, len(records) // 2)
    first, last = figures(records[:part]), figures(records[-part:])
    print("| run | RSS p50, first %d | last | RSS max, first | last | time p50, first | last "
          "| time p99, first | last |" % part)
    print("|---|---|---|---|---|---|---|---|---|")
    for kind in first:
        a, b = first[kind], last.get(kind, first[kind])
        print("| %s | %.2f MB | %.2f MB | %.2f MB | %.2f MB | %.0f ms | %.0f ms | %.0f ms | %.0f ms |"
              % (kind, a[1], b[1], a[2], b[2], a[3], b[3], a[4], b[4]))
    # Each window's counts are held against its own first count.
    samples = [sample for window, _ in windows for sample in window]
    if samples:
        print("\n| left behind, every %d runs | first | last | least | most | windows off their first |"
              % args.every)
        print("|---|---|---|---|---|---|")
        for name in samples[0][1]:
            counts = [sample[name] for _, sample in samples]
            looked = [window for window, _ in windows if window]
            off = sum(any(s[name] != window[0][1][name] for _, s in window) for window in looked)
            print("| %s | %d | %d | %d | %d | %d of %d |" % (name, counts[0], counts[-1], min(counts),
                                                             max(counts), off, len(looked)))
    print("\n| window | runs | fixture's resident memory, first | last | observe p50, first 100 | last 100 |")
    print("|---|---|---|---|---|---|")
    for k, (kb, (made, seen)) in enumerate(zip(fixture.values(), observes)):
        print("| %d | %d | %.1f MB | %.1f MB | %.0f ms | %.0f ms |" % (
            k + 1, made, kb[0] / 1024, kb[-1] / 1024,
            statistics.median(seen[:100]) * 1000, statistics.median(seen[-100:]) * 1000))

    started = time.monotonic()
    crowd, failures, wrong = test_endurance.agents(args.agents, args.agent_runs, strict=False)
    runs = [seconds for agent in crowd for _, seconds, _ in agent.records]
    stale = sum(kind == "stale" for agent in crowd for kind, *_ in agent.records)
    print("\n## %d agents at once, %d runs each, in %.0f s\n" % (args.agents, args.agent_runs,
                                                              time.monotonic() - started))
    print("| runs | time p50 | time p99 | slowest | stale presses refused (exit 6) | windows not as sent |")
    print("|---|---|---|---|---|---|")
    print("| %d | %.0f ms | %.0f ms | %.0f ms | %s | %d |" % (
        len(runs), statistics.median(runs) * 1000, percentile(runs, 0.99) * 1000, max(runs) * 1000,
        "%d of %d" % (stale - sum(u[1] == "stale" for agent in crowd for u in agent.unexpected), stale),
        len(wrong)))
    report([u for agent in crowd for u in agent.unexpected])
    for failure in failures + wrong:
        print(failure, file=sys.stderr)


if __name__ == "__main__":
    main()
