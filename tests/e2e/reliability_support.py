"""Pieces shared by the reliability tests: reference versions of the text
rules written independently of the tool, a checker for the output line
protocol, and a monitor of the accessibility bus that records every message
the tool sends or receives, so a test can count the requests that reach an
application or search every reply for a secret."""

import os
import re
import subprocess
import threading
import time
import unittest

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

from e2e_support import END_LINE, ELEMENT_LINE, Run, binary  # noqa: E402

# The Unicode White_Space property, all 25 code points.
WHITE_SPACE = set("\t\n\x0b\x0c\r \x85\xa0\u1680\u2028\u2029\u202f\u205f\u3000") | {
    chr(c) for c in range(0x2000, 0x200B)}

MARKERS = ("NUVRA_OBSERVE", "NUVRA_WINDOW", "NUVRA_END", "NUVRA_HIT", "NUVRA_AX_UNTRUSTED")


def sanitize(text):
    """White-space runs to one space, none at either end. The texts the
    tests use are far below the 120-character cut."""
    out = []
    pending = False
    for ch in text:
        if ch in WHITE_SPACE:
            pending = bool(out)
        else:
            if pending:
                out.append(" ")
            pending = False
            out.append(ch)
    return "".join(out)


def line_safe(text):
    """Every C0 or C1 control, DEL and the line and paragraph separators
    become a space."""
    return "".join(" " if ord(ch) < 0x20 or 0x7F <= ord(ch) <= 0x9F or ch in "\u2028\u2029"
                   else ch for ch in text)


def protocol_lines(test, result):
    """The lines of one run's standard output, after checking what holds for
    every run whatever the application shows: valid UTF-8, every line ended
    by a line feed and split by nothing else, no control character outside
    a JSON escape, and markers only where the protocol puts them."""
    raw = result.out
    test.assertNotIn("\ufffd", raw, "output is not valid UTF-8: %r" % result)
    if raw == "":
        return []
    test.assertTrue(raw.endswith("\n"), result)
    lines = raw[:-1].split("\n")
    # Python's own line splitting knows every Unicode line boundary (CR,
    # VT, FF, FS, GS, RS, NEL, U+2028, U+2029): it must find the same lines.
    test.assertEqual(raw.splitlines(), lines, result)
    for line in lines:
        bad = [ch for ch in line if ord(ch) < 0x20 or 0x80 <= ord(ch) <= 0x9F
               or ch in "\u2028\u2029"]
        test.assertEqual(bad, [], "control characters in %r" % line)
    if lines[0].startswith("NUVRA_OBSERVE app="):
        test.assertTrue(lines[1].startswith("NUVRA_WINDOW "), result)
        test.assertTrue(END_LINE.match(lines[-1]), result)
        for line in lines[2:-1]:
            test.assertTrue(ELEMENT_LINE.match(line), "element line off the grammar: %r" % line)
            test.assertFalse(line.startswith(MARKERS), line)
    elif lines[0].startswith("NUVRA_HIT "):
        test.assertEqual(len(lines), 1, result)
    else:
        test.assertEqual(lines, ["NUVRA_AX_UNTRUSTED"], result)
    return lines


