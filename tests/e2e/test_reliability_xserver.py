"""The X server stopped (SIGSTOP) between runs: every command still ends
within its bound, without the display. The permission gate finds the
accessibility bus through the session bus instead, pointer commands and
hit report their documented failures, and observe reads the tree (the
application, itself waiting on the stopped server for what it asks X, is
read as absent once it has not answered in time). A server that answers
again is used again by the next run. Stopping the display stops the whole
session, so this runs in a session of its own."""

import os
import signal
import socket
import struct
import unittest

from e2e_support import LIMITS, FixtureApp, observe, run
from reliability_support import assert_one_diagnostic, main, protocol_lines

NAME = "Nuvra Anzeige"
# The display's answer is awaited for 0.3 s, an application's for a second.
BOUND_SECONDS = 3.0


def x_server_pid():
    """This session's X server, from the credentials of its socket."""
    number = os.environ["DISPLAY"].rsplit(":", 1)[1].split(".")[0]
    with socket.socket(socket.AF_UNIX) as s:
        s.connect("\0/tmp/.X11-unix/X" + number)
        creds = s.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, struct.calcsize("3i"))
    return struct.unpack("3i", creds)[0]


class XServerStoppedTest(unittest.TestCase):
    def test_every_command_ends_while_the_display_is_stopped(self):
        app = FixtureApp(name=NAME)
        try:
            seen = observe(NAME)
            count = seen.find(role="AXButton", label="Count")
            server = x_server_pid()
            self.assertNotEqual(server, os.getpid())
            cases = [
                # arguments, status, standard error (None: any)
                ((), 3, None),
                (("observe", "x", "1", "1"), 3, "nuvra-click: bad maxNodes x\n"),
                (("hit", *count.center), 4, "nuvra-click: 落点无元素\n"),
                ((*count.center,), 4, "nuvra-click: cannot create CGEvent\n"),
                (("scroll", *count.center, "0", "-3", "at"), 4,
                 "nuvra-click: cannot create CGEvent\n"),
                (("observe", *LIMITS, NAME), None, None),
            ]
            os.kill(server, signal.SIGSTOP)
            try:
                for args, status, err in cases:
                    with self.subTest(args=args):
                        result = run(*args, timeout=20)
                        self.assertLess(result.seconds, BOUND_SECONDS, result)
                        protocol_lines(self, result)
                        if status is None:
                            self.assertIn(result.status, (0, 5), result)
                            if result.status == 5:
                                assert_one_diagnostic(self, result)
                        else:
                            self.assertEqual(result.status, status, result)
                        if err is not None:
                            self.assertEqual(result.err, err)
            finally:
                os.kill(server, signal.SIGCONT)
            # Answering again, the display is found again.
            again = run("hit", *count.center)
            self.assertEqual(again.status, 0, again)
            self.assertTrue(again.out.startswith("NUVRA_HIT AXButton|"), again)
        finally:
            app.close()


if __name__ == "__main__":
    main()
