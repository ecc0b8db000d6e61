"""What the engine's tests through WendrakeFetch.exe share: running it under Wine with a
temporary folder of its own, reading what it printed, and a test case with a download folder.

The tests (fetch_tests.py, hostile_tests.py, server_tests.py) each run as

    <test>.py --build <build folder> --fetch <WendrakeFetch.exe> [unittest options]
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

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
        self.failures = []  # the kind said before each failure ("not-found", "sign-in", ...)
        self.total = self.received = self.valid = None
        for line in output.splitlines():
            if line.startswith("notify "):
                self.codes.append(int(line.split()[1]))
            elif line.startswith("failure "):
                self.failures.append(line.split()[1])
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
    """A temporary folder per test (WendrakeFetch's --temp); dl/ in it receives the download and
    its stamp."""

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
        with open(os.path.join(self.folder, STAMP_FILE), "w") as f:
            f.write(text)

    def read_stamp(self):
        """The stamp's first line: the Last-Modified text alone, as older copies read it."""
        return self.stamp_lines()[0]

    def stamp_lines(self):
        """The stamp's lines: date, address, size, ETag."""
        with open(os.path.join(self.folder, STAMP_FILE), "rb") as f:
            return f.read().decode("utf-8").split("\r\n")

    def stamp_exists(self):
        return os.path.exists(os.path.join(self.folder, STAMP_FILE))

    def stamp_bytes(self):
        with open(os.path.join(self.folder, STAMP_FILE), "rb") as f:
            return f.read()

    def forget_earlier_runs(self):
        for path in (self.path(), os.path.join(self.folder, STAMP_FILE)):
            if os.path.exists(path):
                os.remove(path)

    def assertFailed(self, outcome, kind, codes=(FAILED,)):
        self.assertEqual((outcome.returncode, outcome.codes, outcome.failures), (1, list(codes), [kind]), outcome)

    def assertComplete(self, outcome, data, codes=(STARTED, COMPLETE)):
        self.assertEqual(outcome.returncode, 0, outcome)
        self.assertEqual(outcome.codes, list(codes), outcome)
        self.assertEqual(outcome.received, len(data), outcome)
        self.assertTrue(self.read() == data, "the downloaded file differs from the served one")



def main(description):
    global BUILD, FETCH
    parser = argparse.ArgumentParser(description=description, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--fetch", required=True)
    args, rest = parser.parse_known_args()
    BUILD, FETCH = os.path.abspath(args.build), os.path.abspath(args.fetch)
    unittest.main(module="__main__", argv=[sys.argv[0]] + rest, verbosity=2)
