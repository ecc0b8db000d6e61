#!/usr/bin/env python3
"""WendrakeCheck.exe (under Wine) on packages laid out in temporary folders: the sample package
checks clean, a package with one fault gets that fault's findings, and --online asks nginx and
our fault-injecting server. --pack writes a packed installer only from a package without errors;
the checker reads the package inside a packed file and says whether and by whom it is signed.

    check_tests.py --build <build folder> --check <WendrakeCheck.exe> [unittest options]
"""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "download"))

from fault_server import FaultServer, ServedFile, random_bytes  # noqa: E402
from nginx_peer import Nginx  # noqa: E402

BUILD = CHECK = PICTURES = None
INSTALLER = b"MZ" + random_bytes(300000 - 2, 7)  # a program's first bytes
PAGES = ("/terms.html", "/content.html", "/later.html")
TRACKING_AGENT = "Wendrake/1.0 (tracking)"


def windows_folder(path):
    return "Z:" + path.replace("/", "\\")


def wine_environment():
    # WinINet under Wine honours http_proxy; these requests go straight to the loopback.
    return {k: v for k, v in os.environ.items() if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}


def sample(name):
    with open(os.path.join(SOURCE, "demo", name), encoding="utf-8") as f:
        return f.read()


def with_key(config, key, value):
    """The settings text with one key's value replaced (added at the end when absent)."""
    lines = config.splitlines()
    for i, line in enumerate(lines):
        if line.split("=", 1)[0] == key:
            lines[i] = "%s=%s" % (key, value)
            break
    else:
        lines.append("%s=%s" % (key, value))
    return "\n".join(lines) + "\n"


def without_line(text, start, section=None):
    """The text without the first line that starts with `start` (after the section's header)."""
    lines = text.splitlines()
    begin = lines.index("[%s]" % section) if section else 0
    index = next(i for i in range(begin, len(lines)) if lines[i].startswith(start))
    del lines[index]
    return "\n".join(lines) + "\n"


def line_of(text, start, section=None):
    lines = text.splitlines()
    begin = lines.index("[%s]" % section) if section else 0
    return next(i for i in range(begin, len(lines)) if lines[i].startswith(start)) + 1


class Outcome:
    def __init__(self, process):
        self.rc = process.returncode
        self.output = process.stdout.decode("utf-8", "replace")
        self.findings = [l for l in self.output.splitlines() if l.startswith(("error:", "warning:"))]
        self.notes = [l for l in self.output.splitlines() if l.startswith("note:")]


class CheckerCase(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="wendrake-check-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def package(self, config=None, language=None, language_bytes=None):
        """Lays out the sample package, with the given files instead of the samples'. The
        settings get Windows line ends, as the shipped package has them, and the ANSI code page;
        settings given as bytes are written as they are. What an earlier case of the same test put
        there goes first."""
        for name in os.listdir(self.folder):
            os.remove(os.path.join(self.folder, name))
        config = sample("ConfigParams.ini") if config is None else config
        with open(os.path.join(self.folder, "ConfigParams.ini"), "wb") as f:
            f.write(config if isinstance(config, bytes) else config.replace("\n", "\r\n").encode("cp1252"))
        if language_bytes is None:
            language_bytes = (sample("Language.ini") if language is None else language).encode("utf-8")
        with open(os.path.join(self.folder, "Language.ini"), "wb") as f:
            f.write(language_bytes)
        for name in ("BackGround.bmp", "Preloader.jpg"):
            shutil.copy(os.path.join(PICTURES, name), self.folder)

    def double(self, name, variant):
        """The picture with twice its pixels each way, as a sharper variant."""
        subprocess.run(["convert", os.path.join(self.folder, name), "-resize", "200%",
                        ("BMP3:" if name.endswith(".bmp") else "") + os.path.join(self.folder, variant)], check=True)

    def write(self, name, data):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data)

    def check(self, online=False, target=None, pack=None):
        command = [os.path.join(SOURCE, "scripts", "wine-run.sh"), BUILD, CHECK]
        command += ["--online"] if online else []
        command += ["--pack", windows_folder(pack)] if pack else []
        process = subprocess.run(command + [windows_folder(target or self.folder)], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=wine_environment(),
                                 timeout=300)
        return Outcome(process)

    def assertFindings(self, outcome, rc, *patterns):
        """Exactly one finding for each pattern, nothing else, and the exit status."""
        self.assertEqual(len(outcome.findings), len(patterns), outcome.output)
        for pattern in patterns:
            self.assertEqual(len([f for f in outcome.findings if re.match(pattern, f)]), 1,
                             "%r in %s" % (pattern, outcome.output))
        self.assertEqual(outcome.rc, rc, outcome.output)


