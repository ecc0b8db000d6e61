#!/usr/bin/env python3
"""The 32-bit probe judged on what Wine really prints, through stand-ins for the Wine loader
(scripts/probe-32bit.sh runs $WENDRAKE_WINE32). Whether this machine itself runs 32-bit programs
does not matter here: the stand-ins are shell scripts."""

import os
import stat
import subprocess
import sys
import tempfile
import unittest

PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "probe-32bit.sh")
PREFIX_NOTICE = "wine: created the configuration directory '/tmp/x/prefix'"


class Probe(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.work.cleanup()

    def run_probe(self, script, executable=True):
        wine = os.path.join(self.work.name, "wine")
        with open(wine, "w") as out:
            out.write("#!/bin/sh\n" + script)
        os.chmod(wine, stat.S_IRWXU if executable else stat.S_IRUSR)
        done = subprocess.run(["bash", PROBE], env=dict(os.environ, WENDRAKE_WINE32=wine),
                              capture_output=True, text=True, timeout=600)
        return done.returncode, done.stdout.strip()

    def test_the_line_wine_writes_with_a_crlf_and_a_prefix_notice_passes(self):
        code, said = self.run_probe(f"printf '32-bit ok 4\\r\\n'; echo \"{PREFIX_NOTICE}\" >&2\n")
        self.assertEqual(code, 0, said)
        self.assertIn("runs 32-bit Windows programs", said)

    def test_a_real_failure_names_what_wine_said_not_the_prefix_notice(self):
        code, said = self.run_probe(f"echo \"{PREFIX_NOTICE}\" >&2\n"
                                    "echo 'wine: could not load kernel32.dll, status c0000135' >&2\nexit 1\n")
        self.assertEqual(code, 1)
        self.assertIn("could not load kernel32.dll", said)
        self.assertNotIn("configuration directory", said)

    def test_a_64_bit_answer_or_none_fails(self):
        code, said = self.run_probe("printf '32-bit ok 8\\r\\n'\n")
        self.assertEqual(code, 1)
        self.assertIn("32-bit ok 8", said)
        code, said = self.run_probe(f"echo \"{PREFIX_NOTICE}\" >&2\nexit 3\n")
        self.assertEqual(code, 1)
        self.assertIn("status 3", said)

    def test_a_loader_that_cannot_be_started_says_so(self):
        code, said = self.run_probe("exit 0\n", executable=False)
        self.assertEqual(code, 1)
        self.assertIn("cannot be started", said)


if __name__ == "__main__":
    unittest.main(verbosity=2)
