# The one driver of the end-to-end tests, after ninja's misc/output_test.py:
# it runs the real nuvra-click binary (NUVRA_CLICK) inside
# scripts/headless-session, holds every run to the output protocol, reads
# the tables of cases, starts and commands the fixture applications, and
# watches the accessibility bus.
import functools
import glob
import json
import os
import re
import subprocess
import tempfile
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "fixtures")
SOURCES = os.path.join(HERE, "..", "..", "src")
A11Y = os.environ.get("NUVRA_A11Y_BUS_ADDRESS", "")
LIMITS = ("400", "40", "1000000")
# The untrusted marker, and the starts of the diagnostic when no accessibility
# bus, or no registry on it, answered.
UNTRUSTED = ("NUVRA_AX_UNTRUSTED\n", "nuvra-click: no accessibility bus answered — turn ",
             "nuvra-click: the accessibility bus answered but its registry did not — turn ")
STALE = "nuvra-click: stale observation — the window's element tree changed since screen.observe\n"
_TEXT = r'"(?:[^"\\]|\\.)*"'
ELEMENT = re.compile(r"((?:  )*)\[e(\d+)\] (\S+)(?: (%s))?(?: @(-?\d+),(-?\d+))?(?: value=(%s))?"
                     r"( disabled)?( focused)?" % (_TEXT, _TEXT))
END = re.compile(r"NUVRA_END nodes=\d+ truncated=[01] sha256=([0-9a-f]{64})")
SHOT = re.compile(r'NUVRA_SCREENSHOT region=(\d+),(\d+),(\d+),(\d+) pixels=(\d+)x(\d+) scale=([0-9.e+-]+) file=(%s)'
                  % _TEXT)
TEXT = re.compile(r"NUVRA_TEXT bytes=\d+ total=\d+ truncated=[01]")
APP = re.compile(r"NUVRA_APP pid=(-?\d+) regular=([01]) frontmost=([01]) responding=([01]) name=(null|%s) bundle=(null|%s)"
                 % (_TEXT, _TEXT))
TOPLEVEL = re.compile(r"NUVRA_TOPLEVEL n=(\d+) focused=([01]) main=([01]) modal=([01]) "
                      r"frame=(null|-?\d+,-?\d+,\d+,\d+) title=(null|%s)" % _TEXT)


def cases(name, table):
    # The rows of one table in NAME.cases: JSON arrays, one a line, led by the table's name.
    lines = open(os.path.join(HERE, name + ".cases"), encoding="utf-8").read().split("\n")
    return [row[1:] for row in map(json.loads, filter(lambda line: line[:1] == "[", lines))
            if row[0] == table]


def protocol_fault(r):
    # What in a run's output breaks the protocol, or None. A diagnostic quotes
    # a bad argument exactly as given, line feeds and all; a JSON string may
    # hold DEL, but no other control character.
    lines = r.out.split("\n")[:-1]
    err = functools.reduce(lambda e, a: e.replace(a, "ARG") if "\n" in a else e, r.args, r.err)
    if "\ufffd" in r.out or r.out[-1:] not in ("", "\n") or r.out.splitlines() != lines \
            or re.search("[\x00-\x09\x0b-\x1f\x80-\x9f\u2028\u2029]", r.out):
        return "not valid UTF-8 lines, each ended by a line feed, free of control characters"
    if r.status != 0:
        one = re.fullmatch(r"(nuvra-click|usage): [^\n]*\n", err)
        return None if one and r.out == ("", UNTRUSTED[0])[r.status == 2] else "not one diagnostic"
    if lines and SHOT.fullmatch(lines[-1]):  # a screenshot's line, after its observation if any
        lines = lines[:-1]
    hit = len(lines) == 1 and lines[0].startswith("NUVRA_HIT ") or len(lines) == 2 and \
        TEXT.fullmatch(lines[0]) and re.fullmatch(_TEXT, lines[1])
    block = len(lines) >= 3 and lines[0].startswith("NUVRA_OBSERVE app=") and lines[1].startswith(
        "NUVRA_WINDOW ") and END.fullmatch(lines[-1]) and all(map(ELEMENT.fullmatch, lines[2:-1]))
    apps = lines and all(map(APP.fullmatch, lines))
    windows = len(lines) >= 2 and APP.fullmatch(lines[0]) and all(map(TOPLEVEL.fullmatch, lines[1:-1])) \
        and re.fullmatch(r"NUVRA_END windows=%d truncated=[01]" % (len(lines) - 2), lines[-1])
    return "standard error on success" if r.err else None if hit or block or apps or windows or not lines \
        else "neither a hit line, a text, an observation block, application lines nor windows"