class SamplePackage(CheckerCase):
    def test_sample_package_checks_clean(self):
        self.package()
        outcome = self.check()
        self.assertFindings(outcome, 0)
        self.assertIn("0 errors, 0 warnings", outcome.output)

    def test_sample_package_checks_clean_on_a_120_dpi_screen(self):
        # The checker lays out the wizard's windows as the installer does on that screen.
        self.package()
        wine = [os.path.join(SOURCE, "scripts", "wine-run.sh"), BUILD, "reg"]
        key = ["HKCU\\Control Panel\\Desktop", "/v", "LogPixels"]
        run = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                   env=wine_environment(), timeout=120)
        subprocess.run(wine + ["add"] + key + ["/t", "REG_DWORD", "/d", "120", "/f"], check=True, **run)
        self.addCleanup(subprocess.run, wine + ["delete"] + key + ["/f"], **run)
        self.assertFindings(self.check(), 0)

    def test_missing_files(self):
        outcome = self.check()
        self.assertFindings(outcome, 2, r"error: ConfigParams\.ini: missing", r"error: Language\.ini: missing",
                            r"error: BackGround\.bmp: missing", r"error: Preloader\.jpg: missing")


class SettingsFindings(CheckerCase):
    def test_each_fault_of_the_settings(self):
        config = sample("ConfigParams.ini")
        end = len(config.splitlines()) + 1
        url_line = line_of(config, "InstallerDownloadURL")
        vista_line = line_of(config, "VistaDefaultInstallPath")
        cases = [
            ("misspelt key", with_key(config, "BrandProdcut", "x"),
             [r"warning: ConfigParams\.ini:%d: unknown key BrandProdcut \(did you mean BrandProduct\?\)" % end], 1),
            ("empty download address", with_key(config, "InstallerDownloadURL", ""),
             [r"error: ConfigParams\.ini:%d: InstallerDownloadURL is empty" % url_line], 2),
            ("address that does not parse", with_key(config, "TnCLink", "htp//127.0.0.1/terms.html"),
             [r"error: ConfigParams\.ini:%d: TnCLink is not an http or https address" % line_of(config, "TnCLink")], 2),
            ("download address without a file name", with_key(config, "InstallerDownloadURL", "http://127.0.0.1/poker/"),
             [r"error: ConfigParams\.ini:%d: InstallerDownloadURL does not end in a file name" % url_line], 2),
            ("unknown placeholder", with_key(config, "ContentLink", "http://127.0.0.1/c.html?lang=$Lang$"),
             [r"error: ConfigParams\.ini:\d+: ContentLink: unknown placeholder \$Lang\$"], 2),
            ("page number outside the tracking address", with_key(config, "TnCLink", "http://127.0.0.1/t?s=$StageID$"),
             [r"error: ConfigParams\.ini:\d+: TnCLink: \$StageID\$ is replaced only in OmnitureLink"], 2),
            ("default language nobody has", with_key(config, "DefaultLanguage", "xx"),
             [r"warning: ConfigParams\.ini:%d: DefaultLanguage 'xx' is no language's ShortName"
              % line_of(config, "DefaultLanguage")], 1),
            ("value past 199 characters", with_key(config, "InstallAnywhereURL", "http://127.0.0.1/l?" + "a" * 240),
             [r"error: ConfigParams\.ini:\d+: InstallAnywhereURL is 259 characters long: Wendrake reads only the first 199"], 2),
            # The mirrors' addresses are read whole, however long; each must be a web address.
            ("long mirror address", with_key(config, "InstallerMirrorURL1", "http://127.0.0.1/" + "m" * 300 + "/Setup.exe"),
             [], 0),
            ("mirror that is no web address", with_key(config, "InstallerMirrorURL2", "ftp://127.0.0.1/Setup.exe"),
             [r"error: ConfigParams\.ini:%d: InstallerMirrorURL2 is not an http or https address" % end], 2),
            ("malformed installer checks", with_key(with_key(config, "InstallerSHA256", "abc123"), "InstallerSize", "12 MB"),
             [r"error: ConfigParams\.ini:%d: InstallerSHA256 is not 64 hexadecimal digits" % end,
              r"error: ConfigParams\.ini:%d: InstallerSize is not a number of bytes" % (end + 1)], 2),
            ("a section that is never read", config + "[Param]\nBrandName=x\n",
             [r"warning: ConfigParams\.ini:%d: section \[Param\] is never read" % end], 1),
            ("a second [Params]", config + "[params]\nBrandName=x\n",
             [r"warning: ConfigParams\.ini:%d: section \[params\] is there twice: only the first is read" % end], 1),
            ("download address that is no program", with_key(config, "InstallerDownloadURL", "http://127.0.0.1/get.php?id=7"),
             [r'warning: ConfigParams\.ini:%d: InstallerDownloadURL\'s file, "get\.php", is no program \(\.exe\): the '
              r"wizard saves it under that name and opens it as Windows opens that kind of file; where Windows has no "
              r"program for it, the installer cannot be started, and every Retry deletes the file and downloads it "
              r"again$" % url_line], 1),
            ("no folder for Windows Vista", with_key(config, "VistaDefaultInstallPath", ""),
             [r'error: ConfigParams\.ini:%d: VistaDefaultInstallPath is empty: on Windows Vista and later the wizard '
              r'proposes "\\Corvana Poker", a folder at the root of whichever drive is current$' % vista_line], 2),
            ("a variable in the folder for Windows Vista", with_key(config, "VistaDefaultInstallPath", "%LOCALAPPDATA%\\Corvana"),
             [r'error: ConfigParams\.ini:%d: VistaDefaultInstallPath holds %%LOCALAPPDATA%%, which the installer does '
              r'not expand: on Windows Vista and later it proposes "%%LOCALAPPDATA%%\\Corvana\\Corvana Poker" as '
              r'written$' % vista_line], 2),
            ("the folder for Windows Vista in Program Files",
             with_key(config, "VistaDefaultInstallPath", "C:\\Program Files\\Corvana"),
             [r'error: ConfigParams\.ini:%d: VistaDefaultInstallPath lies in the program-files folder: on Windows '
              r'Vista and later the wizard proposes "C:\\Program Files\\Corvana\\Corvana Poker", then refuses it '
              r'\(VistaProtectedFolderMsg\)$' % vista_line], 2),
            # Windows reads the file in the ANSI code page (Wine's, for its English locale, 1252).
            ("settings saved as UTF-8", with_key(config, "BrandProductDisplayName", "Corvana Pokér™").encode("utf-8"),
             [r'error: ConfigParams\.ini:%d: BrandProductDisplayName is saved as UTF-8, but Windows reads this file '
              r'in the ANSI code page \(1252 here\): users see "Corvana PokÃ©râ„¢" for "Corvana Pokér™"; save the '
              r'file as ANSI text, or as UTF-16 \("Unicode" in Notepad\)$' % line_of(config, "BrandProductDisplayName")], 2),
            # Windows' reader takes the mark for ANSI text, so "[Params]" on the first line is not a
            # header. (Wine's reader skips the mark, so the settings still load here and nothing
            # else follows; on Windows every setting would read as empty.)
            ("a UTF-8 byte-order mark before [Params]", b"\xef\xbb\xbf" + config.encode("utf-8"),
             [r'error: ConfigParams\.ini: no \[Params\] section: every setting reads as empty: the file starts with a '
              r'UTF-8 byte-order mark, which Windows reads as ANSI text \("ï»¿" before the first line\) and which '
              r'hides a header on that line; save it as ANSI text, or as UTF-16 \("Unicode" in Notepad\)$'], 2),
        ]
        for name, text, patterns, rc in cases:
            with self.subTest(name):
                self.package(config=text)
                self.assertFindings(self.check(), rc, *patterns)