def run_under(wrapper, *args, env=None, timeout=120.0):
    """Runs nuvra-click once under `wrapper` (a command prefix such as
    valgrind's); a run that outlives `timeout` fails the test."""
    command = list(wrapper) + [binary()] + [str(a) for a in args]
    started = time.monotonic()
    try:
        done = subprocess.run(command, capture_output=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        raise AssertionError("%s did not finish within %.0fs" % (command, timeout))
    return Run(list(args), done.returncode, done.stdout.decode("utf-8", "replace"),
               done.stderr.decode("utf-8", "replace"), time.monotonic() - started)


def assert_one_diagnostic(test, result):
    test.assertTrue(result.err.startswith(("nuvra-click: ", "usage: ")), result)
    test.assertEqual(result.err.count("\n"), 1, result)
    test.assertTrue(result.err.endswith("\n"), result)


# --- the accessibility bus -------------------------------------------------

def a11y_address():
    return os.environ["NUVRA_A11Y_BUS_ADDRESS"]


def _bus_call(method, *args):
    out = subprocess.run(
        ["gdbus", "call", "--address", a11y_address(), "--dest", "org.freedesktop.DBus",
         "--object-path", "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus." + method]
        + list(args), capture_output=True, text=True, timeout=10)
    return out.stdout


def connection_pid(name):
    match = re.search(r"uint32 (\d+)", _bus_call("GetConnectionUnixProcessID", name))
    return int(match.group(1)) if match else None


def bus_daemon_pid():
    """The accessibility bus's own daemon, which answers for its own name."""
    return connection_pid("org.freedesktop.DBus")


def registry_pid():
    return connection_pid("org.a11y.atspi.Registry")


def names_of_pid(pid):
    """The unique connection names that process `pid` holds on the bus."""
    names = re.findall(r"'(:[0-9.]+)'", _bus_call("ListNames"))
    return {name for name in names if connection_pid(name) == pid}


class Message:
    def __init__(self, message):
        self.kind = message.get_message_type()
        self.sender = message.get_sender()
        self.destination = message.get_destination()
        self.path = message.get_path()
        self.interface = message.get_interface()
        self.member = message.get_member()
        self.serial = message.get_serial()
        self.reply_serial = message.get_reply_serial()
        body = message.get_body()
        self.body = body.print_(False) if body is not None else ""

    @property
    def is_call(self):
        return self.kind == Gio.DBusMessageType.METHOD_CALL

    def __repr__(self):
        return "%s %s->%s %s %s.%s %s" % (self.kind.value_nick, self.sender, self.destination,
                                           self.path, self.interface, self.member,
                                           self.body[:80])


class BusMonitor:
    """Everything that crosses the accessibility bus while it runs, through
    the bus's monitoring interface (the bus allows it). `sync()` returns
    once every message sent before it has been recorded."""

    def __init__(self):
        self.messages = []
        self._lock = threading.Lock()
        self._monitoring = False
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                 | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        self.connection = Gio.DBusConnection.new_for_address_sync(a11y_address(), flags, None,
                                                                  None)
        self.connection.add_filter(self._filter)
        self.connection.call_sync(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Monitoring",
            "BecomeMonitor", GLib.Variant("(asu)", ([], 0)), None,
            Gio.DBusCallFlags.NONE, 10000, None)
        self._monitoring = True
        self._pinger = Gio.DBusConnection.new_for_address_sync(a11y_address(), flags, None,
                                                               None)

    def _filter(self, connection, message, incoming):
        if not incoming:
            return message
        if not self._monitoring:
            # Until the bus has answered BecomeMonitor, its replies are ours.
            if message.get_destination() == connection.get_unique_name():
                return message
            return None
        with self._lock:
            self.messages.append(Message(message))
        # A monitor must never answer anything; GDBus would answer a call.
        return None

    def sync(self, timeout=10.0):
        """Sends a marker through the bus and waits until it is seen."""
        token = "nuvra-sync-%f" % time.monotonic()
        self._pinger.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner",
                               GLib.Variant("(s)", (token,)), None, Gio.DBusCallFlags.NONE,
                               10000, None)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self._lock:
                if any(token in m.body for m in self.messages):
                    return
            time.sleep(0.01)
        raise AssertionError("the bus monitor never saw its own marker")

    def wait_until(self, predicate, timeout=20.0):
        """Waits until the messages recorded so far satisfy `predicate`,
        without asking the bus anything (it may be about to go away)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self._lock:
                if predicate(self.messages):
                    return
            time.sleep(0.002)
        raise AssertionError("the awaited bus traffic never came")

    def take(self):
        """The messages recorded so far, and a fresh start."""
        self.sync()
        with self._lock:
            taken, self.messages = self.messages, []
        return [m for m in taken if "nuvra-sync-" not in m.body]

    def close(self):
        for connection in (self.connection, self._pinger):
            try:
                connection.close_sync(None)
            except GLib.Error:
                pass


def calls_to(messages, names):
    return [m for m in messages if m.is_call and m.destination in names]


def main():
    unittest.main(module="__main__", verbosity=2)
