#!/usr/bin/env python3
"""The download engine through WendrakeFetch.exe (under Wine) against real HTTP on 127.0.0.1:
our fault-injecting server (fault_server.py) and nginx (nginx_peer.py).

    fetch_tests.py --build <build folder> --fetch <WendrakeFetch.exe> [unittest options]

Every complete download is checked byte for byte against the served file. Each run gets a
temporary folder of its own (WendrakeFetch's --temp), which holds the stamp file.
"""

import argparse
import hashlib
import os
import queue
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from fault_server import FIXED_LAST_MODIFIED, FaultServer, ServedFile, free_port, pattern_bytes, random_bytes  # noqa: E402
from nginx_peer import Nginx  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(HERE))
BUILD = None
FETCH = None

STARTED, FAILED, COMPLETE, RETRYING, CORRUPT = 12003, 12004, 12005, 12006, 12007
STAMP_FILE = "LastDownloadDate.txt"


def windows_folder(path):
    return "Z:" + path.replace("/", "\\") + "\\"


def wine_environment():
    # WinINet under Wine honours http_proxy; these requests go straight to the loopback.
    env = dict(os.environ)
    for name in list(env):
        if name.lower() in ("http_proxy", "https_proxy", "all_proxy", "no_proxy"):
            del env[name]
    return env


class Outcome:
    """What one WendrakeFetch run printed and returned."""

    def __init__(self, returncode, output):
        self.returncode = returncode
        self.output = output
        self.codes = []
        self.total = self.received = self.valid = None
        for line in output.splitlines():
            if line.startswith("notify "):
                self.codes.append(int(line.split()[1]))
            elif line.startswith("total="):
                fields = dict(part.split("=") for part in line.split())
                self.total, self.received, self.valid = (int(fields[k]) for k in ("total", "received", "valid"))

    def __repr__(self):
        return "rc=%s output=%r" % (self.returncode, self.output)


def fetch_command(url, folder, temp, timeout, cancel_after=None, options=()):
    command = [os.path.join(SOURCE, "scripts", "wine-run.sh"), BUILD, FETCH] + list(options)
    if cancel_after is not None:
        command += ["--cancel-after", str(cancel_after)]
    return command + ["--timeout", str(timeout), "--temp", windows_folder(temp), url, windows_folder(folder)]


def fetch(url, folder, temp, timeout=30, cancel_after=None, preexec=None, options=()):
    process = subprocess.run(fetch_command(url, folder, temp, timeout, cancel_after, options), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=wine_environment(),
                             timeout=timeout + 60, preexec_fn=preexec, universal_newlines=True)
    return Outcome(process.returncode, process.stdout)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class FetchCase(unittest.TestCase):
    """A temporary folder per test: the stamp file lives in it, downloads go to dl/."""

    def setUp(self):
        self.temp = tempfile.mkdtemp(prefix="wendrake-fetch-")
        self.addCleanup(shutil.rmtree, self.temp, True)
        self.folder = os.path.join(self.temp, "dl")
        os.mkdir(self.folder)

    def run_fetch(self, url, **options):
        return fetch(url, self.folder, self.temp, **options)

    def path(self, name="Setup.exe"):
        return os.path.join(self.folder, name)

    def write(self, data, name="Setup.exe"):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name="Setup.exe"):
        with open(self.path(name), "rb") as f:
            return f.read()

    def write_stamp(self, text):
        with open(os.path.join(self.temp, STAMP_FILE), "w") as f:
            f.write(text)

    def read_stamp(self):
        with open(os.path.join(self.temp, STAMP_FILE)) as f:
            return f.read()

    def forget_earlier_runs(self):
        for path in (self.path(), os.path.join(self.temp, STAMP_FILE)):
            if os.path.exists(path):
                os.remove(path)

    def assertComplete(self, outcome, data, codes=(STARTED, COMPLETE)):
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertEqual(outcome.codes, list(codes), outcome)
        self.assertEqual(outcome.received, len(data), outcome)
        self.assertTrue(self.read() == data, "the downloaded file differs from the served one")