class LanguageFindings(CheckerCase):
    def test_each_fault_of_the_texts(self):
        language = sample("Language.ini")
        de = line_of(language, "[Deutsch]")
        last = [l for l in language.splitlines() if l.startswith("[")][-1]
        no_short = without_line(language, "ShortName=", "Deutsch")
        umlaut = line_of(language, "WelcomeMsg1=", "Deutsch")
        cases = [
            ("byte-order mark", b"\xef\xbb\xbf" + language.encode("utf-8"),
             # The first header is lost, and with it English as a language to choose.
             [r"error: Language\.ini:1: starts with a byte-order mark", r"warning: Language\.ini: has no \[English\]",
              r"warning: ConfigParams\.ini:\d+: DefaultLanguage 'en' is no language's ShortName"], 2),
            ("invalid UTF-8", language.encode("utf-8").replace("lädt".encode("utf-8"), b"l\xe4dt"),
             [r"error: Language\.ini:%d: is not valid UTF-8" % umlaut], 2),
            ("section without ShortName", no_short.encode("utf-8"),
             [r"error: Language\.ini:%d: \[Deutsch\] has no ShortName and reads \[Français\]'s, 'fr': "
              r"DefaultLanguage 'fr' picks \[Deutsch\] first" % de], 2),
            ("last section without ShortName", without_line(language, "ShortName=", last[1:-1]).encode("utf-8"),
             [r"error: Language\.ini:%d: \%s has no ShortName: DefaultLanguage never picks it" % (line_of(language, last), last)], 2),
            ("keys a section lacks",
             without_line(without_line(language, "ButtonBack=", "Deutsch"), "Ok=", last[1:-1]).encode("utf-8"),
             [r"warning: Language\.ini:%d: \[Deutsch\] lacks ButtonBack: taken from \[Français\]" % de,
              r"warning: Language\.ini:%d: \[%s\] lacks Ok: shown empty" % (line_of(language, last) - 1, last[1:-1])], 1),
            # Keys that came later read the program's own English where no section has them.
            ("keys with a built-in English text",
             without_line(without_line(language, "DownloadSignInMsg=", last[1:-1]), "DownloadRedirectMsg=",
                          last[1:-1]).encode("utf-8"),
             [r"warning: Language\.ini:%d: \[%s\] lacks DownloadSignInMsg, DownloadRedirectMsg: shown in the "
              r"program's English" % (line_of(language, last), last[1:-1])], 1),
            ("unknown key", language.replace("[Deutsch]\n", "[Deutsch]\nButtonNxt=Weiter\n").encode("utf-8"),
             [r"warning: Language\.ini:%d: \[Deutsch\]: unknown key ButtonNxt \(did you mean ButtonNext\?\)" % (de + 1)], 1),
            ("misspelt placeholders",
             language.replace("WelcomeTitle=Welcome to %AppName%", "WelcomeTitle=Welcome to %BrandName%")
             .replace("WelcomeMsg1=This wizard downloads %AppName%", "WelcomeMsg1=This wizard downloads $Appname$")
             .replace("InstallerShortCutString=Install %AppName%", "InstallerShortCutString=Install %Brand%")
             .encode("utf-8"),
             [r"warning: Language\.ini:%d: \[English\] WelcomeTitle shows %%BrandName%% as written: texts have "
              r"%%AppName%% and %%Brand%% replaced \(did you mean %%Brand%%\?\)$" % line_of(language, "WelcomeTitle="),
              r"warning: Language\.ini:%d: \[English\] WelcomeMsg1 shows \$Appname\$ as written: texts have "
              r"%%AppName%% and %%Brand%% replaced \(did you mean %%AppName%%\?\)$" % line_of(language, "WelcomeMsg1="),
              r"warning: Language\.ini:%d: \[English\] InstallerShortCutString shows %%Brand%% as written: the "
              r"shortcut's name has %%AppName%% replaced$" % line_of(language, "InstallerShortCutString=")], 1),
            ("texts too long for the status line, a button and the terms link",
             language.replace("DownloadFailedMsg=Download failed. Check your connection, then retry.",
                              "DownloadFailedMsg=The download failed. Please check your internet connection, your "
                              "proxy and your firewall, then retry.")
             .replace("ButtonIAgree=I Agree", "ButtonIAgree=I agree to all of it")
             .replace("TermsNConditions=Terms and Conditions",
                      "TermsNConditions=The terms and conditions of use of the Corvana Poker software and its "
                      "online services")
             .encode("utf-8"),
             # Each is cut at every density the wizard is laid out for, as it is laid out there.
             [r"warning: Language\.ini:%d: \[English\] DownloadFailedMsg is cut off at 96, 120, 144 and 192 dpi: at 96 "
              r"dpi it needs \d+ x \d+ pixels, the status line has \d+ x \d+$" % line_of(language, "DownloadFailedMsg="),
              r"warning: Language\.ini:%d: \[English\] ButtonIAgree is cut off at 96, 120, 144 and 192 dpi: at 96 dpi it "
              r"needs \d+ x \d+ pixels, its button has \d+ x \d+$" % line_of(language, "ButtonIAgree="),
              r"warning: Language\.ini:%d: \[English\] TermsNConditions is cut off at 96, 120, 144 and 192 dpi: at 96 dpi "
              r"it needs \d+ x \d+ pixels, the page has \d+ x \d+$" % line_of(language, "TermsNConditions=")], 1),
            ("welcome title too long for its place",
             language.replace("WelcomeTitle=Welcome to %AppName%",
                              "WelcomeTitle=Welcome to the one and only %AppName%, the finest card room on the "
                              "whole wide internet").encode("utf-8"),
             [r"warning: Language\.ini:%d: \[English\] WelcomeTitle is cut off at 96, 120, 144 and 192 dpi: at 96 dpi it "
              r"needs \d+ x \d+ pixels, its place has"
              % line_of(language, "WelcomeTitle=")], 1),
        ]
        for name, data, patterns, rc in cases:
            with self.subTest(name):
                self.package(language_bytes=data)
                self.assertFindings(self.check(), rc, *patterns)


