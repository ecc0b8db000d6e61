#!/usr/bin/env python3
"""Mirrors: further addresses of the same installer (WendrakeFetch's --mirror, the settings
InstallerMirrorURL1 to 9), tried in order once an address fails for good. The main address is
our fault server (fault_server.py), which plays each way of failing; the mirrors are nginx as
Debian ships it and a second fault server.

    mirror_tests.py --build <build folder> --fetch <WendrakeFetch.exe> [unittest options]
"""

import hashlib
import socket
import time

from fetch_support import COMPLETE, RETRYING, STARTED, FetchCase, main  # noqa: E402
from fault_server import FIXED_LAST_MODIFIED, FaultServer, ServedFile, random_bytes  # noqa: E402
from nginx_peer import Nginx  # noqa: E402

PORTAL = b"<!DOCTYPE html>\n<html><body>Please sign in to the hotel network</body></html>\n" * 10


class MirrorTests(FetchCase):
    SIZE = 300000
    N = 100000  # bytes of a partial file

    @classmethod
    def setUpClass(cls):
        cls.data = b"MZ" + random_bytes(cls.SIZE - 2, 31)
        cls.main_server = FaultServer().start()
        cls.addClassCleanup(cls.main_server.stop)
        cls.other = FaultServer().start()
        cls.addClassCleanup(cls.other.stop)
        cls.nginx = Nginx()
        cls.addClassCleanup(cls.nginx.remove)
        cls.nginx.serve("Setup.exe", cls.data)
        cls.nginx.start()
        cls.main_url = cls.main_server.url("/dl/Setup.exe")
        cls.mirror = cls.nginx.url("/Setup.exe")

    def setUp(self):
        super().setUp()
        self.reset_servers()

    def reset_servers(self):
        for server in (self.main_server, self.other):
            server.reset()
            server.files.clear()
        self.main_server.files["/dl/Setup.exe"] = ServedFile(self.data)
        self.other.files["/dl/Setup.exe"] = ServedFile(self.data)

    def run_mirrored(self, mirrors, options=(), main_url=None):
        """A run of the main address with these mirrors, and the ranges nginx was asked for in it."""
        before = len(self.nginx.log_entries())
        args = list(options)
        for mirror in mirrors:
            args += ["--mirror", mirror]
        outcome = self.run_fetch(main_url or self.main_url, options=args)
        # nginx logs a request once its last byte is sent: read until the log stops growing.
        entries = self.nginx.log_entries()[before:]
        for _ in range(25):
            time.sleep(0.2)
            newer = self.nginx.log_entries()[before:]
            if len(newer) == len(entries):
                break
            entries = newer
        return outcome, [e["range"] for e in entries]

    def main_ranges(self):
        return [r["range"] for r in self.main_server.recorded()]

    def partial_of(self, url, stamp_date=FIXED_LAST_MODIFIED):
        """An earlier run's first N bytes, with a stamp that names the address they came from."""
        self.write(self.data[:self.N])
        self.write_stamp("\r\n".join([stamp_date, url, str(self.SIZE), ""]) + "\r\n")
        return self.read(), self.stamp_bytes()

    def test_an_address_that_fails_for_good_hands_the_file_to_the_next(self):
        def gone(server):
            server.files.clear()

        def broken(server):
            server.behaviour.status = 500

        def portal(server):
            server.behaviour.portal = PORTAL

        def another_file(server):
            server.files["/dl/Setup.exe"] = ServedFile(b"MZ" + random_bytes(self.SIZE - 2, 32))

        # Not found, a server error, a foreign answer, a file that fails its check twice.
        # (Each copy that the main address gives, and that fails its check, was started.)
        for fault, checks, main_asked, started in (
                (gone, [], ["bytes=0-0"], 1), (broken, [], ["bytes=0-0"], 1),
                (portal, [], ["bytes=0-0", "bytes=0-"], 1),
                (another_file, ["--sha256", digest_of(self.data)], ["bytes=0-0", "bytes=0-"] * 2, 3)):
            with self.subTest(fault=fault.__name__):
                self.reset_servers()
                self.forget_earlier_runs()
                fault(self.main_server)
                outcome, mirror_asked = self.run_mirrored([self.mirror], checks)
                self.assertComplete(outcome, self.data, codes=[STARTED] * started + [COMPLETE])
                self.assertEqual(self.main_ranges(), main_asked)
                self.assertEqual(mirror_asked, ["bytes=0-0", "bytes=0-"])
                self.assertEqual(self.stamp_lines()[1], self.mirror, "the stamp names where the bytes came from")
        # In the order given: an address no web server can serve, one that is gone too, then one that works.
        self.reset_servers()
        self.forget_earlier_runs()
        self.main_server.files.clear()
        outcome, mirror_asked = self.run_mirrored(["ftp://127.0.0.1/Setup.exe", self.other.url("/gone/Setup.exe"),
                                                   self.mirror])
        self.assertComplete(outcome, self.data)
        self.assertEqual([r["path"] for r in self.other.recorded()], ["/gone/Setup.exe"])
        self.assertEqual(mirror_asked, ["bytes=0-0", "bytes=0-"])
        # Alone, such an address is the package's fault, said at once (WinINet would open it as
        # another protocol, whose answer reads as a connection closed early, retried for ever).
        self.assertFailed(self.run_fetch("ftp://127.0.0.1/Setup.exe"), "misconfigured")

    def test_network_errors_stay_with_the_address(self):
        # A connection closed before any answer is retried on the same address; no mirror is asked.
        self.main_server.behaviour.drop_requests = {0}
        outcome, mirror_asked = self.run_mirrored([self.mirror])
        self.assertComplete(outcome, self.data, codes=[RETRYING, STARTED, COMPLETE])
        self.assertEqual(mirror_asked, [])

    def test_a_server_nobody_reaches_hands_over_unless_bytes_on_disk_need_it(self):
        # A port bound and never listened on: every connection is refused, as by a server that is
        # down. (A name that no longer resolves takes the same way; this machine's resolver may be
        # slow to say so, so it is not played here.)
        closed = socket.socket()
        closed.bind(("127.0.0.1", 0))
        self.addCleanup(closed.close)
        dead = "http://127.0.0.1:%d/dl/Setup.exe" % closed.getsockname()[1]
        # Nothing on disk: after three attempts in a row that reach nobody, the mirror.
        outcome, mirror_asked = self.run_mirrored([self.mirror], main_url=dead)
        self.assertComplete(outcome, self.data, codes=[RETRYING, RETRYING, STARTED, COMPLETE])
        self.assertEqual(mirror_asked, ["bytes=0-0", "bytes=0-"])
        self.assertEqual(self.stamp_lines()[1], self.mirror)
        # Bytes an earlier run got from the dead address stay with it: the user's own network
        # being down looks the same, and the mirror would start the file anew. Stopped after a
        # fourth retry, one more than it takes to move on.
        partial, stamp = self.partial_of(dead)
        outcome, mirror_asked = self.run_mirrored([self.mirror], ["--stop-after-retries", "4"], main_url=dead)
        # (A busy machine may let one more retry in before the stop: a count, not an order of events.)
        self.assertEqual(outcome.returncode, 5, outcome)
        self.assertEqual(set(outcome.codes), {RETRYING}, outcome)
        self.assertEqual(mirror_asked, [])
        self.assertEqual((self.read(), self.stamp_bytes()), (partial, stamp))
        # Unless a check will prove the whole file: then the mirror continues them.
        outcome, mirror_asked = self.run_mirrored([self.mirror], ["--size", str(self.SIZE)], main_url=dead)
        self.assertComplete(outcome, self.data, codes=[RETRYING, RETRYING, STARTED, COMPLETE])
        self.assertEqual(mirror_asked, ["bytes=0-0", "bytes=%d-" % self.N])

    def test_bytes_of_another_address_are_resumed_only_when_a_check_proves_the_whole_file(self):
        # Versions of two servers do not compare: without a check the mirror starts from zero.
        for checks, asked in (([], "bytes=0-"), (["--size", str(self.SIZE)], "bytes=%d-" % self.N),
                              (["--sha256", digest_of(self.data)], "bytes=%d-" % self.N)):
            with self.subTest(checks=checks):
                self.reset_servers()
                self.partial_of(self.main_url)
                self.main_server.files.clear()
                outcome, mirror_asked = self.run_mirrored([self.mirror], checks)
                self.assertComplete(outcome, self.data)
                self.assertEqual(mirror_asked, ["bytes=0-0", asked])
        # Bytes the mirror itself gave resume from it as from any address, with no check.
        mirror_date = self.stamp_lines()[0]
        self.reset_servers()
        self.partial_of(self.mirror, mirror_date)
        self.main_server.files.clear()
        outcome, mirror_asked = self.run_mirrored([self.mirror])
        self.assertComplete(outcome, self.data)
        self.assertEqual(mirror_asked, ["bytes=0-0", "bytes=%d-" % self.N])

    def test_when_every_address_fails_the_last_one_says_why_and_nothing_is_lost(self):
        partial, stamp = self.partial_of(self.main_url)
        self.main_server.files.clear()
        self.other.behaviour.status = 503
        outcome, _ = self.run_mirrored([self.other.url("/dl/Setup.exe")])
        self.assertFailed(outcome, "server-error")
        self.assertEqual((self.read(), self.stamp_bytes()), (partial, stamp))
        self.assertEqual((len(self.main_server.recorded()), len(self.other.recorded())), (1, 1))
        # The other way round.
        self.reset_servers()
        self.main_server.behaviour.status = 503
        outcome, _ = self.run_mirrored([self.other.url("/gone/Setup.exe")])
        self.assertFailed(outcome, "not-found")
        self.assertEqual((self.read(), self.stamp_bytes()), (partial, stamp))


def digest_of(data):
    return hashlib.sha256(data).hexdigest()


if __name__ == "__main__":
    main(__doc__)
