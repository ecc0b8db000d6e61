#!/usr/bin/env python3
"""The download engine through WendrakeFetch.exe (under Wine) against our fault-injecting server
(fault_server.py) on 127.0.0.1: resuming, ranges, bodies of every framing, retries, checks.
What hostile networks do is in hostile_tests.py, real servers in server_tests.py.

    fetch_tests.py --build <build folder> --fetch <WendrakeFetch.exe> [unittest options]

Every complete download is checked byte for byte against the served file. Each run gets a
temporary folder of its own (WendrakeFetch's --temp); the download and its stamp go to dl/ in it.
"""

import hashlib
import os
import queue
import resource
import signal
import subprocess
import threading
import time

from fetch_support import (COMPLETE, CORRUPT, FAILED, RETRYING, STARTED, FetchCase, Outcome, fetch,  # noqa: E402
                           fetch_command, main, wine_environment)
from fault_server import FIXED_LAST_MODIFIED, FaultServer, ServedFile, free_port, pattern_bytes, random_bytes  # noqa: E402


class FaultServerTests(FetchCase):
    SIZE = 300000
    N = 100000  # bytes of a partial file

    @classmethod
    def setUpClass(cls):
        cls.server = FaultServer().start()
        cls.addClassCleanup(cls.server.stop)
        cls.data = b"MZ" + random_bytes(cls.SIZE - 2, 7)  # a program's first bytes
        cls.server.files["/dl/Setup.exe"] = ServedFile(cls.data)
        cls.url = cls.server.url("/dl/Setup.exe")

    def setUp(self):
        super().setUp()
        self.server.reset()

    def ranges(self):
        return [r["range"] for r in self.server.recorded()]

    def test_first_run_empties_an_old_partial_file_and_asks_from_zero(self):
        self.write(b"\xee" * 5000)
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual((outcome.total, outcome.valid), (self.SIZE, 1))
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])
        self.assertEqual({r["headers"].get("User-Agent") for r in self.server.recorded()}, {"MyAgent"})
        # The date alone on the first line, then the address, the size and the ETag (none here).
        self.assertEqual(self.stamp_lines(), [FIXED_LAST_MODIFIED, self.url, str(self.SIZE), "", ""])

    def test_resume_asks_for_the_missing_bytes_and_appends_them(self):
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data[:self.N])
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N])
        self.assertEqual(self.server.recorded()[1]["body_sent"], self.SIZE - self.N)
        # Only the same version's rest: the resumed request names it.
        self.assertEqual(self.server.recorded()[1]["headers"].get("If-Range"), FIXED_LAST_MODIFIED)
        self.assertNotIn("If-Range", self.server.recorded()[0]["headers"])

    def test_complete_partial_file_is_answered_416_and_reported_complete(self):
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data)
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data, codes=[COMPLETE])
        self.assertEqual((outcome.total, outcome.valid), (self.SIZE, 1))
        self.assertEqual([r["status"] for r in self.server.recorded()], [206, 416])

    def test_partial_file_larger_than_the_file_is_replaced_by_a_fresh_download(self):
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data + b"!")
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])

    def test_changed_last_modified_replaces_the_partial_file_once(self):
        # Whether the server's stamp changed once or changes on every answer, the probe tells
        # that the partial file is of another version: the file is fetched from its start once,
        # and that fresh download is not thrown away again.
        for changing in (False, True):
            with self.subTest(changing=changing):
                self.server.reset()
                self.server.behaviour.changing_last_modified = changing
                self.write_stamp("Mon, 01 Jan 2001 00:00:00 GMT")
                self.write(b"\xee" * self.N)
                outcome = self.run_fetch(self.url)
                self.assertComplete(outcome, self.data)
                self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])
                self.assertNotEqual(self.read_stamp(), "Mon, 01 Jan 2001 00:00:00 GMT")

    def test_server_ignoring_the_range_gets_the_file_written_from_the_start(self):
        self.server.behaviour.honour_range = False
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(b"\xee" * self.N)
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual([r["status"] for r in self.server.recorded()], [200, 200])

    def test_answer_starting_elsewhere_than_asked_is_not_written(self):
        self.server.behaviour.range_from_zero = True
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(b"\xee" * self.N)
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-"])

    def test_bodies_without_content_length_are_read_to_their_end(self):
        for body in ("chunked", "close"):
            with self.subTest(body=body):
                self.forget_earlier_runs()
                self.server.reset()
                self.server.behaviour.body = body
                outcome = self.run_fetch(self.url)
                self.assertComplete(outcome, self.data)
                self.assertEqual((outcome.total, outcome.valid), (self.SIZE, 1))
        # Nothing tells the size and nothing names the version: counts stay true, no percentage.
        self.forget_earlier_runs()
        self.server.reset()
        b = self.server.behaviour
        b.body, b.honour_range, b.last_modified = "chunked", False, None
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual((outcome.total, outcome.valid), (0, 0))

    def test_files_beyond_4_gib_resume_with_64_bit_counts(self):
        size = (5 << 30) + 12345
        tail = 70000
        self.server.files["/dl/Big.bin"] = ServedFile(size=size)
        self.write_stamp(FIXED_LAST_MODIFIED)
        with open(self.path("Big.bin"), "wb") as f:
            f.truncate(size - tail)  # sparse: no disk space taken
        outcome = self.run_fetch(self.server.url("/dl/Big.bin"))
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertEqual((outcome.total, outcome.received), (size, size))
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % (size - tail)])
        self.assertEqual(os.path.getsize(self.path("Big.bin")), size)
        with open(self.path("Big.bin"), "rb") as f:
            f.seek(size - tail)
            self.assertTrue(f.read() == pattern_bytes(size - tail, size))

    def test_http_errors_fail_and_leave_the_partial_file(self):
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data[:self.N])
        # Each says what happened: the file is not there, or the server is in trouble.
        for status, kind in ((404, "not-found"), (410, "not-found"), (500, "server-error"), (503, "server-error"),
                             (403, "server-error"), (416, "server-error")):
            with self.subTest(status=status):
                self.server.reset()
                self.server.behaviour.status = status
                outcome = self.run_fetch(self.url)
                self.assertFailed(outcome, kind)
                self.assertEqual(self.read(), self.data[:self.N])
                self.assertEqual(self.read_stamp(), FIXED_LAST_MODIFIED)
        self.server.reset()
        outcome = self.run_fetch(self.server.url("/dl/Missing.exe"))
        self.assertFailed(outcome, "not-found")

    def test_folder_that_cannot_take_the_file_fails(self):
        outcome = fetch(self.url, os.path.join(self.temp, "missing"), self.temp)
        self.assertFailed(outcome, "in-use")
        # An address that names no file is the package's fault, found before any request.
        outcome = self.run_fetch(self.server.url("/dl/"))
        self.assertFailed(outcome, "misconfigured")
        self.assertEqual(os.listdir(self.temp), ["dl"])
        self.assertEqual(self.ranges(), ["bytes=0-0"])

    def test_body_ending_short_of_the_file_is_resumed_never_complete(self):
        # A connection that closes early, whatever framing its body has, and a 206 whose range
        # stops before the file's end: the bytes that came are kept and the rest is asked for
        # in the same run.
        for body in ("length", "chunked", "close"):
            with self.subTest(body=body):
                self.forget_earlier_runs()
                self.server.reset()
                b = self.server.behaviour
                b.body, b.close_after, b.faults_left = body, self.N, 1
                outcome = self.run_fetch(self.url)
                self.assertComplete(outcome, self.data, codes=[STARTED, RETRYING, STARTED, COMPLETE])
                self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-", "bytes=0-0", "bytes=%d-" % self.N])
        self.forget_earlier_runs()
        self.server.reset()
        self.server.behaviour.range_limit = 2 * self.N - 1000
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data, codes=[STARTED, RETRYING, STARTED, COMPLETE])
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-", "bytes=0-0", "bytes=%d-" % (2 * self.N - 1000)])

    def test_416_completes_only_for_the_size_it_names(self):
        # The probe claims the partial file is the whole file; the 416 names a larger one.
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data[:self.N])
        self.server.behaviour.lies = [{"total": self.N}, {"status": 416, "total": self.SIZE}]
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-"])

    def test_stalled_connection_times_out_and_is_resumed(self):
        b = self.server.behaviour
        b.stall_after, b.faults_left = self.N, 1
        outcome = self.run_fetch(self.url, options=["--receive-timeout", "2000"])
        self.assertComplete(outcome, self.data, codes=[STARTED, RETRYING, STARTED, COMPLETE])
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-", "bytes=0-0", "bytes=%d-" % self.N])

    def test_compressed_body_is_never_written(self):
        self.server.behaviour.content_encoding = "gzip"
        outcome = self.run_fetch(self.url)
        self.assertFailed(outcome, "server-error")
        self.assertFalse(os.path.exists(self.path()) and os.path.getsize(self.path()) > 0)
        self.assertEqual({r["headers"].get("Accept-Encoding") for r in self.server.recorded()}, {"identity"})

    def test_checks_pass_for_the_published_file_fresh_and_resumed(self):
        sha = hashlib.sha256(self.data).hexdigest()
        checks = ["--sha256", sha.upper(), "--size", str(self.SIZE)]
        outcome = self.run_fetch(self.url, options=checks)
        self.assertComplete(outcome, self.data)
        # Resumed: the bytes already on disk count towards the hash, read back when all is there.
        self.write(self.data[:self.N])
        self.server.reset()
        outcome = self.run_fetch(self.url, options=["--sha256", sha])
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N])
        # Whole already: the 416 path verifies the file as it lies.
        self.server.reset()
        outcome = self.run_fetch(self.url, options=checks)
        self.assertComplete(outcome, self.data, codes=[COMPLETE])

    def test_failed_check_fetches_afresh_once_then_reports_corrupt(self):
        sha = hashlib.sha256(self.data).hexdigest()
        # A stale partial file of other bytes under a matching stamp: the fresh download heals it.
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(b"\xee" * self.N)
        outcome = self.run_fetch(self.url, options=["--sha256", sha])
        self.assertComplete(outcome, self.data, codes=[STARTED, STARTED, COMPLETE])
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-0", "bytes=0-"])
        # A hash the server's file never matches: two downloads, then nothing is left.
        self.forget_earlier_runs()
        self.server.reset()
        outcome = self.run_fetch(self.url, options=["--sha256", "00" * 32])
        self.assertEqual((outcome.returncode, outcome.codes), (4, [STARTED, STARTED, CORRUPT]), outcome)
        self.assertEqual(os.listdir(self.folder), [])
        self.assertFalse(self.stamp_exists())
        # A size the server contradicts is refused before a byte is written (once the answer's
        # first bytes show that it is a program at all).
        self.server.reset()
        outcome = self.run_fetch(self.url, options=["--size", str(self.SIZE + 1)])
        self.assertEqual((outcome.returncode, outcome.codes), (4, [CORRUPT]), outcome)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-", "bytes=0-0", "bytes=0-"])
        self.assertEqual(os.listdir(self.folder), [])
        # A check that is not well formed fails before any request.
        self.server.reset()
        outcome = self.run_fetch(self.url, options=["--sha256", "12ab", "--size", "3x"])
        self.assertFailed(outcome, "misconfigured")
        self.assertEqual(self.ranges(), [])

    def test_stalled_transfer_is_abandoned_and_resumed(self):
        # Cancelling while a read waits on a silent server: no notification, no crash,
        # and the bytes that came are kept for the next run.
        self.server.behaviour.stall_after = self.N
        outcome = self.run_fetch(self.url, timeout=3)
        self.assertEqual((outcome.returncode, outcome.codes), (2, [STARTED]), outcome)
        self.assertEqual(outcome.received, self.N)
        self.assertEqual(self.read(), self.data[:self.N])
        self.server.reset()
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N])

    def test_failed_write_fails_the_download(self):
        # A file-size limit on the process makes writes beyond it fail.
        limit = 1 << 20
        data = b"MZ" + random_bytes((3 << 20) - 2, 11)
        self.server.files["/dl/Large.exe"] = ServedFile(data)

        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        # (What the failure is called comes from Wine's reading of the limit; a real full disk
        # is in hostile_tests.py.)
        outcome = fetch(self.server.url("/dl/Large.exe"), self.folder, self.temp, preexec=limit_file_size)
        self.assertEqual((outcome.returncode, outcome.codes), (1, [STARTED, FAILED]), outcome)
        partial = outcome.received
        self.assertLessEqual(partial, limit)
        self.assertEqual(os.path.getsize(self.path("Large.exe")), partial)
        self.assertTrue(self.read("Large.exe") == data[:partial])
        # Without the limit the next run resumes where the disk ran full.
        self.server.reset()
        outcome = self.run_fetch(self.server.url("/dl/Large.exe"))
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertTrue(self.read("Large.exe") == data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % partial])

    def test_server_without_last_modified_gives_no_percentage_and_no_resume(self):
        self.server.behaviour.last_modified = None
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(outcome.valid, 0)
        self.assertFalse(self.stamp_exists())
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges()[-1], "bytes=0-")

    def test_probe_body_is_never_read(self):
        # The probe gets the whole file, which stalls after a few bytes: the engine must not
        # wait for it, nor take its closing for a failure of the file request.
        self.server.behaviour.probe_stall_after = 1000
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual([r["status"] for r in self.server.recorded()], [200, 206])

    def test_retries_while_nothing_listens_and_keeps_the_partial_file(self):
        # A resumed run whose first connections are refused: once the server is up, the
        # engine asks for the missing bytes, not for the whole file again.
        port = free_port()
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data[:self.N])
        url = "http://127.0.0.1:%d/dl/Setup.exe" % port
        process = subprocess.Popen(fetch_command(url, self.folder, self.temp, 40), stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=wine_environment(),
                                   universal_newlines=True)
        lines = queue.Queue()
        reader = threading.Thread(target=lambda: [lines.put(line) for line in process.stdout], daemon=True)
        reader.start()
        output = []
        server = None
        try:
            deadline = time.monotonic() + 30
            while output.count("notify %d\n" % RETRYING) < 2 and time.monotonic() < deadline:
                try:
                    output.append(lines.get(timeout=1))
                except queue.Empty:
                    pass
            server = FaultServer(port)
            server.files["/dl/Setup.exe"] = ServedFile(self.data)
            server.start()
            process.wait(60)
        finally:
            if process.poll() is None:
                process.kill()
            if server:
                server.stop()
        reader.join(5)
        process.stdout.close()
        while not lines.empty():
            output.append(lines.get())
        outcome = Outcome(process.returncode, "".join(output))
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertGreaterEqual(outcome.codes.count(RETRYING), 2, outcome)
        self.assertEqual(outcome.codes[-2:], [STARTED, COMPLETE], outcome)
        self.assertEqual([r["range"] for r in server.recorded()], ["bytes=0-0", "bytes=%d-" % self.N])
        self.assertTrue(self.read() == self.data)


if __name__ == "__main__":
    main(__doc__)