class InstallerRules(CheckerCase):
    """Where the checker once judged by rules of its own, the installer's decide."""

    def test_settings_as_the_engine_parses_them(self):
        config = sample("ConfigParams.ini")
        end = len(config.splitlines()) + 1
        cases = [
            # Blanks inside the quotes reach the engine, which trims them.
            ("hash in quotes with blanks", with_key(config, "InstallerSHA256", '" %s "' % ("Ab" * 32)), [], 0),
            # 19 digits, more than a 64-bit count holds: the engine refuses it.
            ("size past 64 bits", with_key(config, "InstallerSize", "9" * 19),
             [r"error: ConfigParams\.ini:%d: InstallerSize is not a number of bytes in decimal digits: every download "
              r"fails before it starts: 9999999999999999999$" % end], 2),
            # The header's name runs to its "]": what follows is no part of it.
            ("a header with a comment", config.replace("[Params]", "[Params]   ; Corvana Poker"), [], 0),
        ]
        for name, text, patterns, rc in cases:
            with self.subTest(name):
                self.package(config=text)
                self.assertFindings(self.check(), rc, *patterns)

    def test_texts_as_the_wizard_looks_them_up(self):
        language = sample("Language.ini")
        sections = [l for l in language.splitlines() if l.startswith("[")]
        last = sections[-1][1:-1]
        lacking = language
        for key in ("DownloadFailedMsg=", "DownloadCorruptMsg=", "InstallerStartFailedMsg=", "ButtonRetry="):
            lacking = without_line(lacking, key, last)
        cases = [
            # No section has them: the wizard shows its own English, not an empty line.
            ("texts no section has", lacking,
             [r"warning: Language\.ini:%d: \[%s\] lacks DownloadFailedMsg, DownloadCorruptMsg, "
              r"InstallerStartFailedMsg, ButtonRetry: shown in the program's English$"
              % (line_of(lacking, sections[-1]), last)], 1),
            # Written but empty: the same.
            ("a text left empty", language.replace("ButtonRetry=Wiederholen", "ButtonRetry="),
             [r"warning: Language\.ini:%d: \[Deutsch\] leaves ButtonRetry empty: shown in the program's English$"
              % line_of(language, "[Deutsch]")], 1),
        ]
        for name, text, patterns, rc in cases:
            with self.subTest(name):
                self.package(language=text)
                self.assertFindings(self.check(), rc, *patterns)