class Run(types.SimpleNamespace):
    @property
    def sha(self):
        return END.fullmatch(self.out.split("\n")[-2])[1]

    @property
    def elements(self):
        return [types.SimpleNamespace(index=int(m[2]), role=m[3], label=m[4] and json.loads(m[4]),
                                      value=m[7] and json.loads(m[7]), disabled=bool(m[8]),
                                      center=m[5] and (int(m[5]), int(m[6])), focused=bool(m[9]))
            for m in map(ELEMENT.fullmatch, self.out.split("\n")[2:-2])]

    def shows(self, key):
        # The values of the elements find(key) would choose from.
        return [e.value for e in self.elements if e.label == key] or [
            e.value for e in self.elements if (e.value or "").startswith(key)]

    @property
    def apps(self):
        decode = lambda text: None if text == "null" else json.loads(text)
        return [types.SimpleNamespace(pid=int(m[1]), regular=m[2] == "1", frontmost=m[3] == "1",
                                      responding=m[4] == "1", name=decode(m[5]), bundle=decode(m[6]))
                for m in map(APP.fullmatch, self.out.split("\n")) if m]

    @property
    def windows(self):
        return [types.SimpleNamespace(number=int(m[1]), focused=m[2] == "1", main=m[3] == "1",
                                      modal=m[4] == "1", frame=m[5] != "null" and tuple(map(int, m[5].split(","))),
                                      title=None if m[6] == "null" else json.loads(m[6]))
                for m in map(TOPLEVEL.fullmatch, self.out.split("\n")) if m]

    def find(self, key):
        # The one element labelled `key`, or else the one whose value starts with it.
        found = [e for e in self.elements if e.label == key] or [
            e for e in self.elements if (e.value or "").startswith(key)]
        assert len(found) == 1, "%d elements for %r in %r" % (len(found), key, self)
        return found[0]


