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


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


WOW64 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node"


def write_snapshot(folder, keys, files, utf16, views=True):
    """Each view's export holds the keys below its root (and the root); views=False
    writes the native view only; an export given as bytes is written as it is."""
    os.makedirs(folder)
    exports = {"native.reg": ("HKEY_LOCAL_MACHINE", {"HKEY_LOCAL_MACHINE": []})}
    if views:
        exports["wow64.reg"] = (WOW64, {WOW64: []})
    for path, values in keys.items():
        root = WOW64 if views and path.lower().startswith(WOW64.lower()) else "HKEY_LOCAL_MACHINE"
        exports["wow64.reg" if root == WOW64 else "native.reg"][1][path] = values
    with open(os.path.join(folder, "views.txt"), "w") as f:
        for name, (root, content) in exports.items():
            f.write("%s %s\n" % (name, root))
            with open(os.path.join(folder, name), "wb") as reg:
                reg.write(content if isinstance(content, bytes) else reg_text(content, utf16))
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
    def run_diff(self, wine_after, sim_after, tags="supported 64-bit nt5", checks=(),
                 wine_before=None, sim_before=None):
        with tempfile.TemporaryDirectory() as work:
            for side, (keys, files), utf16, before in (
                    ("wine", wine_after, True, wine_before), ("sim", sim_after, False, sim_before)):
                write_snapshot(os.path.join(work, side, "before"), before or BASE_KEYS,
                               BASE_FILES, utf16)
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
            # As a 32-bit run on XP showed them: on a virtual desktop, the device map's key
            # and the monitor class's driver key of its screen, made during the run.
            ("Wine's device map and monitor keys, new",
             ({UNINSTALL: [], "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\VIDEO": [],
               "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
               "{4D36E96E-E325-11CE-BFC1-08002BE10318}\\0000": ['"Driver"="x"']},
              BASE_FILES), (BASE_KEYS, BASE_FILES), "", True),
            ("a device map key that is not the display's",
             ({UNINSTALL: [], "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\VIDEOX": []},
              BASE_FILES), (BASE_KEYS, BASE_FILES), "", False),
            ("a key removed on one side only",
             ({}, BASE_FILES), (BASE_KEYS, BASE_FILES), "", False),
        ]
        for name, wine, sim, tags, agree in cases:
            with self.subTest(name):
                code, out = self.run_diff(wine, sim, "supported 64-bit nt5 " + tags)
                self.assertEqual(code == 0, agree, out)
                if not agree:
                    self.assertIn("the machines differ", out)

    def test_stated_differences_hold_only_where_stated(self):
        enum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1&DEV_2\\3&4"
        arbiter = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter"
        session = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
        guid = '"ClassGUID"="{4d36e971-e325-11ce-bfc1-08002be10318}"'
        upper = '"ClassGUID"="{4D36E971-E325-11CE-BFC1-08002BE10318}"'

        def pending(path):  # a delete scheduled for the restart, as both editors write it
            data = ("\\??\\" + path + "\0\0\0").encode("utf-16-le")
            return '"PendingFileRenameOperations"=hex(7):' + ",".join("%02x" % b for b in data)

        copy = ["f 9 windows/syswow64/korvane_wendmarrow.exe"]
        cases = [
            # name, tags, Wine (before, after), simulator (before, after), whether they agree
            ("the COM database released by the ports class installer on 32-bit Windows",
             "32-bit", ({arbiter: ["\"ComDB\"=hex:3f"]},) * 2,
             ({arbiter: ["\"ComDB\"=hex:3f"]}, {arbiter: ["\"ComDB\"=hex:1f"]}), True),
            ("the same on 64-bit Windows, where the uninstaller releases it itself",
             "64-bit", ({arbiter: ["\"ComDB\"=hex:3f"]},) * 2,
             ({arbiter: ["\"ComDB\"=hex:3f"]}, {arbiter: ["\"ComDB\"=hex:1f"]}), False),
            ("Wine's class GUID written back in upper case", "",
             ({enum: [guid]}, {enum: [upper]}), ({enum: [guid]},) * 2, True),
            ("a class GUID changed to another class", "",
             ({enum: [guid]}, {enum: [upper.replace("71", "78", 1)]}), ({enum: [guid]},) * 2,
             False),
            ("the running copy's deletion scheduled, the Windows folder spelt two ways",
             "ran-uninstall", ({}, {session: [pending("C:\\windows\\system32\\K.exe")]}),
             ({}, {session: [pending("C:\\WINDOWS\\System32\\K.exe")]}), True),
            ("another file scheduled", "ran-uninstall",
             ({}, {session: [pending("C:\\windows\\system32\\K.exe")]}),
             ({}, {session: [pending("C:\\WINDOWS\\System32\\L.exe")]}), False),
        ]
        for name, tags, (wine0, wine1), (sim0, sim1), agree in cases:
            with self.subTest(name):
                base = lambda keys: dict(BASE_KEYS, **keys)
                code, out = self.run_diff((base(wine1), BASE_FILES), (base(sim1), BASE_FILES),
                                          tags, wine_before=base(wine0), sim_before=base(sim0))
                self.assertEqual(code == 0, agree, out)
        # The running uninstaller's copy stays on both sides, so one side's alone is a
        # difference whatever the programs' bitness.
        for tags in ("ran-uninstall 64-bit programs-32", "ran-uninstall 32-bit"):
            with self.subTest(tags):
                code, out = self.run_diff((BASE_KEYS, BASE_FILES + copy),
                                          (BASE_KEYS, BASE_FILES), tags)
                self.assertNotEqual(code, 0, out)
                code, out = self.run_diff((BASE_KEYS, BASE_FILES + copy),
                                          (BASE_KEYS, BASE_FILES + copy), tags)
                self.assertEqual(code, 0, out)

    def test_checks_hold_on_both_machines(self):
        entry = {UNINSTALL: [], ENTRY: []}
        wow_entry = {UNINSTALL: [], WOW64 + "\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane": []}
        absent = "absent key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane"
        cases = [
            (absent, BASE_KEYS, True),
            (absent, entry, False),
            # A SOFTWARE key is looked for in the programs' own view: a 32-bit program's on
            # 64-bit Windows is the Wow6432Node, and only there.
            (absent, wow_entry, True),
            (absent, wow_entry, False, "programs-32"),
            (absent, entry, True, "programs-32"),
            ("present key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\korvane",
             entry, True),
            ("present key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane",
             BASE_KEYS, False),
            ("absent file C:\\WINDOWS\\inf", BASE_KEYS, False),
            ("present file C:\\windows\\INF", BASE_KEYS, True),
            ("missing file C:\\x", BASE_KEYS, False),  # not a check
        ]
        for check, keys, holds, *tags in cases:
            with self.subTest(check, tags=tags):
                code, out = self.run_diff((keys, BASE_FILES), (keys, BASE_FILES), checks=[check],
                                          tags="supported 64-bit nt5 " + " ".join(tags))
                self.assertEqual(code == 0, holds, out)

    def test_every_view_must_be_exported_by_both_sides(self):
        empty_wow64 = b"\xff\xfe" + "Windows Registry Editor Version 5.00\r\n".encode("utf-16-le")
        cases = [
            # name, what to do to Wine's after snapshot, the message
            ("an export that was never written", lambda d: os.remove(os.path.join(d, "wow64.reg")),
             "is missing"),
            ("an export of nothing (regedit's exit 0 for a key it could not open)",
             lambda d: write_file(os.path.join(d, "wow64.reg"), empty_wow64),
             "lacks its own key"),
            ("a snapshot of the native view only",
             lambda d: write_file(os.path.join(d, "views.txt"),
                                  b"native.reg HKEY_LOCAL_MACHINE\n"), "different registry views"),
        ]
        for name, damage, message in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as work:
                folders = {}
                for side, utf16 in (("wine", True), ("sim", False)):
                    for when in ("before", "after"):
                        folders[side, when] = os.path.join(work, side, when)
                        write_snapshot(folders[side, when], BASE_KEYS, BASE_FILES, utf16)
                damage(folders["wine", "after"])
                result = subprocess.run(
                    [sys.executable, DIFF, "--differences", DIFFERENCES, "--tags", "64-bit",
                     "--wine", folders["wine", "before"], folders["wine", "after"],
                     "--sim", folders["sim", "before"], folders["sim", "after"]],
                    capture_output=True, text=True)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(message, result.stdout)


if __name__ == "__main__":
    unittest.main()