class PictureFindings(CheckerCase):
    def test_each_fault_of_the_pictures(self):
        cases = [
            ("missing", lambda: os.remove(os.path.join(self.folder, "BackGround.bmp")),
             [r"error: BackGround\.bmp: missing or unreadable"], 2),
            ("not a picture", lambda: self.write("Preloader.jpg", b"GIF89a nonsense" * 10),
             [r"error: Preloader\.jpg: is no picture Windows can read"], 2),
            ("too small", lambda: subprocess.run(["convert", "-size", "200x100", "xc:#0a2e22",
                                                  os.path.join(self.folder, "Preloader.jpg")], check=True),
             [r"warning: Preloader\.jpg: is 200 x 100 pixels, smaller than the \d+ x \d+ it fills"], 1),
            # Sharper variants are optional, and judged against the area times their multiple.
            ("a sharper variant of the right size", lambda: self.double("BackGround.bmp", "BackGround@2x.bmp"), [], 0),
            ("a sharper variant too small", lambda: shutil.copy(os.path.join(self.folder, "BackGround.bmp"),
                                                                  os.path.join(self.folder, "BackGround@2x.bmp")),
             [r"warning: BackGround@2x\.bmp: is 436 x 422 pixels, smaller than the \d+ x \d+ it fills"], 1),
            ("a sharper variant that is no picture", lambda: self.write("Preloader@3x.jpg", b"nonsense" * 10),
             [r"warning: Preloader@3x\.jpg: is no picture Windows can read \(BMP, JPEG, GIF\): the installer uses "
              r"another size"], 1),
        ]
        for name, spoil, patterns, rc in cases:
            with self.subTest(name):
                self.package()
                spoil()
                self.assertFindings(self.check(), rc, *patterns)


