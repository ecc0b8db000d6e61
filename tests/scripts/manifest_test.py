#!/usr/bin/env python3
"""The manifest rule of scripts/check-xp-imports.py, on our own manifest and on the forms that
Windows XP refuses or that no Windows can read."""
import importlib.machinery
import os
import types
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
# The script's file name is no module name, so it is loaded from its path.
check_xp = types.ModuleType("check_xp")
importlib.machinery.SourceFileLoader("check_xp", os.path.join(SOURCE, "scripts", "check-xp-imports.py")).exec_module(check_xp)

OURS = open(os.path.join(SOURCE, "resources", "Wendrake.manifest"), encoding="utf-8").read()
HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
SETTINGS = ('<windowsSettings xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">'
            "<dpiAware>true</dpiAware></windowsSettings>")


class ManifestRule(unittest.TestCase):
    def test_our_manifest_loads_on_xp_and_declares_what_newer_windows_read(self):
        problems, facts = check_xp.manifest_problems(OURS)
        self.assertEqual(problems, [])
        self.assertEqual(facts["supported"], 5)  # Vista, 7, 8, 8.1, 10 and 11
        self.assertEqual(facts["dpiAware"], "true/pm")
        self.assertEqual(facts["dpiAwareness"], "PerMonitorV2, PerMonitor")
        # The same text is what the executable carries.
        self.assertEqual(check_xp.embedded_manifest(b"MZ\0\0" + OURS.encode("utf-8") + b"\0\0"), OURS.strip())

    def test_an_application_element_in_the_asm_v1_namespace_is_refused(self):
        # The form XP's loader refuses: <application> inheriting the root's asm.v1 namespace.
        bad = (HEAD + '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
               f"<application>{SETTINGS}</application></assembly>")
        problems, _ = check_xp.manifest_problems(bad)
        self.assertEqual(len(problems), 1)
        self.assertIn("<application> is in the asm.v1 namespace", problems[0])
        # The same element under the asm.v3 namespace, prefixed or as the default, is ignored by XP.
        for good in ('<asmv3:application xmlns:asmv3="urn:schemas-microsoft-com:asm.v3">'
                     f'<asmv3:windowsSettings xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">'
                     "<dpiAware>true</dpiAware></asmv3:windowsSettings></asmv3:application>",
                     f'<application xmlns="urn:schemas-microsoft-com:asm.v3">{SETTINGS}</application>'):
            text = HEAD + f'<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">{good}</assembly>'
            self.assertEqual(check_xp.manifest_problems(text)[0], [], good)

    def test_an_element_that_declares_one_namespace_twice(self):
        twice = (HEAD + '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
                 '<ms_asmv3:trustInfo xmlns:ms_asmv3="urn:schemas-microsoft-com:asm.v3" '
                 'xmlns="urn:schemas-microsoft-com:asm.v3"><ms_asmv3:security/></ms_asmv3:trustInfo></assembly>')
        problems, _ = check_xp.manifest_problems(twice)
        self.assertEqual(len(problems), 1)
        self.assertIn("<ms_asmv3:trustInfo> declares the namespace urn:schemas-microsoft-com:asm.v3 twice", problems[0])

    def test_a_manifest_that_does_not_parse(self):
        problems, _ = check_xp.manifest_problems(OURS.replace("</asmv3:windowsSettings>", ""))
        self.assertEqual(len(problems), 1)
        self.assertIn("does not parse", problems[0])


if __name__ == "__main__":
    unittest.main()
