# nuvra-mcp's protocol handling as tables (protocol.cases): the real server,
# copied beside a stand-in nuvra-click, gets a session's lines and must answer
# with the expected messages and run the stand-in with exactly the expected
# arguments (nothing, for the bad-input table). Rows of "session" are sent as
# they are; the other tables' rows follow an initialize, whose answer is not
# compared. An expected object names only the members it checks; a string
# "~x" matches any text holding x, "<absent>" a member that must be missing.
# Options: runs, args, env (added), sockets (made in the scratch folder),
# stderr (expected), signal (the server's end), no stand-in.
import json
import os
import re
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from e2e import limit  # noqa: E402
INIT = {"jsonrpc": "2.0", "id": 0, "method": "initialize",
        "params": {"protocolVersion": "2025-11-25", "capabilities": {}}}
PING = {"jsonrpc": "2.0", "id": 99, "method": "ping"}
# The server starts without the desktop's variables, as an MCP SDK host starts it, and says so.
ADVICE = "~nuvra-mcp: This server was started without DISPLAY and DBUS_SESSION_BUS_ADDRESS, which"
# The stand-in logs its process id, whether its standard input is /dev/null
# and its arguments, then answers with the next reply: [status, out, err,
# seconds to sleep first, whether it ignores SIGTERM]; a negative status is a
# signal it sends itself.
STAND_IN = r"""#!/usr/bin/python3
import json, os, signal, sys, time
signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM])
runs = os.path.join(os.environ["STAND_IN_DIR"], "runs")
with open(runs, "a") as log:
    print(json.dumps([os.getpid(), os.path.samestat(os.fstat(0), os.stat("/dev/null")), sys.argv[1:]]), file=log)
reply = json.load(open(runs + ".replies"))[len(open(runs).readlines()) - 1]
status, out, err, pause, deaf = reply + [0, "", "", 0, False][len(reply):]
signal.signal(signal.SIGTERM, signal.SIG_IGN if deaf else signal.SIG_DFL)
signal.pthread_sigmask(signal.SIG_UNBLOCK, [signal.SIGTERM])
time.sleep(pause)
sys.stdout.write(out), sys.stderr.write(err), sys.stdout.flush()
os.kill(os.getpid(), -status) if status < 0 else sys.exit(status)
"""


def rows(table):
    lines = open(os.path.join(HERE, "protocol.cases"), encoding="utf-8").read().split("\n")
    return [row[1:] for row in map(json.loads, filter(lambda l: l[:1] == "[", lines)) if row[0] == table]


def expand(value):
    # "<c*n>": the character c n times, for texts too long to write out.
    if isinstance(value, str):
        return re.sub(r"<(.)\*(\d+)>", lambda m: m[1] * int(m[2]), value)
    return [*map(expand, value)] if isinstance(value, list) else {
        k: expand(v) for k, v in value.items()} if isinstance(value, dict) else value


def feed(server, items, runs):
    # Messages, raw lines (each character one byte: "\u00ff" is the byte FF), [c, n]: a line of c
    # n times, sent in pieces, so the children's peak is the server's; {"await": n}: until run n
    # has started; {"close": 1}: the end of the input; {"signal": s}: the signal s to the server.
    for item in items:
        marker = item if isinstance(item, dict) and "jsonrpc" not in item else {}
        if "await" in marker:
            while len(open(runs).readlines()) < item["await"]:
                time.sleep(0.01)
        elif "close" in marker:
            return server.stdin.close()
        elif "signal" in marker:
            server.send_signal(item["signal"])
        elif isinstance(item, list):
            for left in range(item[1], 0, -(1 << 20)):
                server.stdin.write(item[0].encode() * min(left, 1 << 20))
            server.stdin.write(b"\n")
        else:
            server.stdin.write(json.dumps(expand(item), ensure_ascii=False).encode() + b"\n"
                               if isinstance(item, dict) else item.encode("latin-1"))
        server.stdin.flush()


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

    def session(self, send, options, count):
        # The session's first `count` answers are awaited before the input ends.
        runs = os.path.join(self.dir, "runs")
        open(runs, "w").close()
        json.dump([expand(reply) for _, reply in options.get("runs", [])], open(runs + ".replies", "w"))
        if options.get("no stand-in"):
            os.remove(os.path.join(self.dir, "nuvra-click"))
        listening = [socket.socket(socket.AF_UNIX) for _ in options.get("sockets", [])]
        for each, path in zip(listening, options.get("sockets", [])):
            each.bind(os.path.join(self.dir, path))
        with tempfile.TemporaryFile() as err, subprocess.Popen(
                [self.server, *options.get("args", [])], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                stderr=err, env=dict(self.env, **options.get("env", {}))) as server:
            hang = threading.Timer(20, server.kill)
            hang.start()
            writer = threading.Thread(target=feed, args=(server, send, runs))
            writer.start()
            answers = [server.stdout.readline() for _ in range(count)]
            writer.join()
            if not server.stdin.closed:
                server.stdin.close()
            answers += server.stdout.readlines()
            hang.cancel()
            self.assertEqual(server.wait(), -options.get("signal", 0), "the server hung or failed")
            err.seek(0)
            self.assertTrue(matches(options.get("stderr", ADVICE), err.read().decode()))
        for each in listening:
            each.close()
        logged = [json.loads(line) for line in open(runs)]
        for pid, quiet_stdin, _ in logged:
            self.assertTrue(quiet_stdin, "the stand-in could read the client's messages")
            self.assertFalse(os.path.exists("/proc/%d" % pid), "a run of nuvra-click outlived the server")
        self.assertEqual([args for _, _, args in logged], [expand(args) for args, _ in options.get("runs", [])])
        return [json.loads(line) for line in filter(None, answers)]

    def check_table(self, table, prefix, suffix=()):
        # A bad row ends with a ping, which must still be answered.
        for what, send, expect, *options in rows(table):
            with self.subTest(what):
                expect = expand(expect) + list(suffix)
                answers = self.session(prefix + send + [PING] * len(suffix), (options or [{}])[0],
                                       len(prefix) + len(expect))[len(prefix):]
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
        kept = limit("kRemembered")
        runs = [[["observe", "300", str(i), "60000"], [0, block % i]] for i in range(1, kept + 2)]
        for observed, forgotten in [(kept, False), (kept + 1, True)]:
            answers = self.session([INIT] + [observe(i) for i in range(1, observed + 1)] + [press], {
                "runs": runs[:observed] + ([] if forgotten else [[["press", "1", "300", "1", "60000", "%064x" % 1], [0, ""]]])},
                observed + 2)
            self.assertEqual(answers[-1]["result"]["isError"], forgotten, answers[-1])


if __name__ == "__main__":
    unittest.main()