class PackedInstaller(CheckerCase):
    def packed(self):
        return os.path.join(self.folder, "Setup.exe")

    def test_only_a_package_without_errors_is_packed_and_its_findings_come_from_inside(self):
        with self.subTest("an error refuses"):
            self.package()
            os.remove(os.path.join(self.folder, "Preloader.jpg"))
            self.assertFindings(self.check(pack=self.packed()), 2, r"error: Preloader\.jpg: missing",
                                r"error: Setup\.exe: not written")
            self.assertFalse(os.path.exists(self.packed()))
        with self.subTest("warnings do not"):
            config = with_key(sample("ConfigParams.ini"), "BrandProdcut", "x")
            self.package(config=config)
            warning = r"warning: ConfigParams\.ini:%d: unknown key BrandProdcut" % (len(config.splitlines()))
            outcome = self.check(pack=self.packed())
            self.assertFindings(outcome, 1, warning)
            self.assertTrue(any("Setup.exe: written" in n and "BackGround.bmp (552,030 bytes, compressed to" in n
                                for n in outcome.notes), outcome.output)
        with self.subTest("the packed file is checked from inside, alone"):
            lonely = tempfile.mkdtemp(prefix="wendrake-packed-")
            self.addCleanup(shutil.rmtree, lonely, True)
            shutil.move(self.packed(), lonely)
            self.assertFindings(self.check(target=os.path.join(lonely, "Setup.exe")), 1, warning,
                                r"warning: Setup\.exe: is not signed")
        with self.subTest("a sharper picture goes inside too, and is checked there"):
            self.package()
            self.double("BackGround.bmp", "BackGround@2x.bmp")
            outcome = self.check(pack=self.packed())
            self.assertFindings(outcome, 0)
            self.assertTrue(any("Setup.exe: written" in n and "BackGround@2x.bmp (" in n for n in outcome.notes),
                            outcome.output)
            alone = tempfile.mkdtemp(prefix="wendrake-packed-")
            self.addCleanup(shutil.rmtree, alone, True)
            shutil.move(self.packed(), alone)
            self.assertFindings(self.check(target=os.path.join(alone, "Setup.exe")), 1, r"warning: Setup\.exe: is not signed")
        with self.subTest("an installer without a package"):
            outcome = self.check(target=os.path.join(BUILD, "Wendrake.exe"))
            self.assertEqual(outcome.rc, 2, outcome.output)
            self.assertIn("holds no package", outcome.output)

    def test_signature_of_a_packed_file_and_one_byte_changed_after_signing(self):
        self.package()
        self.assertEqual(self.check(pack=self.packed()).rc, 0)
        cert, key = os.path.join(self.folder, "cert.pem"), os.path.join(self.folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Wendrake Test Signer", "-addext", "extendedKeyUsage=codeSigning",
                        "-keyout", key, "-out", cert], check=True, stderr=subprocess.DEVNULL)
        subprocess.run([os.path.join(SOURCE, "tools", "sign.sh"), self.packed()], check=True,
                       env=dict(os.environ, SIGN_CERT=cert, SIGN_KEY=key), stdout=subprocess.DEVNULL)
        verify = ["osslsigncode", "verify", "-CAfile", cert, "-in", self.packed()]
        self.assertEqual(subprocess.run(verify, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode, 0)
        # Wine trusts any root; the checker asks the chain itself, as the installer's signer check does.
        self.assertFindings(self.check(target=self.packed()), 1,
                            r"warning: Setup\.exe: is signed by Wendrake Test Signer, but its certificate does not "
                            r"lead to a root this machine trusts")

        # One byte of the embedded settings, the download address, changed after signing.
        with open(self.packed(), "r+b") as f:
            data = f.read()
            at = data.index(b"InstallerDownloadURL=http://127.0.0.1:8765/") + len(b"InstallerDownloadURL=http://127.0.0.1:876")
            f.seek(at)
            f.write(b"6")
        self.assertNotEqual(subprocess.run(verify, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode, 0)
        self.assertFindings(self.check(target=self.packed()), 2,
                            r"error: Setup\.exe: was changed after it was signed by Wendrake Test Signer")


def online_config(base, **keys):
    config = sample("ConfigParams.ini")
    config = with_key(config, "InstallerDownloadURL", base + "/$ProductName$/CorvanaPokerSetup.exe")
    config = with_key(config, "TnCLink", base + "/terms.html?lang=$LangName$")
    config = with_key(config, "ContentLink", base + "/content.html?lang=$SL$")
    config = with_key(config, "InstallAnywhereURL", base + "/later.html?lang=$LangName$")
    config = with_key(config, "OmnitureLink", base + "/track?p=$ProductName$&lang=$SL$&stage=$StageID$")
    for key, value in keys.items():
        config = with_key(config, key, value)
    return config


class OnlineAgainstNginx(CheckerCase):
    def test_nginx_serves_what_resume_needs(self):
        with Nginx() as nginx:
            os.makedirs(os.path.join(nginx.root, "poker"))
            with open(os.path.join(nginx.root, "poker", "CorvanaPokerSetup.exe"), "wb") as f:
                f.write(INSTALLER)
            for page in PAGES:
                with open(nginx.root + page, "w") as f:
                    f.write("<html></html>")
            open(nginx.root + "/track", "w").close()
            digest = hashlib.sha256(INSTALLER).hexdigest()
            with self.subTest("clean, hash and size match"):
                self.package(online_config(nginx.url(""), InstallerSHA256='" %s "' % digest.upper(),
                                           InstallerSize=len(INSTALLER)))
                outcome = self.check(online=True)
                self.assertFindings(outcome, 0)
                self.assertEqual(len(outcome.notes), 1, outcome.output)
                self.assertIn("(%d bytes) matches InstallerSHA256" % len(INSTALLER), outcome.notes[0])
                asked = [(e["uri"], e["range"], e["agent"]) for e in nginx.log_entries() if "Setup" in e["uri"]]
                self.assertEqual(asked[:3], [("/poker/CorvanaPokerSetup.exe", "bytes=0-0", "MyAgent"),
                                             ("/poker/CorvanaPokerSetup.exe", "bytes=0-255", "MyAgent"),
                                             ("/poker/CorvanaPokerSetup.exe", "bytes=%d-" % (len(INSTALLER) // 2), "MyAgent")])
                # The pages as every language asks for them.
                pages = sorted(e["uri"] for e in nginx.log_entries() if ".html" in e["uri"])
                self.assertEqual(pages, ["/%s.html?lang=%s" % (page, code) for page in ("content", "later", "terms")
                                         for code in ("de", "en", "fr", "ru")])
                # The tracking address once for each stage and language, as the wizard asks it.
                tracked = sorted((e["uri"], e["agent"]) for e in nginx.log_entries() if e["uri"].startswith("/track"))
                self.assertEqual(tracked, [("/track?p=poker&lang=%s&stage=%d" % (code, n), TRACKING_AGENT)
                                           for code in ("de", "en", "fr", "ru") for n in (1, 2, 3)])
            with self.subTest("hash and size differ, a page is missing"):
                os.remove(nginx.root + "/later.html")
                self.package(online_config(nginx.url(""), InstallerSHA256="0" * 64, InstallerSize=len(INSTALLER) + 1))
                self.assertFindings(self.check(online=True), 2,
                                    r"error: ConfigParams\.ini:\d+: InstallerSize is %d, the server's file has %d bytes"
                                    % (len(INSTALLER) + 1, len(INSTALLER)),
                                    r"error: ConfigParams\.ini:\d+: the server's file \(%d bytes\) has SHA-256 %s, not"
                                    % (len(INSTALLER), hashlib.sha256(INSTALLER).hexdigest()),
                                    r"warning: ConfigParams\.ini:\d+: InstallAnywhereURL answers 404, not 200: "
                                    r"http://127\.0\.0\.1:\d+/later\.html\?lang=en \(English\), "
                                    r"http://127\.0\.0\.1:\d+/later\.html\?lang=de \(Deutsch\), "
                                    r"http://127\.0\.0\.1:\d+/later\.html\?lang=fr \(Français\), "
                                    r"http://127\.0\.0\.1:\d+/later\.html\?lang=ru \(Русский\)$")
            with self.subTest("a page missing in one language"):
                for code in ("en", "fr", "ru"):
                    os.makedirs(os.path.join(nginx.root, code), exist_ok=True)
                    with open(os.path.join(nginx.root, code, "terms.html"), "w") as f:
                        f.write("<html></html>")
                self.package(online_config(nginx.url(""), TnCLink=nginx.url("/$LangName$/terms.html"),
                                           InstallAnywhereURL=""))
                self.assertFindings(self.check(online=True), 1,
                                    r"warning: ConfigParams\.ini:\d+: TnCLink answers 404, not 200: "
                                    r"http://127\.0\.0\.1:\d+/de/terms\.html \(Deutsch\)$")
            with self.subTest("every mirror is asked as the main address is"):
                with open(nginx.root + "/later.html", "w") as f:
                    f.write("<html></html>")
                with open(os.path.join(nginx.root, "poker", "Older.exe"), "wb") as f:
                    f.write(INSTALLER[:1000])
                config = online_config(nginx.url(""), InstallerMirrorURL1=nginx.url("/slow/poker/CorvanaPokerSetup.exe"),
                                       InstallerMirrorURL3=nginx.url("/gone/Setup.exe"),
                                       InstallerMirrorURL4=nginx.url("/poker/Older.exe"))
                self.package(config)
                self.assertFindings(self.check(online=True), 2,
                                    r"error: ConfigParams\.ini:%d: the download server answers 404: .*/gone/Setup\.exe$"
                                    % line_of(config, "InstallerMirrorURL3"),
                                    r"warning: ConfigParams\.ini:%d: InstallerMirrorURL4's file has 1000 bytes, "
                                    r"InstallerDownloadURL's %d: it is not the same installer"
                                    % (line_of(config, "InstallerMirrorURL4"), len(INSTALLER)))
                asked = [e["range"] for e in nginx.log_entries() if e["uri"] == "/slow/poker/CorvanaPokerSetup.exe"]
                self.assertEqual(asked, ["bytes=0-0", "bytes=0-255", "bytes=%d-" % (len(INSTALLER) // 2)])
            with self.subTest("the tracking address is gone"):
                with open(nginx.root + "/later.html", "w") as f:
                    f.write("<html></html>")
                os.remove(nginx.root + "/track")
                line = line_of(online_config(nginx.url("")), "OmnitureLink")
                self.package(online_config(nginx.url("")))
                self.assertFindings(self.check(online=True), 1,
                                    *[r"warning: ConfigParams\.ini:%d: OmnitureLink for stage %d answers 404, not 2xx"
                                      % (line, n) for n in (1, 2, 3)])


class OnlineAgainstFaultServer(CheckerCase):
    def test_each_server_fault(self):
        server = FaultServer().start()
        self.addCleanup(server.stop)
        server.files["/poker/CorvanaPokerSetup.exe"] = ServedFile(INSTALLER)
        for page in PAGES:
            server.files[page] = ServedFile(b"<html></html>")
        server.files["/track"] = ServedFile(b"")
        base = server.url("")
        url_line = line_of(online_config(base), "InstallerDownloadURL")
        cases = [
            ("ranges ignored", "honour_range", False,
             [r"warning: ConfigParams\.ini:%d: the server ignores Range" % url_line], 1),
            ("no Last-Modified", "last_modified", None,
             [r"error: ConfigParams\.ini:%d: no Last-Modified" % url_line], 2),
            ("changing Last-Modified", "changing_last_modified", True,
             [r"error: ConfigParams\.ini:%d: Last-Modified changes between two requests" % url_line], 2),
            ("only the probe's range honoured", "probe_range_only", True,
             [r"error: ConfigParams\.ini:%d: a range from the middle \(bytes=150000-\) gets 200, not 206" % url_line], 2),
            ("gzip", "gzip", True,
             [r"error: ConfigParams\.ini:%d: the server sends Content-Encoding: gzip: the installer refuses the "
              r"compressed body and says the server has a problem$" % url_line], 2),
            # What the engine takes: the plain encoding named, the range unit in any letter case.
            ("Content-Encoding: identity", "extra_headers", {"Content-Encoding": "identity"}, [], 0),
            ("the range unit in capitals", "range_unit", "BYTES", [], 0),
            ("ranges answered from zero to the end", "range_from_zero", True,
             [r"error: ConfigParams\.ini:%d: the probe \(Range: bytes=0-0\) gets Content-Range "
              r"'bytes 0-299999/300000', not 'bytes 0-0/<size>'" % url_line], 2),
        ]
        self.package(online_config(base))
        for name, field, value, patterns, rc in cases:
            with self.subTest(name):
                server.reset()
                setattr(server.behaviour, field, value)
                self.assertFindings(self.check(online=True), rc, *patterns)
        with self.subTest("a web page where the installer should be"):
            server.reset()
            server.files["/poker/CorvanaPokerSetup.exe"] = ServedFile(b"<!DOCTYPE html><html>Download here</html>" * 9)
            self.assertFindings(self.check(online=True), 2,
                                r"error: ConfigParams\.ini:%d: the address serves no installer: its file starts "
                                r"'<!DOCTYPE html><', not as a program does" % url_line)
            server.files["/poker/CorvanaPokerSetup.exe"] = ServedFile(INSTALLER)
        with self.subTest("a connection that ends early while the hash is taken"):
            server.reset()
            server.behaviour.close_after = 100000
            self.package(online_config(base, InstallerSHA256=hashlib.sha256(INSTALLER).hexdigest()))
            self.assertFindings(self.check(online=True), 2,
                                r"error: ConfigParams\.ini:\d+: the download for the SHA-256 ended after 100000 of 300000 bytes")
        with self.subTest("redirect"):
            server.reset()
            server.redirects["/old/Setup.exe"] = base + "/poker/CorvanaPokerSetup.exe"
            self.package(online_config(base, InstallerDownloadURL=base + "/old/Setup.exe"))
            outcome = self.check(online=True)
            self.assertFindings(outcome, 0)
            self.assertEqual(outcome.notes, ["note: ConfigParams.ini:%d: redirected to %s/poker/CorvanaPokerSetup.exe"
                                             % (url_line, base)], outcome.output)


def main():
    global BUILD, CHECK, PICTURES
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--check", required=True)
    args, rest = parser.parse_known_args()
    BUILD, CHECK = os.path.abspath(args.build), os.path.abspath(args.check)
    PICTURES = tempfile.mkdtemp(prefix="wendrake-pictures-")
    try:
        subprocess.run([os.path.join(SOURCE, "demo", "make_pictures.sh"), PICTURES], check=True)
        return unittest.main(argv=[sys.argv[0]] + rest, exit=False).result.wasSuccessful()
    finally:
        shutil.rmtree(PICTURES, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