class FaultServerTests(FetchCase):
    SIZE = 300000
    N = 100000  # bytes of a partial file

    @classmethod
    def setUpClass(cls):
        cls.server = FaultServer().start()
        cls.addClassCleanup(cls.server.stop)
        cls.data = random_bytes(cls.SIZE, 7)
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
        self.assertEqual(self.read_stamp(), FIXED_LAST_MODIFIED)

    def test_resume_asks_for_the_missing_bytes_and_appends_them(self):
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data[:self.N])
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N])
        self.assertEqual(self.server.recorded()[1]["body_sent"], self.SIZE - self.N)

    def test_complete_partial_file_is_answered_416_and_reported_complete(self):
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data)
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data, codes=[COMPLETE])
        self.assertEqual((outcome.total, outcome.valid), (self.SIZE, 1))
        self.assertEqual([r["status"] for r in self.server.recorded()], [206, 416])

    def test_partial_file_larger_than_the_file_is_deleted_and_fetched_again(self):
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data + b"!")
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-0", "bytes=0-"])

    def test_changed_last_modified_discards_the_partial_file_once(self):
        # Whether the server's stamp changed once or changes on every answer, the partial
        # file is thrown away once and the fresh download is not thrown away again.
        for changing in (False, True):
            with self.subTest(changing=changing):
                self.server.reset()
                self.server.behaviour.changing_last_modified = changing
                self.write_stamp("Mon, 01 Jan 2001 00:00:00 GMT")
                self.write(b"\xee" * self.N)
                outcome = self.run_fetch(self.url)
                self.assertComplete(outcome, self.data)
                self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-0", "bytes=0-"])
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
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-0", "bytes=0-"])

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
        for status in (404, 500, 416):
            with self.subTest(status=status):
                self.server.reset()
                self.server.behaviour.status = status
                outcome = self.run_fetch(self.url)
                self.assertEqual((outcome.returncode, outcome.codes), (1, [FAILED]), outcome)
                self.assertEqual(self.read(), self.data[:self.N])
        self.server.reset()
        outcome = self.run_fetch(self.server.url("/dl/Missing.exe"))
        self.assertEqual((outcome.returncode, outcome.codes), (1, [FAILED]), outcome)

    def test_folder_that_cannot_take_the_file_fails(self):
        outcome = fetch(self.url, os.path.join(self.temp, "missing"), self.temp)
        self.assertEqual((outcome.returncode, outcome.codes), (1, [FAILED]), outcome)
        outcome = self.run_fetch(self.server.url("/dl/"))
        self.assertEqual((outcome.returncode, outcome.codes), (1, [FAILED]), outcome)
        self.assertEqual(os.listdir(self.temp), ["dl"])

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

    def test_captive_portal_page_never_becomes_part_of_the_installer(self):
        # A run on a hotel network gets the portal's page (200, no Last-Modified) over a good
        # partial file; the next run, back on the real network, must not resume onto it.
        portal = b"<html>Please sign in to the hotel network</html>" * 50
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data[:self.N])
        self.server.behaviour.portal = portal
        outcome = self.run_fetch(self.url)
        self.assertEqual(outcome.returncode, 0, outcome)  # nothing tells the page from a file
        self.assertFalse(os.path.exists(os.path.join(self.temp, STAMP_FILE)))
        self.server.reset()
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])

    def test_416_completes_only_for_the_size_it_names(self):
        # The probe claims the partial file is the whole file; the 416 names a larger one.
        self.write_stamp(FIXED_LAST_MODIFIED)
        self.write(self.data[:self.N])
        self.server.behaviour.lies = [{"total": self.N}, {"status": 416, "total": self.SIZE}]
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-0", "bytes=0-"])

    def test_stalled_connection_times_out_and_is_resumed(self):
        b = self.server.behaviour
        b.stall_after, b.faults_left = self.N, 1
        outcome = self.run_fetch(self.url, options=["--receive-timeout", "2000"])
        self.assertComplete(outcome, self.data, codes=[STARTED, RETRYING, STARTED, COMPLETE])
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-", "bytes=0-0", "bytes=%d-" % self.N])

    def test_compressed_body_is_never_written(self):
        self.server.behaviour.content_encoding = "gzip"
        outcome = self.run_fetch(self.url)
        self.assertEqual((outcome.returncode, outcome.codes), (1, [FAILED]), outcome)
        self.assertFalse(os.path.exists(self.path()) and os.path.getsize(self.path()) > 0)
        self.assertEqual({r["headers"].get("Accept-Encoding") for r in self.server.recorded()}, {"identity"})

    def test_checks_pass_for_the_published_file_fresh_and_resumed(self):
        sha = hashlib.sha256(self.data).hexdigest()
        checks = ["--sha256", sha.upper(), "--size", str(self.SIZE)]
        outcome = self.run_fetch(self.url, options=checks)
        self.assertComplete(outcome, self.data)
        # Resumed: the bytes already on disk count towards the hash.
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
        self.assertFalse(os.path.exists(os.path.join(self.temp, STAMP_FILE)))
        # A size the server contradicts is refused before a byte is written.
        self.server.reset()
        outcome = self.run_fetch(self.url, options=["--size", str(self.SIZE + 1)])
        self.assertEqual((outcome.returncode, outcome.codes), (4, [CORRUPT]), outcome)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-0"])
        self.assertEqual(os.listdir(self.folder), [])
        # A check that is not well formed fails before any request.
        self.server.reset()
        outcome = self.run_fetch(self.url, options=["--sha256", "12ab", "--size", "3x"])
        self.assertEqual((outcome.returncode, outcome.codes), (1, [FAILED]), outcome)
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
        # A file-size limit on the process stands in for a full disk: writes beyond it fail.
        limit = 1 << 20
        data = random_bytes(3 << 20, 11)
        self.server.files["/dl/Large.exe"] = ServedFile(data)

        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

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
        self.assertFalse(os.path.exists(os.path.join(self.temp, STAMP_FILE)))
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