def run(*args, env=None, timeout=20.0, wrapper=(), check=True, during=None):
    # One run of the tool, held to the protocol; `during(process)` may act
    # while it runs (its answer is kept as run.cut). A run that outlives
    # `timeout` has hung.
    args, started = [str(a) for a in args], time.monotonic()
    tool = subprocess.Popen([*wrapper, os.environ["NUVRA_CLICK"], *args], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    cut = during and during(tool)
    try:
        out, err = tool.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        tool.kill()
        raise AssertionError("nuvra-click %s did not end within %.0f s" % (args, timeout))
    result = Run(args=args, status=tool.returncode, out=out.decode("utf-8", "replace"),
                 err=err.decode("utf-8", "replace"), seconds=time.monotonic() - started, cut=cut)
    assert not (fault := check and protocol_fault(result)), "%s: %r" % (fault, result)
    return result


@functools.cache
def limit(name):
    """A time-out or bound as one of nuvra-click's limits.h defines it: a
    duration in its own unit (milliseconds{500} is 500), a size, a count."""
    for header in sorted(glob.glob(os.path.join(SOURCES, "**", "limits.h"), recursive=True)):
        with open(header) as text:
            found = re.search(r"constexpr [\w:<>() ]+\b%s(?:\s*=\s*([^;]+)|\{([^}]*)\});" % name, text.read())
        if found:
            value = re.sub(r"(?:std::chrono::\w+|\w+_t)[({]([^)}]*)[)}]", r"\1", found.group(1) or found.group(2))
            value = re.sub(r"(\d)[LU]+\b", r"\1", value.replace("'", "").replace("/", "//"))
            return eval(re.sub(r"\bk[A-Z]\w*", lambda k: repr(limit(k.group())), value), {})
    raise KeyError(name)


def wait_for(predicate, timeout=5.0, interval=0.05):
    # Polls until `predicate` holds; returns its last answer.
    deadline = time.monotonic() + timeout
    while not (answer := predicate()) and time.monotonic() < deadline:
        time.sleep(interval)
    return answer


def named(role, label):
    # Picks the first element of a role and label from an observation.
    return lambda seen: next((e for e in seen.elements if (e.role, e.label) == (role, label)), None)


def act(app, limits, pick, command, *args):
    # `command` (press, settext) on the element `pick` finds in a fresh
    # observation of `app`, asked again while the window changes under it or
    # the element is not there yet; the run, or nothing after 30 s.
    def once():
        seen = run("observe", *limits, app, timeout=60)
        found = pick(seen)
        done = found and run(command, found.index, *args, *limits, seen.sha, app, timeout=60)
        return done and done.status != 6 and done
    return wait_for(once, 30)


def press_controls(test, app, limits=(600, 60, 1000000)):
    # The rows of the "press" table of desktop.cases, in order, on
    # fixtures/controls.html in the browser `app`: each control pressed by
    # the tool, and what the page then says (and shows, where a row names a
    # popup's item).
    for label, role, said, shown in cases("desktop", "press"):
        with test.subTest(label=label, role=role):
            test.assertEqual(act(app, limits, named(role, label), "press").status, 0)
            test.assertTrue(wait_for(lambda: (lambda o: said in [e.value for e in o.elements] and (
                not shown or [e for e in o.elements if e.label == shown and e.center]))(
                run("observe", *limits, app)), 10), (label, said, shown))


class App:
    # A fixture application that the tool knows as `name`, commanded through
    # its standard input (fixture_app.py tells how).
    def __init__(self, name, *args, script="fixture_app.py", patience=30):
        self.name = name
        self.process = subprocess.Popen(
            ["/usr/bin/python3", "-B", os.path.join(FIXTURES, script), "--app-name", name, *args],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        # It registers with the AT-SPI registry in its own time; one that does
        # not is not left on the screen for the tests after it.
        try:
            if not wait_for(lambda: self.process.poll() is not None or run(
                    "observe", 1, 1, 1000, name).status == 0, patience) or self.process.poll() is not None:
                raise AssertionError("fixture %r never became observable" % name)
        except AssertionError:
            self.close()
            raise

    def command(self, name, method, *args):
        print(name, method, json.dumps(args), file=self.process.stdin, flush=True)
        return json.loads(self.process.stdout.readline()[len("done "):])

    def close(self):
        self.process.kill()  # stopped or not
        self.process.communicate(timeout=10)


def bus_call(method, *args, address=A11Y):
    # A method of the bus daemon itself, by default the accessibility bus's.
    return subprocess.run(
        ["gdbus", "call", "--address", address, "--dest", "org.freedesktop.DBus", "--object-path",
         "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus." + method, *args],
        capture_output=True, text=True, timeout=10).stdout


def pid_of(name):
    found = re.search(r"uint32 (\d+)", bus_call("GetConnectionUnixProcessID", name))
    return found and int(found[1])


def names_of(pid):
    return {n for n in re.findall(r"'(:[0-9.]+)'", bus_call("ListNames")) if pid_of(n) == pid}


class BusMonitor:
    # Every message that crosses the accessibility bus, as dbus-monitor prints it.
    def __init__(self):
        self.log = tempfile.TemporaryFile("a+", encoding="utf-8", errors="replace")
        self.process = subprocess.Popen(["dbus-monitor", "--address", A11Y], stdout=self.log)
        self.mark()

    def messages(self):
        self.log.seek(0)
        return re.split(r"\n(?=method call|method return|signal|error)", self.log.read())

    def mark(self):
        # Sends markers through the bus until one is seen (a monitor just
        # started may not be listening yet); returns where the messages
        # after it begin.
        def seen():
            token = "nuvra-mark-%d" % time.monotonic_ns()
            bus_call("NameHasOwner", token)
            at = wait_for(lambda: [i + 1 for i, m in enumerate(self.messages()) if token in m], 1)
            return at and at[0]
        return wait_for(seen, 10)

    def calls_to(self, names, since):
        return [m for m in self.messages()[since:] if m.startswith("method call")
                and re.search(r"destination=(\S+)", m)[1] in names]

    def close(self):
        self.process.kill()
        self.log.close()

