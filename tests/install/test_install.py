#!/usr/bin/env python3
"""cmake --install into a temporary prefix puts every file where Debian expects it, and the
desktop entry, metainfo, user unit and manuals pass their validators."""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

BUILD = None
GUI = False


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="vexmoor-install-")
        r = subprocess.run(["cmake", "--install", BUILD, "--prefix", cls.prefix],
                           capture_output=True, text=True)
        assert r.returncode == 0, r.stdout + r.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.prefix, True)

    def path(self, rel):
        return os.path.join(self.prefix, rel)

    def tool(self, name, *args, env=None):
        if not shutil.which(name):
            self.skipTest(name + " is not installed")
        return subprocess.run([name, *args], capture_output=True, text=True,
                              env=dict(os.environ, **(env or {})))

    def test_every_file_lands_in_its_place_and_nothing_else(self):
        programs = ["vexmoord", "vexmoor-dbf", "vexmoor-sim"] + (["vexmoor"] if GUI else [])
        expected = {"bin/" + p for p in programs} | {
            "share/applications/org.vexmoor.Vexmoor.desktop",
            "share/metainfo/org.vexmoor.Vexmoor.metainfo.xml",
            "share/icons/hicolor/scalable/apps/vexmoor.svg",
            "share/icons/hicolor/48x48/apps/vexmoor.png",
            "lib/systemd/user/vexmoord.service",
        } | {"share/man/man1/%s.1.gz" % p for p in
             ["vexmoor", "vexmoord", "vexmoor-dbf", "vexmoor-sim"]}
        found = set()
        for root, _, files in os.walk(self.prefix):
            found |= {os.path.relpath(os.path.join(root, f), self.prefix) for f in files}
        self.assertEqual(found, expected)
        for p in programs:
            self.assertTrue(os.access(self.path("bin/" + p), os.X_OK), p)
        with open(self.path("share/icons/hicolor/48x48/apps/vexmoor.png"), "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", head[16:24]), (48, 48))
        with open(self.path("lib/systemd/user/vexmoord.service")) as f:
            unit = f.read()
        self.assertIn("ExecStart=%s/bin/vexmoord\n" % self.prefix, unit)
        for line in ["After=network-online.target", "Restart=on-failure", "KillSignal=SIGTERM",
                     "StandardOutput=journal", "WantedBy=default.target"]:
            self.assertIn(line + "\n", unit)

    def test_validators_accept_the_desktop_files_and_the_unit(self):
        with self.subTest("desktop-file-validate"):
            r = self.tool("desktop-file-validate",
                          self.path("share/applications/org.vexmoor.Vexmoor.desktop"))
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        with self.subTest("appstreamcli"):
            r = self.tool("appstreamcli", "validate", "--no-net",
                          self.path("share/metainfo/org.vexmoor.Vexmoor.metainfo.xml"))
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        with self.subTest("systemd-analyze"):
            r = self.tool("systemd-analyze", "verify",
                          self.path("lib/systemd/user/vexmoord.service"),
                          env={"MANPATH": self.path("share/man")})
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            self.assertEqual(r.stdout + r.stderr, "")

    def test_every_manual_renders_with_its_sections(self):
        for page in ["vexmoor", "vexmoord", "vexmoor-dbf", "vexmoor-sim"]:
            with self.subTest(page=page):
                r = self.tool("man", "-l", self.path("share/man/man1/%s.1.gz" % page),
                              env={"MANWIDTH": "100", "MAN_KEEP_FORMATTING": ""})
                self.assertEqual(r.returncode, 0, r.stderr)
                text = re.sub(".\b", "", r.stdout)
                for section in ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "FILES",
                                "SIGNALS", "EXIT STATUS", "EXAMPLES", "SEE ALSO"]:
                    self.assertRegex(text, "(?m)^" + section + "$", page)
                self.assertIn("Vexmoor.ini", text)
                self.assertNotIn("warning", r.stderr)


if __name__ == "__main__":
    BUILD = sys.argv.pop(1)
    GUI = sys.argv.pop(1) == "ON"
    unittest.main()
