#!/usr/bin/env python3
"""The download engine (WendrakeFetch.exe under Wine) against the web servers that distributors
use, as Debian ships them, each started here on a loopback port with a configuration of its own:
nginx (nginx_peer.py), Apache httpd 2.4 and lighttpd 1.4 (web_peers.py). Each serves a whole
download, a cancelled and resumed one, a file replaced between runs, and a complete file that
is not fetched again (Apache and lighttpd answer the range past its end with a 416 that names
no size). What each server sent is read from its own access log.

    server_tests.py --build <build folder> --fetch <WendrakeFetch.exe> [unittest options]
"""

import os
import time

from fetch_support import COMPLETE, STARTED, FetchCase, digest, main  # noqa: E402
from nginx_peer import Nginx  # noqa: E402
from web_peers import Apache, Lighttpd  # noqa: E402


class RealServer:
    """The tests, for a server class given by the subclass (mixed into FetchCase there)."""

    SIZE = 48 << 20
    peer_class = None

    @classmethod
    def setUpClass(cls):
        cls.peer = cls.peer_class()
        cls.addClassCleanup(cls.peer.remove)
        cls.file = cls.peer.serve("Setup.exe", b"MZ" + os.urandom(cls.SIZE - 2))
        cls.digest = digest(cls.file)
        cls.peer.start()
        cls.url = cls.peer.url("/Setup.exe")

    def run_logged(self, url, **options):
        """A run and the requests the server logged for it: those that began during the run. (An
        abandoned request of an earlier run may be logged late, while Wine drains its body.)"""
        start = time.time()
        outcome = self.run_fetch(url, **options)

        def during_run():
            return [e for e in self.peer.log_entries() if e["msec"] - e["request_time"] >= start - 0.001]

        # A server logs a request once it has sent its last byte: wait until the list stops growing.
        entries = during_run()
        for _ in range(50):
            time.sleep(0.2)
            newer = during_run()
            if entries and len(newer) == len(entries):
                break
            entries = newer
        return outcome, entries

    def assertWhole(self, outcome, expected=None):
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertEqual(outcome.received, self.SIZE, outcome)
        self.assertEqual(digest(self.path()), expected or self.digest)

    def test_full_download_then_the_complete_file_is_not_fetched_again(self):
        outcome, log = self.run_logged(self.url)
        self.assertWhole(outcome)
        self.assertEqual(outcome.codes, [STARTED, COMPLETE])
        self.assertEqual([(e["range"], e["status"]) for e in log], [("bytes=0-0", 206), ("bytes=0-", 206)])
        outcome, log = self.run_logged(self.url)
        self.assertWhole(outcome)
        self.assertEqual((outcome.codes, outcome.valid), ([COMPLETE], 1))
        self.assertEqual([(e["range"], e["status"]) for e in log], [("bytes=0-0", 206), ("bytes=%d-" % self.SIZE, 416)])
        self.assertLess(sum(e["body_bytes_sent"] for e in log), 4096)

    def test_cancelled_runs_are_resumed_with_only_the_missing_bytes(self):
        # Cancelling in the middle of a fast transfer leaves a partial file that matches the
        # count, and the next run asks only for the rest.
        for cancel_after in (2 << 20, 12 << 20):
            outcome = self.run_fetch(self.url, cancel_after=cancel_after)
            self.assertEqual(outcome.returncode, 3, outcome)
            size = os.path.getsize(self.path())
            self.assertEqual(outcome.received, size)
            self.assertGreater(size, cancel_after)
            self.assertLess(size, self.SIZE)
        outcome, log = self.run_logged(self.url)
        self.assertWhole(outcome)
        self.assertEqual(log[-1]["range"], "bytes=%d-" % size)
        self.assertEqual(log[-1]["body_bytes_sent"], self.SIZE - size)

    def test_file_replaced_between_runs_is_fetched_whole(self):
        name = "Replaced.exe"
        self.peer.serve(name, b"MZ" + os.urandom(self.SIZE - 2))
        url = self.peer.url("/" + name)
        outcome = self.run_fetch(url, cancel_after=4 << 20)
        self.assertEqual(outcome.returncode, 3, outcome)
        old_stamp = self.stamp_lines()
        replaced = self.peer.serve(name, b"MZ" + os.urandom(self.SIZE - 2), age=60)
        outcome, log = self.run_logged(url)
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertEqual(digest(self.path(name)), digest(replaced))
        # The probe names the new version: no byte of the old one is kept or asked for.
        self.assertEqual(sorted(e["range"] for e in log), ["bytes=0-", "bytes=0-0"])
        self.assertNotEqual(self.stamp_lines(), old_stamp)


class NginxTests(RealServer, FetchCase):
    peer_class = Nginx

    def test_probe_costs_no_second_copy_of_the_file(self):
        # Rate-limited, so that a probe streaming the file would send megabytes beside the
        # real download: what nginx sends stays within 1% of the file size.
        name = "Rated.exe"
        data = b"MZ" + os.urandom((24 << 20) - 2)
        self.peer.serve(name, data)
        outcome, log = self.run_logged(self.peer.url("/slow/" + name))
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertTrue(self.read(name) == data)
        sent = sum(e["bytes_sent"] for e in log)
        self.assertLessEqual(sent, len(data) * 1.01, log)


class ApacheTests(RealServer, FetchCase):
    peer_class = Apache


class LighttpdTests(RealServer, FetchCase):
    peer_class = Lighttpd


if __name__ == "__main__":
    main(__doc__)
