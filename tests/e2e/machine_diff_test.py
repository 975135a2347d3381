#!/usr/bin/env python3
"""The differential check must fail on any change that only one machine made, and pass
only when what differs is stated in the differences file. Each case builds a Wine and a
simulator snapshot pair on disk (registry exports in both editors' encodings, file lists)
and runs machine_diff.py on them."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
DIFF = os.path.join(HERE, "machine_diff.py")
DIFFERENCES = os.path.join(HERE, "wine_differences.txt")

UNINSTALL = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"


def reg_text(keys, utf16):
    """A registry export; keys: {path: [value lines]}."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for path, values in keys.items():
        lines.append("[%s]" % path)
        lines.extend(values)
        lines.append("")
    text = "\r\n".join(lines) + "\r\n"
    return b"\xff\xfe" + text.encode("utf-16-le") if utf16 else text.encode("utf-8")


def write_snapshot(folder, keys, files, utf16):
    os.makedirs(folder)
    with open(os.path.join(folder, "reg0.reg"), "wb") as f:
        f.write(reg_text(keys, utf16))
    with open(os.path.join(folder, "files.txt"), "w") as f:
        for line in sorted(files):
            f.write(line + "\n")


def plus4_hex(text):
    """A string written with its length plus 4 bytes, as the simulator exports it."""
    data = (text + "\0\0\0\0").encode("utf-16-le")
    return "hex(1):" + ",".join("%02x" % b for b in data)


BASE_KEYS = {UNINSTALL: []}
BASE_FILES = ["d 0 windows", "d 0 windows/inf", "d 0 windows/system32"]
ENTRY = UNINSTALL + "\\Korvane"


class MachineDiffTest(unittest.TestCase):
    def run_diff(self, wine_after, sim_after, tags="supported 64-bit nt5", checks=()):
        with tempfile.TemporaryDirectory() as work:
            for side, (keys, files), utf16 in (("wine", wine_after, True),
                                               ("sim", sim_after, False)):
                write_snapshot(os.path.join(work, side, "before"), BASE_KEYS, BASE_FILES, utf16)
                write_snapshot(os.path.join(work, side, "after"), keys, files, utf16)
            command = [sys.executable, DIFF, "--differences", DIFFERENCES, "--tags", tags,
                       "--wine", os.path.join(work, "wine", "before"),
                       os.path.join(work, "wine", "after"),
                       "--sim", os.path.join(work, "sim", "before"),
                       os.path.join(work, "sim", "after")]
            for c in checks:
                command += ["--check", c]
            result = subprocess.run(command, capture_output=True, text=True)
            return result.returncode, result.stdout

    def test_cases(self):
        entry_wine = {UNINSTALL: [], ENTRY: ['"UninstallString"="C:\\\\windows\\\\System32\\\\K.exe"']}
        entry_sim = {UNINSTALL: [], ENTRY: ['"UninstallString"=' +
                                            plus4_hex("C:\\WINDOWS\\System32\\K.exe")]}
        staged_wine = BASE_FILES + ["f 2420 windows/inf/Sabrelune.inf", "f 55 windows/inf/Sabrelune.pnf"]
        staged_sim = BASE_FILES + ["f 2420 windows/inf/oem3.inf", "f 4962 windows/inf/oem3.pnf"]
        cases = [
            # name, Wine's end state, the simulator's, tags, whether they agree
            ("nothing changed", (BASE_KEYS, BASE_FILES), (BASE_KEYS, BASE_FILES), "", True),
            ("the same key with the same value, written by each editor in its own way",
             (entry_wine, BASE_FILES), (entry_sim, BASE_FILES), "", True),
            ("a key only Wine's machine gained",
             (entry_wine, BASE_FILES), (BASE_KEYS, BASE_FILES), "", False),
            ("a value whose text differs",
             (entry_wine, BASE_FILES),
             ({UNINSTALL: [], ENTRY: ['"UninstallString"="C:\\\\WINDOWS\\\\System32\\\\L.exe"']},
              BASE_FILES), "", False),
            ("a value of another type",
             (entry_wine, BASE_FILES),
             ({UNINSTALL: [], ENTRY: ['"UninstallString"=dword:00000001']}, BASE_FILES), "",
             False),
            ("staged INF files under their two platforms' names",
             (BASE_KEYS, staged_wine), (BASE_KEYS, staged_sim), "", True),
            ("a staged INF of another size",
             (BASE_KEYS, staged_wine),
             (BASE_KEYS, BASE_FILES + ["f 2421 windows/inf/oem3.inf",
                                       "f 4962 windows/inf/oem3.pnf"]), "", False),
            ("a file only the simulator kept",
             (BASE_KEYS, BASE_FILES),
             (BASE_KEYS, BASE_FILES + ["f 10 windows/system32/drivers.sys"]), "", False),
            ("Wine's PNF left by an uninstall that Windows' would have matched",
             (BASE_KEYS, BASE_FILES + ["f 55 windows/inf/Sabrelune.pnf"]),
             (BASE_KEYS, BASE_FILES), "ran-uninstall", True),
            ("the same PNF without an uninstall: the simulator's must then be there too",
             (BASE_KEYS, BASE_FILES + ["f 55 windows/inf/Sabrelune.pnf"]),
             (BASE_KEYS, BASE_FILES), "", False),
            ("Wine's display keys",
             ({UNINSTALL: [], "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Video\\"
               "{0d2a1f7c-1111-2222-3333-444455556666}\\0000": ['"GraphicsDriver"="winex11.drv"']},
              BASE_FILES), (BASE_KEYS, BASE_FILES), "", True),
            ("a key removed on one side only",
             ({}, BASE_FILES), (BASE_KEYS, BASE_FILES), "", False),
        ]
        for name, wine, sim, tags, agree in cases:
            with self.subTest(name):
                code, out = self.run_diff(wine, sim, "supported 64-bit nt5 " + tags)
                self.assertEqual(code == 0, agree, out)
                if not agree:
                    self.assertIn("the machines differ", out)

    def test_checks_hold_on_both_machines(self):
        entry = {UNINSTALL: [], ENTRY: []}
        wow_entry = {UNINSTALL: [], "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\"
                     "Windows\\CurrentVersion\\Uninstall\\Korvane": []}
        cases = [
            ("absent key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane",
             BASE_KEYS, True),
            ("absent key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane",
             entry, False),
            # A 32-bit program's key on a 64-bit Windows counts too.
            ("absent key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane",
             wow_entry, False),
            ("present key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\korvane",
             entry, True),
            ("present key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane",
             BASE_KEYS, False),
            ("absent file C:\\WINDOWS\\inf", BASE_KEYS, False),
            ("present file C:\\windows\\INF", BASE_KEYS, True),
            ("missing file C:\\x", BASE_KEYS, False),  # not a check
        ]
        for check, keys, holds in cases:
            with self.subTest(check):
                code, out = self.run_diff((keys, BASE_FILES), (keys, BASE_FILES), checks=[check])
                self.assertEqual(code == 0, holds, out)


if __name__ == "__main__":
    unittest.main()
