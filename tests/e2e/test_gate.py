"""The permission gate on Linux: trusted exactly when the accessibility bus
can be found and its registry answers; otherwise the untrusted report,
always within a second, starting nothing."""

import os
import socket
import subprocess
import tempfile
import unittest

from e2e_support import main, run

UNTRUSTED = ("NUVRA_AX_UNTRUSTED\n",
             "nuvra-click: 辅助功能未授权（系统设置 → 隐私与安全性 → 辅助功能，勾选 nuvra 所在应用）\n")
USAGE_PREFIX = "usage: nuvra-click "
GATE_BOUND_SECONDS = 1.0


def environment(**variables):
    """Only what a test names: no display, no session bus, no runtime dir."""
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin")}
    for key in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
        if key in os.environ:
            env[key] = os.environ[key]
    env.update({k: v for k, v in variables.items() if v is not None})
    return env


class GateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        # A socket that accepts connections and never says a word, like a
        # bus daemon that is stopped.
        cls.silentPath = os.path.join(cls.scratch.name, "silent")
        cls.silent = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        cls.silent.bind(cls.silentPath)
        cls.silent.listen(64)
        # A bus without the AT-SPI registry and without the bus launcher
        # running, though both could be activated on it.
        cls.plainBus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        cls.plainAddress = cls.plainBus.stdout.readline().decode().strip()

    @classmethod
    def tearDownClass(cls):
        cls.plainBus.terminate()
        cls.plainBus.wait(timeout=10)
        cls.plainBus.stdout.close()
        cls.silent.close()
        cls.scratch.cleanup()

    def gate(self, env):
        # With no arguments a trusted run fails with the usage text, an
        # untrusted one with the permission report.
        return run(env=env)

    def test_untrusted_without_a_reachable_registry(self):
        missing = "unix:path=" + os.path.join(self.scratch.name, "missing")
        silent = "unix:path=" + self.silentPath
        cases = {
            "nothing at all": environment(),
            "bus address of a missing socket": environment(AT_SPI_BUS_ADDRESS=missing),
            "bus address that never answers": environment(AT_SPI_BUS_ADDRESS=silent),
            "bus address that is not an address": environment(AT_SPI_BUS_ADDRESS="nonsense"),
            "bus without a registry": environment(AT_SPI_BUS_ADDRESS=self.plainAddress),
            "session bus that never answers": environment(DBUS_SESSION_BUS_ADDRESS=silent),
            "session bus without the launcher": environment(
                DBUS_SESSION_BUS_ADDRESS=self.plainAddress),
            "display that does not exist": environment(DISPLAY=":4091"),
            "runtime dir without a bus": environment(XDG_RUNTIME_DIR=self.scratch.name),
        }
        for name, env in cases.items():
            with self.subTest(name):
                result = self.gate(env)
                self.assertEqual((result.status, result.out, result.err), (2,) + UNTRUSTED)
                self.assertLess(result.seconds, GATE_BOUND_SECONDS)

    def test_asking_starts_nothing(self):
        self.gate(environment(DBUS_SESSION_BUS_ADDRESS=self.plainAddress))
        self.gate(environment(AT_SPI_BUS_ADDRESS=self.plainAddress))
        for name in ("org.a11y.Bus", "org.a11y.atspi.Registry"):
            with self.subTest(name):
                owner = subprocess.run(
                    ["gdbus", "call", "--address", self.plainAddress, "--dest",
                     "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus",
                     "--method", "org.freedesktop.DBus.NameHasOwner", name],
                    capture_output=True, text=True, timeout=10)
                self.assertEqual(owner.stdout.strip(), "(false,)")

    def test_without_a_display_no_event_or_hit_can_be_made(self):
        # Trusted through the bus alone: the pointer and the hit test need X.
        env = environment(AT_SPI_BUS_ADDRESS=os.environ["NUVRA_A11Y_BUS_ADDRESS"])
        cases = [
            (("10", "20"), 4, "nuvra-click: cannot create CGEvent\n"),
            (("drag", "1", "2", "3", "4"), 4, "nuvra-click: cannot create CGEvent\n"),
            (("scroll", "1", "2", "0", "5"), 4, "nuvra-click: cannot create scroll CGEvent\n"),
            (("scroll", "1", "2", "0", "5", "at"), 4, "nuvra-click: cannot create CGEvent\n"),
            (("hit", "10", "20"), 4, "nuvra-click: 落点无元素\n"),
        ]
        for args, status, err in cases:
            with self.subTest(args=args):
                result = run(*args, env=env)
                self.assertEqual((result.status, result.out, result.err), (status, "", err))

    def test_trusted_through_each_way_of_finding_the_bus(self):
        # The session (scripts/headless-session) publishes the bus on the
        # root window and through the launcher on its session bus.
        cases = {
            "environment": environment(AT_SPI_BUS_ADDRESS=os.environ["NUVRA_A11Y_BUS_ADDRESS"]),
            "root window property": environment(DISPLAY=os.environ["DISPLAY"]),
            "session bus": environment(
                DBUS_SESSION_BUS_ADDRESS=os.environ["DBUS_SESSION_BUS_ADDRESS"]),
        }
        for name, env in cases.items():
            with self.subTest(name):
                result = self.gate(env)
                self.assertEqual(result.status, 3, result)
                self.assertTrue(result.err.startswith(USAGE_PREFIX), result)
                self.assertLess(result.seconds, GATE_BOUND_SECONDS)


if __name__ == "__main__":
    main()
