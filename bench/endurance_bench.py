#!/usr/bin/python3
"""Endurance benchmark: a long mix of runs against one fixture window, then
agents at once, each with a window of its own. Prints Markdown tables.

    bench/endurance_bench.py [--build DIR] [--runs 10000] [--every 500]
                             [--agents 8] [--agent-runs 300]

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
resident memory. For the agents: their runs' times, and whether each window
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


def main():
    args = parse_args()
    if "NUVRA_A11Y_BUS_ADDRESS" not in os.environ:
        command = [os.path.join(ROOT, "scripts", "headless-session"), "/usr/bin/python3", "-B",
                   os.path.abspath(__file__)] + sys.argv[1:]
        os.execv(command[0], command)
    os.environ["NUVRA_CLICK"] = os.path.abspath(os.path.join(args.build, "nuvra-click"))
    import test_endurance

    # The fixture's own resident memory (kilobytes) at each look, beside
    # what the test counts.
    counted, fixture = test_endurance.leftovers, []

    def leftovers(app, folder):
        with open("/proc/%d/statm" % app.process.pid) as statm:
            fixture.append(int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024)
        return counted(app, folder)
    test_endurance.leftovers = leftovers
    started = time.monotonic()
    agent, samples, wrong = test_endurance.soak(args.runs, args.every, strict=False)
    records = agent.records
    print("## %d runs of the mix in %.0f s%s\n" % (len(records), time.monotonic() - started,
                                                   "; windows not as sent: %r" % wrong if wrong else ""))
    report(agent.unexpected)
    part = min(1000, len(records) // 2)
    first, last = figures(records[:part]), figures(records[-part:])
    print("| run | RSS p50, first %d | last | RSS max, first | last | time p50, first | last "
          "| time p99, first | last |" % part)
    print("|---|---|---|---|---|---|---|---|---|")
    for kind in first:
        a, b = first[kind], last[kind]
        print("| %s | %.2f MB | %.2f MB | %.2f MB | %.2f MB | %.0f ms | %.0f ms | %.0f ms | %.0f ms |"
              % (kind, a[1], b[1], a[2], b[2], a[3], b[3], a[4], b[4]))
    print("\n| left behind, every %d runs | first | last | least | most |" % args.every)
    print("|---|---|---|---|---|")
    for name in samples[0][1]:
        counts = [sample[name] for _, sample in samples]
        print("| %s | %d | %d | %d | %d |" % (name, counts[0], counts[-1], min(counts), max(counts)))
    print("| fixture's resident memory | %.1f MB | %.1f MB | %.1f MB | %.1f MB |"
          % tuple(kb / 1024 for kb in (fixture[0], fixture[-1], min(fixture), max(fixture))))

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
