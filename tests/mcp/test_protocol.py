# nuvra-mcp's protocol handling as tables (protocol.cases): the real server,
# copied beside a stand-in nuvra-click, gets a session's lines and must answer
# with the expected messages and run the stand-in with exactly the expected
# arguments (nothing, for the bad-input table). Rows of "session" are sent as
# they are; the other tables' rows follow an initialize, whose answer is not
# compared. An expected object names only the members it checks; a string
# "~x" matches any text holding x, "<absent>" a member that must be missing.
import json
import os
import resource
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
INIT = {"jsonrpc": "2.0", "id": 0, "method": "initialize",
        "params": {"protocolVersion": "2025-11-25", "capabilities": {}}}
PING = {"jsonrpc": "2.0", "id": 99, "method": "ping"}
# The stand-in logs its process id, whether its standard input is /dev/null
# and its arguments, then answers with the next reply: [status, out, err,
# seconds to sleep first, SIGTERM]; a negative status is a signal it sends
# itself. SIGTERM, when given, is logged in runs.signals, then ignored
# ("ignore") or followed by that many seconds of letting go and an exit.
STAND_IN = r"""#!/usr/bin/python3
import json, os, signal, sys, time
runs = os.path.join(os.environ["STAND_IN_DIR"], "runs")
with open(runs, "a") as log:
    print(json.dumps([os.getpid(), os.path.samestat(os.fstat(0), os.stat("/dev/null")), sys.argv[1:]]), file=log)
reply = json.load(open(runs + ".replies"))[len(open(runs).readlines()) - 1]
status, out, err, pause, term = reply + [0, "", "", 0, None][len(reply):]
def stop(*_):
    print("TERM", file=open(runs + ".signals", "a"), flush=True)
    if term != "ignore":
        time.sleep(term)
        print("ended", file=open(runs + ".signals", "a"), flush=True)
        os._exit(0)
if term is not None:
    signal.signal(signal.SIGTERM, stop)
time.sleep(pause)
sys.stdout.write(out), sys.stderr.write(err), sys.stdout.flush()
os.kill(os.getpid(), -status) if status < 0 else sys.exit(status)
"""


def rows(table):
    lines = open(os.path.join(HERE, "protocol.cases"), encoding="utf-8").read().split("\n")
    return [row[1:] for row in map(json.loads, filter(lambda l: l[:1] == "[", lines)) if row[0] == table]


def feed(items):
    # Messages, raw lines (each character one byte: "\u00ff" is the byte FF) and [c, n], a line
    # of c n times, in a file: the test holds no long line, so the children's peak is the server's.
    lines = tempfile.TemporaryFile()
    for item in items:
        if isinstance(item, list):
            for left in range(item[1], 0, -(1 << 20)):
                lines.write(item[0].encode() * min(left, 1 << 20))
        lines.write(json.dumps(item, ensure_ascii=False).encode() + b"\n" if isinstance(item, dict)
                    else b"\n" if isinstance(item, list) else item.encode("latin-1"))
    lines.seek(0)
    return lines


def matches(want, got):
    if isinstance(want, dict) and list(want) == ["="]:  # the whole value, nothing more
        return want["="] == got
    if isinstance(want, dict):
        return isinstance(got, dict) and all(
            (k not in got) if v == "<absent>" else k in got and matches(v, got[k]) for k, v in want.items())
    if isinstance(want, list):
        return isinstance(got, list) and len(want) == len(got) and all(map(matches, want, got))
    if isinstance(want, str) and want.startswith("~"):
        return isinstance(got, str) and want[1:] in got
    return type(want) is type(got) and want == got


class ProtocolTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.server = shutil.copy(os.environ["NUVRA_MCP"], self.dir)
        with open(os.path.join(self.dir, "nuvra-click"), "w") as f:
            f.write(STAND_IN)
        os.chmod(os.path.join(self.dir, "nuvra-click"), 0o755)
        os.makedirs(os.path.join(self.dir, "run"))
        # No desktop: list_applications must find no accessibility bus.
        self.env = {"PATH": os.environ["PATH"], "STAND_IN_DIR": self.dir,
                    "XDG_RUNTIME_DIR": os.path.join(self.dir, "run")}

    def tearDown(self):
        shutil.rmtree(self.dir)

    def session(self, send, options):
        runs = os.path.join(self.dir, "runs")
        open(runs, "w").close()
        open(runs + ".signals", "w").close()
        json.dump([reply for _, reply in options.get("runs", [])], open(runs + ".replies", "w"))
        if options.get("no stand-in"):
            os.remove(os.path.join(self.dir, "nuvra-click"))
        with feed(send) as lines:
            done = subprocess.run([self.server, *options.get("args", [])], stdin=lines,
                                  capture_output=True, env=self.env, timeout=20)
        self.assertEqual(done.returncode, 0, done.stderr)
        logged = [json.loads(line) for line in open(runs)]
        for pid, quiet_stdin, _ in logged:
            self.assertTrue(quiet_stdin, "the stand-in could read the client's messages")
            self.assertFalse(os.path.exists("/proc/%d" % pid), "a run of nuvra-click outlived its call")
        self.assertEqual([args for _, _, args in logged], [args for args, _ in options.get("runs", [])])
        if "signals" in options:
            self.assertEqual(open(runs + ".signals").read().split(), options["signals"])
        return [json.loads(line) for line in done.stdout.decode("utf-8").split("\n")[:-1]]

    def check_table(self, table, prefix, suffix=()):
        # A bad row ends with a ping, which must still be answered.
        for what, send, expect, *options in rows(table):
            with self.subTest(what):
                answers = self.session(prefix + send + [PING] * len(suffix), (options or [{}])[0])
                answers, expect = answers[len(prefix):], expect + list(suffix)
                self.assertEqual(len(answers), len(expect), answers)
                for want, got in zip(expect, answers):
                    self.assertTrue(matches(dict(jsonrpc="2.0", **want), got), "%s\n%s" % (want, got))

    def test_session(self):
        self.check_table("session", [])

    def test_calls(self):
        self.check_table("call", [INIT])

    def test_bad_client_input(self):
        self.check_table("bad", [INIT], [{"id": 99, "result": {}}])
        # The line of 100 MB was dropped as it came, never held whole.
        self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, 64 << 10)

    def test_only_the_recent_observations_are_remembered(self):
        observe = lambda i: {"jsonrpc": "2.0", "id": i, "method": "tools/call",
                             "params": {"name": "observe", "arguments": {"maxDepth": i}}}
        press = {"jsonrpc": "2.0", "id": 99, "method": "tools/call",
                 "params": {"name": "press", "arguments": {"index": 1, "sha256": "%064x" % 1}}}
        block = "NUVRA_OBSERVE app=A\nNUVRA_WINDOW W\nNUVRA_END nodes=0 truncated=0 sha256=%064x\n"
        runs = [[["observe", "300", str(i), "60000"], [0, block % i]] for i in range(1, 66)]
        for observed, forgotten in [(64, False), (65, True)]:
            answers = self.session([INIT] + [observe(i) for i in range(1, observed + 1)] + [press], {
                "runs": runs[:observed] + ([] if forgotten else [[["press", "1", "300", "1", "60000", "%064x" % 1], [0, ""]]])})
            self.assertEqual(answers[-1]["result"]["isError"], forgotten, answers[-1])


if __name__ == "__main__":
    unittest.main()
