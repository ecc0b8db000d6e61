#!/usr/bin/env python3
"""scripts/check-xp-imports.py on small 32-bit programs built here with the cross compiler: one that
imports WinINet at load time (refused: Windows would look for it in the program's folder first),
and two that delay-load a system DLL through a library made by scripts/make-delaylib.sh, as the
installer does (the check reads the delay-import table, which objdump does not list: a function
Windows XP lacks is found there too)."""

import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
CHECK = os.path.join(ROOT, "scripts", "check-xp-imports.py")
MAKE_DELAYLIB = os.path.join(ROOT, "scripts", "make-delaylib.sh")
CC = "i686-w64-mingw32-gcc-win32"


class ImportCheck(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        for dll in ("wininet", "crypt32"):
            subprocess.run([MAKE_DELAYLIB, "i686", dll, cls.lib(dll)], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    @classmethod
    def lib(cls, dll):
        return os.path.join(cls.work.name, f"lib{dll}_delay.a")

    def build(self, name, source, libraries, version="0x0501"):
        c = os.path.join(self.work.name, name + ".c")
        exe = os.path.join(self.work.name, name + ".exe")
        with open(c, "w") as out:
            out.write(source)
        subprocess.run([CC, "-Os", f"-D_WIN32_WINNT={version}", "-Wl,--major-os-version=5,--minor-os-version=1,"
                        "--major-subsystem-version=5,--minor-subsystem-version=1", c, "-o", exe, *libraries],
                       check=True)
        return exe

    def check(self, exe):
        done = subprocess.run([sys.executable, CHECK, exe], capture_output=True, text=True, timeout=300)
        return done.returncode, done.stdout

    def test_a_dll_imported_at_load_time_outside_the_system_list_is_refused(self):
        exe = self.build("loadtime", "#include <windows.h>\n#include <wininet.h>\n"
                         "int main(void) { return InternetOpenW(0, 0, 0, 0, 0) != 0; }\n", ["-lwininet"])
        code, said = self.check(exe)
        self.assertNotEqual(code, 0, said)
        self.assertIn("WININET.DLL is imported at load time", said)

    def test_a_delay_loaded_dll_passes_and_is_listed(self):
        exe = self.build("delayed", "#include <windows.h>\n#include <wininet.h>\n"
                         "int main(void) { return InternetOpenW(0, 0, 0, 0, 0) != 0; }\n", [self.lib("wininet")])
        code, said = self.check(exe)
        self.assertEqual(code, 0, said)
        self.assertIn("1 delay-loaded (WININET.DLL)", said)

    def test_a_delay_loaded_function_that_xp_lacks_is_found(self):
        exe = self.build("vista", "#include <windows.h>\n#include <wincrypt.h>\n"
                         "int main(void) { return CertIsWeakHash(0, 0, 0, 0, 0, 0); }\n", [self.lib("crypt32")],
                         version="0x0A00")
        code, said = self.check(exe)
        self.assertNotEqual(code, 0, said)
        self.assertIn("CRYPT32.DLL CertIsWeakHash needs Windows Vista or later", said)
        self.assertNotIn("imported at load time", said)


if __name__ == "__main__":
    unittest.main()
