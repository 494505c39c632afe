#!/usr/bin/python3
"""Keyboard benchmark: how fast `nuvra-click type` types into real fields
with no key lost or doubled, and what `key Return` costs beyond its pacing.
Prints Markdown tables.

    bench/keyboard_bench.py [--build DIR] [--runs N] [--chars N] [--toolkits gtk3,qt5,gtk4,firefox]

Starts its own headless session (scripts/headless-session) unless it already
runs inside one. For each toolkit it focuses a text field (GTK3: the form
fixture's User field, Qt5 and GTK4: the first line edit of toolkit_app.py,
Firefox: the Name input of tests/fixtures/page.html), then, for each kind of
text, empties the field with `key ctrl+a BackSpace`, times one `type` of
--chars characters as a whole process, and reads the field back over AT-SPI
to count the characters lost, doubled or changed. The kinds: printable
ASCII (keys of the layout, Shift where needed), and CJK characters (none in
the layout: typed through keycodes bound for the run, rebound every ~18
distinct characters). Nothing here asserts anything: it measures.
"""

import argparse
import difflib
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
HOLD = 0.001  # the pacing of a lone key: held 1 ms, nothing after its release


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--chars", type=int, default=1000)
    parser.add_argument("--toolkits", default="gtk3,qt5,gtk4,firefox")
    return parser.parse_args()


def texts(n):
    rng = random.Random(7)
    ascii_ = "".join(chr(rng.randrange(0x21, 0x7F)) if rng.random() > 0.15 else " " for _ in range(n))
    return {"ASCII": ascii_, "CJK (bound keys)": "".join(chr(0x4E00 + rng.randrange(2000)) for _ in range(n))}


def field_texts(app_name):
    """Every text field's whole text in the application, over AT-SPI."""
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi
    found, desktop = [], Atspi.get_desktop(0)
    for app in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
        stack = [app] if app is not None and app.get_name() == app_name else []
        while stack:
            o = stack.pop()
            try:
                if o.get_role() in (Atspi.Role.ENTRY, Atspi.Role.TEXT):
                    t = o.get_text_iface()
                    found.append(t.get_text(0, t.get_character_count()))
                stack.extend(o.get_child_at_index(j) for j in range(min(o.get_child_count(), 500)))
            except Exception:  # an object gone while walked
                pass
    return found


def errors(sent, got):
    """Characters lost, doubled or changed between what was typed and what arrived."""
    ops = difflib.SequenceMatcher(None, sent, got, autojunk=False).get_opcodes()
    return sum(max(i2 - i1, j2 - j1) for op, i1, i2, j1, j2 in ops if op != "equal")


def start(toolkit, run, App, wait_for):
    """The toolkit's window with a text field focused; its name and a closer."""
    limits = ("400", "40", "100000")
    if toolkit == "firefox":
        profile = tempfile.TemporaryDirectory()
        with open(os.path.join(profile.name, "user.js"), "w") as prefs:
            prefs.write('user_pref("browser.shell.checkDefaultBrowser", false);\n'
                        'user_pref("browser.aboutwelcome.enabled", false);\n')
        browser = subprocess.Popen(
            ["firefox-esr", "--no-remote", "--new-instance", "--profile", profile.name,
             "file://" + os.path.join(ROOT, "tests", "fixtures", "page.html")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=dict(os.environ, GNOME_ACCESSIBILITY="1", MOZ_CRASHREPORTER_DISABLE="1"))
        wait_for(lambda: "Counter page" in run("observe", 1, 1, 1000, "Firefox", check=False).out, 60)
        name, label, close = "Firefox", "Name", lambda: (browser.kill(), browser.wait(), profile.cleanup())
    else:
        args = ("--mode", "form") if toolkit == "gtk3" else ("--toolkit", toolkit, "--rows", "1")
        app = App("Nuvra bench " + toolkit, *args,
                  script="fixture_app.py" if toolkit == "gtk3" else "toolkit_app.py")
        name, label, close = app.name, "User" if toolkit == "gtk3" else None, app.close
    time.sleep(3)  # GTK4 lays out, a browser opens its tab
    for _ in range(20):  # a window still settling may make the observation stale
        seen = run("observe", *limits, name)
        index = seen.find(label).index if label else [e for e in seen.elements if e.role == "AXTextField"][0].index
        # An empty text gives the window the X focus and the field focus.
        focused = run("type", index, "", *limits, seen.sha, name, check=False)
        if focused.status != 6:
            break
    if toolkit == "gtk4":  # GTK4 takes no focus over AT-SPI: Tab to the field
        field = lambda: [e for e in run("observe", *limits, name).elements if e.role == "AXTextField"][0]
        for _ in range(10):
            if field().focused:
                break
            run("key", "Tab")
            time.sleep(0.3)
        if not field().focused:
            sys.exit("keyboard_bench: the GTK4 field never took the focus")
    return name, close


def main():
    args = parse_args()
    if "NUVRA_A11Y_BUS_ADDRESS" not in os.environ:
        command = [os.path.join(ROOT, "scripts", "headless-session"), "/usr/bin/python3", "-B",
                   os.path.abspath(__file__)] + sys.argv[1:]
        os.execv(command[0], command)
    os.environ["NUVRA_CLICK"] = tool = os.path.join(args.build, "nuvra-click")
    from e2e import App, run, wait_for

    print("Medians of %d runs of %d characters; %d cores; load average before: %.2f\n" % (
        args.runs, args.chars, os.cpu_count(), os.getloadavg()[0]))
    print("| toolkit | text | characters per second | lost, doubled or changed |")
    print("|---|---|---|---|")
    for toolkit in args.toolkits.split(","):
        name, close = start(toolkit, run, App, wait_for)
        try:
            for kind, text in texts(args.chars).items():
                rates, wrong = [], []
                for _ in range(args.runs):
                    run("key", "ctrl+a", "BackSpace")
                    started = time.perf_counter()
                    subprocess.run([tool, "type", text], check=True)
                    rates.append(len(text) / (time.perf_counter() - started))
                    got = wait_for(lambda: [t for t in field_texts(name) if len(t) >= len(text)], 5)
                    got = got or field_texts(name)
                    wrong.append(min((errors(text, t) for t in got), default=len(text)))
                print("| %s | %s | %.0f | %d of %d |" % (toolkit, kind, statistics.median(rates),
                                                       max(wrong), len(text)), flush=True)
        finally:
            close()

    key = [tool, "key", "Return"]
    times = []
    for _ in range(args.runs * 4):
        started = time.perf_counter()
        subprocess.run(key, check=True)
        times.append(time.perf_counter() - started)
    failing = []
    for _ in range(args.runs * 4):
        started = time.perf_counter()
        subprocess.run([tool, "key", "Retrun"], stderr=subprocess.DEVNULL)
        failing.append(time.perf_counter() - started)
    print("\n| command | median | beyond its pacing |\n|---|---|---|")
    print("| `key Return` | %.1f ms | %.1f ms |" % (statistics.median(times) * 1e3,
                                                   (statistics.median(times) - HOLD) * 1e3))
    print("| `key Retrun` (refused) | %.1f ms | — |" % (statistics.median(failing) * 1e3))


if __name__ == "__main__":
    main()
