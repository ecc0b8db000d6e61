#!/usr/bin/env python3
"""The download engine (WendrakeFetch.exe under Wine) against the answers that real networks give:
captive portals, servers that change or stop naming their files' versions, files that cannot be
deleted or cut back, resets, redirect loops, empty and short answers, 416s without a size, full
disks and certificates nobody trusts. Our fault-injecting server (fault_server.py) plays each.

    hostile_tests.py --build <build folder> --fetch <WendrakeFetch.exe> [unittest options]

Each failure must say what happened ("failure <kind>"), and none may cost the partial file.
"""

import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest

from fetch_support import COMPLETE, FAILED, RETRYING, STARTED, FetchCase, fetch, main  # noqa: E402
from fault_server import FIXED_LAST_MODIFIED, FaultServer, ServedFile, random_bytes  # noqa: E402

OLDER = "Mon, 01 Jan 2001 00:00:00 GMT"
PORTAL = b"<!DOCTYPE html>\n<html><head><title>Hotel Wi-Fi</title></head><body>Please sign in</body></html>\n" * 20


class HostileNetworkTests(FetchCase):
    SIZE = 300000
    N = 100000  # bytes of a partial file

    @classmethod
    def setUpClass(cls):
        cls.server = FaultServer().start()
        cls.addClassCleanup(cls.server.stop)
        cls.data = b"MZ" + random_bytes(cls.SIZE - 2, 21)
        cls.older = b"MZ" + random_bytes(cls.SIZE - 2, 22)  # an earlier version of the same file
        cls.server.files["/dl/Setup.exe"] = ServedFile(cls.data)
        cls.server.files["/dl/Setup.msi"] = ServedFile(b"\xd0\xcf\x11\xe0" + cls.data[4:])
        cls.url = cls.server.url("/dl/Setup.exe")

    def setUp(self):
        super().setUp()
        self.server.reset()
        self.server.redirects.clear()

    def ranges(self):
        return [r["range"] for r in self.server.recorded()]

    def partial_with_stamp(self, data=None, stamp=FIXED_LAST_MODIFIED, name="Setup.exe"):
        """An earlier run's partial file and its stamp; returns both as bytes."""
        self.write(self.data[:self.N] if data is None else data, name)
        self.write_stamp(stamp)
        return self.read(name), self.stamp_bytes()

    # A foreign answer never costs the partial file.

    def test_captive_portal_page_leaves_the_partial_file_and_its_stamp(self):
        # Over a good partial file, with and without the size check (which used to delete it as
        # a mismatch): the page fails the attempt with its own kind, and nothing is touched.
        for checks in ([], ["--size", str(self.SIZE)]):
            with self.subTest(checks=checks):
                self.server.reset()
                partial, stamp = self.partial_with_stamp()
                self.server.behaviour.portal = PORTAL
                outcome = self.run_fetch(self.url, options=checks)
                self.assertFailed(outcome, "sign-in")
                self.assertEqual(self.read(), partial)
                self.assertEqual(self.stamp_bytes(), stamp)
                # Back on a working network the next run resumes them.
                self.server.reset()
                outcome = self.run_fetch(self.url, options=checks)
                self.assertComplete(outcome, self.data)
                self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N])

    def test_only_what_cannot_be_the_installer_is_refused(self):
        # A program labelled as a page is still the program.
        self.server.behaviour.content_type = "text/html"
        self.assertComplete(self.run_fetch(self.url), self.data)
        # For an address of another kind, a page is what cannot be the installer; its own
        # bytes come through whatever their type.
        msi = self.server.url("/dl/Setup.msi")
        expected = self.server.files["/dl/Setup.msi"].data
        outcome = self.run_fetch(msi)
        self.assertEqual((outcome.returncode, self.read("Setup.msi") == expected), (0, True), outcome)
        self.server.reset()
        partial, _ = self.partial_with_stamp(expected[:self.N], name="Setup.msi")
        self.server.behaviour.portal = PORTAL
        self.assertFailed(self.run_fetch(msi), "sign-in")
        self.assertEqual(self.read("Setup.msi"), partial)

    # One version per file.

    def test_complete_looking_file_of_another_version_is_fetched_again(self):
        self.partial_with_stamp(self.older, stamp=OLDER)
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])
        self.assertEqual(self.read_stamp(), FIXED_LAST_MODIFIED)

    def test_answer_that_names_no_version_never_extends_an_earlier_file(self):
        # The probe names the stamp's version, the rest that comes back names none: the old
        # head is not joined to a tail of unknown version; the file starts again, and no
        # stamp vouches for it.
        self.partial_with_stamp(self.older[:self.N])
        self.server.behaviour.version_on_probe_only = True
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-"])
        self.assertFalse(self.stamp_exists())
        # A server that stopped naming versions altogether: nothing is resumed.
        self.server.reset()
        self.server.behaviour.last_modified = None
        self.partial_with_stamp(self.older[:self.N])
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])

    def test_resumed_requests_carry_if_range_and_a_changed_file_comes_whole(self):
        # The file changes between the probe and the file request: If-Range makes the server
        # send the new file whole, which replaces the old bytes.
        self.partial_with_stamp(self.older[:self.N])
        self.server.behaviour.later_last_modified = "Wed, 02 Aug 2023 08:00:00 GMT"
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        requests = self.server.recorded()
        self.assertEqual(requests[1]["headers"].get("If-Range"), FIXED_LAST_MODIFIED)
        self.assertEqual([r["status"] for r in requests], [206, 200])
        self.assertEqual(self.read_stamp(), "Wed, 02 Aug 2023 08:00:00 GMT")
        # With an ETag, the stamp keeps it and If-Range names it.
        self.server.reset()
        self.server.behaviour.etag = True
        self.forget_earlier_runs()
        self.assertComplete(self.run_fetch(self.url), self.data)
        etag = self.stamp_lines()[3]
        self.assertTrue(etag.startswith('"'), self.stamp_lines())
        self.write(self.data[:self.N])
        self.server.reset()
        self.server.behaviour.etag = True
        self.assertComplete(self.run_fetch(self.url), self.data)
        self.assertEqual(self.server.recorded()[1]["headers"].get("If-Range"), etag)

    def test_stamp_of_another_address_or_size_is_not_resumed(self):
        other = self.server.url("/elsewhere/Setup.exe")
        for lines in ([FIXED_LAST_MODIFIED, other, str(self.SIZE), ""],
                      [FIXED_LAST_MODIFIED, self.url, str(self.SIZE + 1), ""]):
            with self.subTest(stamp=lines):
                self.server.reset()
                self.partial_with_stamp(stamp="\r\n".join(lines) + "\r\n")
                outcome = self.run_fetch(self.url)
                self.assertComplete(outcome, self.data)
                self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])

    # Failed deletes and truncations are failures.

    def test_file_that_cannot_be_cut_back_fails_as_in_use(self):
        # Another version's bytes must go before the new ones: when they cannot, nothing is
        # written onto them, and nothing loops.
        partial, stamp = self.partial_with_stamp(self.older[:self.N], stamp=OLDER)
        outcome = self.run_fetch(self.url, options=["--refuse", "truncate"])
        self.assertFailed(outcome, "in-use")
        self.assertEqual((self.read(), self.stamp_bytes()), (partial, stamp))
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])

    def test_file_that_cannot_be_deleted_fails_as_in_use(self):
        # A file that failed its check must go before a fresh download.
        outcome = self.run_fetch(self.url, options=["--refuse", "delete", "--sha256", "00" * 32])
        self.assertFailed(outcome, "in-use", codes=[STARTED, FAILED])
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])
        # So must a stamp that would vouch for bytes no version names.
        self.server.reset()
        self.server.behaviour.last_modified = None
        partial, stamp = self.partial_with_stamp(self.older[:self.N])
        outcome = self.run_fetch(self.url, options=["--refuse", "delete"])
        self.assertFailed(outcome, "in-use")
        self.assertEqual(self.stamp_bytes(), stamp)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=0-"])

    # Transient means transient.

    def test_resets_and_connections_closed_before_an_answer_are_resumed(self):
        b = self.server.behaviour
        b.reset_after, b.faults_left = self.N, 1
        outcome = self.run_fetch(self.url)
        # A reset drops what was still on its way (on a busy machine, where the client reads late,
        # all of it: then nothing was started): the rest is asked from the bytes written.
        ranges = self.ranges()
        self.assertEqual(ranges[:3], ["bytes=0-0", "bytes=0-", "bytes=0-0"])
        kept = int(ranges[3][len("bytes="):-1])
        self.assertTrue(0 <= kept <= self.N, ranges)
        self.assertComplete(outcome, self.data, codes=([STARTED] if kept else []) + [RETRYING, STARTED, COMPLETE])
        # The probe's connection, then the file request's, closed before any answer. (WinINet
        # sends a request again by itself once when a connection it kept open closes; the
        # second time it is ours.)
        for dropped in ({0}, {1, 2}):
            with self.subTest(dropped=dropped):
                self.forget_earlier_runs()
                self.server.reset()
                self.server.behaviour.drop_requests = dropped
                outcome = self.run_fetch(self.url)
                self.assertComplete(outcome, self.data, codes=[RETRYING, STARTED, COMPLETE])

    # Every loop ends.

    def test_redirect_loops_and_long_chains_fail(self):
        redirects = self.server.redirects
        redirects["/loop/Setup.exe"] = "/loop/Setup.exe"
        redirects["/a/Setup.exe"] = self.server.url("/b/Setup.exe")
        redirects["/b/Setup.exe"] = "/a/Setup.exe"
        for hop in range(11):
            redirects["/hop%d/Setup.exe" % hop] = "/hop%d/Setup.exe" % (hop + 1)
        redirects["/hop11/Setup.exe"] = "/dl/Setup.exe"
        for start in ("/loop/Setup.exe", "/a/Setup.exe", "/hop1/Setup.exe"):
            with self.subTest(start=start):
                self.server.reset()
                outcome = self.run_fetch(self.server.url(start))
                self.assertFailed(outcome, "redirects")
                self.assertLessEqual(len(self.server.recorded()), 11)
        # Ten redirects are still followed, for the probe and the file request alike.
        self.server.reset()
        outcome = self.run_fetch(self.server.url("/hop2/Setup.exe"))
        self.assertComplete(outcome, self.data)
        self.assertEqual(len(self.server.recorded()), 22)

    def test_attempts_that_bring_nothing_are_repeated_until_one_does(self):
        # Bodies that end before their first byte: no byte, no "started", another attempt.
        b = self.server.behaviour
        b.close_after, b.faults_left = 0, 3
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data, codes=[RETRYING, RETRYING, RETRYING, STARTED, COMPLETE])

    # Nothing short is complete, and nothing complete is fetched again.

    def test_empty_answer_after_the_probe_named_the_size_is_not_complete(self):
        self.server.behaviour.empty_answers = 1
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data, codes=[RETRYING, STARTED, COMPLETE])

    def test_416_is_complete_only_for_the_size_named_or_probed(self):
        # Named size 0 over an empty partial file: never a complete download.
        self.partial_with_stamp(b"")
        self.server.behaviour.lies = [{}, {"status": 416, "total": 0}]
        outcome = self.run_fetch(self.url)
        self.assertFailed(outcome, "server-error")
        # A size the probe contradicts: not complete; the file is fetched again.
        self.server.reset()
        self.partial_with_stamp()
        self.server.behaviour.lies = [{"total": self.SIZE}, {"status": 416, "total": self.N}]
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-"])
        # No size at all, short of the probe's: not complete.
        self.server.reset()
        self.partial_with_stamp()
        self.server.behaviour.lies = [{}, {"status": 416}]
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data)
        self.assertEqual(self.ranges(), ["bytes=0-0", "bytes=%d-" % self.N, "bytes=0-"])

    def test_416_without_a_size_completes_a_whole_file_without_fetching_it(self):
        # As Apache and lighttpd answer a range past the end: no Content-Range. The probe of
        # the same version named the size, and the file has exactly that size.
        self.server.behaviour.bare_416 = True
        self.partial_with_stamp(self.data)
        outcome = self.run_fetch(self.url)
        self.assertComplete(outcome, self.data, codes=[COMPLETE])
        self.assertEqual([r["status"] for r in self.server.recorded()], [206, 416])

    # Each failure says what happened.

    def test_too_little_room_is_said_before_the_first_byte(self):
        self.server.files["/dl/Huge.exe"] = ServedFile(size=5 << 40)
        partial, stamp = self.partial_with_stamp(name="Huge.exe", stamp=OLDER)
        outcome = self.run_fetch(self.server.url("/dl/Huge.exe"))
        self.assertFailed(outcome, "disk-full")
        self.assertEqual((self.read("Huge.exe"), self.stamp_bytes()), (partial, stamp))

    def test_full_disk_is_said_before_the_first_byte_or_on_the_write_that_fails(self):
        # A file system of 1 MiB for a 3 MiB file, reached from Wine through Z:.
        if os.geteuid() != 0:
            self.skipTest("mounting a small file system needs root (CI runs as root)")
        disk = tempfile.mkdtemp(prefix="wendrake-disk-")
        self.addCleanup(shutil.rmtree, disk, True)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", disk]).returncode != 0:
            self.skipTest("this machine cannot mount a tmpfs")
        self.addCleanup(subprocess.run, ["umount", "-l", disk])
        data = b"MZ" + random_bytes((3 << 20) - 2, 23)
        self.server.files["/dl/Large.exe"] = ServedFile(data)
        url = self.server.url("/dl/Large.exe")
        # The size is known: nothing is written.
        outcome = fetch(url, disk, self.temp)
        self.assertFailed(outcome, "disk-full")
        self.assertEqual(os.listdir(disk), [])
        # No answer tells the size: the write that fails says it; what fit stays.
        self.server.reset()
        b = self.server.behaviour
        b.honour_range, b.body = False, "chunked"
        outcome = fetch(url, disk, self.temp)
        self.assertFailed(outcome, "disk-full", codes=[STARTED, FAILED])
        with open(os.path.join(disk, "Large.exe"), "rb") as f:
            kept = f.read()
        self.assertGreater(len(kept), 0)
        self.assertTrue(data.startswith(kept))

    def test_untrusted_certificate_is_a_secure_connection_failure(self):
        # A server under the name localhost (Wine's TLS refuses certificates for addresses)
        # with a certificate of its own, which no root of the system vouches for: what a
        # captive portal looks like over HTTPS.
        folder = tempfile.mkdtemp(prefix="wendrake-tls-")
        self.addCleanup(shutil.rmtree, folder, True)
        certificate, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        "/CN=localhost", "-addext", "subjectAltName=DNS:localhost", "-keyout", key, "-out",
                        certificate], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        server = FaultServer(tls=(certificate, key)).start()
        self.addCleanup(server.stop)
        server.files["/dl/Setup.exe"] = ServedFile(self.data)
        partial, stamp = self.partial_with_stamp()
        outcome = self.run_fetch(server.url("/dl/Setup.exe"))
        self.assertFailed(outcome, "secure-connection")
        self.assertEqual((self.read(), self.stamp_bytes()), (partial, stamp))


if __name__ == "__main__":
    main(__doc__)