class NginxTests(FetchCase):
    SIZE = 64 << 20

    @classmethod
    def setUpClass(cls):
        cls.nginx = Nginx(slow_rate="30m")
        cls.addClassCleanup(cls.nginx.remove)
        cls.file = os.path.join(cls.nginx.root, "Setup.exe")
        with open(cls.file, "wb") as f:
            f.write(os.urandom(cls.SIZE))
        cls.digest = digest(cls.file)
        cls.nginx.start()
        cls.url = cls.nginx.url("/Setup.exe")

    def run_logged(self, url, **options):
        """A run and the requests nginx logged for it: those that began during the run. (An
        abandoned request of an earlier run may be logged late, while Wine drains its body.)"""
        start = time.time()
        outcome = self.run_fetch(url, **options)

        def during_run():
            return [e for e in self.nginx.log_entries() if e["msec"] - e["request_time"] >= start]

        # nginx logs a request once it has sent its last byte: wait until the list stops growing.
        entries = during_run()
        for _ in range(50):
            time.sleep(0.2)
            newer = during_run()
            if entries and len(newer) == len(entries):
                break
            entries = newer
        return outcome, entries

    def assertWhole(self, outcome):
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertEqual(outcome.received, self.SIZE, outcome)
        self.assertEqual(digest(self.path()), self.digest)

    def test_full_download_then_416_for_the_complete_file(self):
        outcome, log = self.run_logged(self.url)
        self.assertWhole(outcome)
        self.assertEqual(outcome.codes, [STARTED, COMPLETE])
        self.assertEqual([(e["range"], e["status"]) for e in log], [("bytes=0-0", 206), ("bytes=0-", 206)])
        outcome, log = self.run_logged(self.url)
        self.assertWhole(outcome)
        self.assertEqual((outcome.codes, outcome.valid), ([COMPLETE], 1))
        self.assertEqual([e["status"] for e in log], [206, 416])

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

    def test_file_touched_on_the_server_is_fetched_again(self):
        outcome = self.run_fetch(self.url, cancel_after=4 << 20)
        self.assertEqual(outcome.returncode, 3, outcome)
        size = os.path.getsize(self.path())
        old_stamp = self.read_stamp()
        os.utime(self.file, (time.time() + 3600, time.time() + 3600))
        try:
            outcome, log = self.run_logged(self.url)
        finally:
            os.utime(self.file, None)
        self.assertWhole(outcome)
        # nginx logs a request when it ends, and the abandoned one may end last.
        self.assertEqual(sorted(e["range"] for e in log), sorted(["bytes=0-0", "bytes=%d-" % size, "bytes=0-0", "bytes=0-"]))
        self.assertNotEqual(self.read_stamp(), old_stamp)

    def test_probe_costs_no_second_copy_of_the_file(self):
        # Rate-limited, so that a probe streaming the file would send megabytes beside the
        # real download: what nginx sends stays within 1% of the file size.
        name = "Rated.exe"
        data = os.urandom(24 << 20)
        with open(os.path.join(self.nginx.root, name), "wb") as f:
            f.write(data)
        outcome, log = self.run_logged(self.nginx.url("/slow/" + name))
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertTrue(self.read(name) == data)
        sent = sum(e["bytes_sent"] for e in log)
        self.assertLessEqual(sent, len(data) * 1.01, log)


def main():
    global BUILD, FETCH
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--fetch", required=True)
    args, rest = parser.parse_known_args()
    BUILD, FETCH = os.path.abspath(args.build), os.path.abspath(args.fetch)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
