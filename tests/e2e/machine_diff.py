#!/usr/bin/env python3
"""Compares what a scenario changed on a Wine prefix with what it changed on the simulator.

  machine_diff.py --differences FILE --tags "TAG..." [--wine BEFORE AFTER] [--sim BEFORE AFTER]
                  [--check "absent|present key|file PATH"]...

Each BEFORE/AFTER folder holds files.txt ("d|f SIZE path" lines of drive C:) and one
registry export (as the Windows registry editor writes it) per registry view, listed in
views.txt as "FILE ROOT" lines: native.reg of HKEY_LOCAL_MACHINE and, on 64-bit Windows,
wow64.reg of the 32-bit view, HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node. An export that is
missing, has no editor's header or lacks its root key is an error, and so are two sides
whose snapshots hold different views; the native export's Wow6432Node part is left to the
32-bit view's own export. The changes of each side are listed as lines, the rules of the
differences file are applied to them, and the two lists must be equal; otherwise both are
printed side by side as a diff. The checks hold for every end state given; with one side
only, only the checks are made. Exit status 0 when everything agrees, 1 otherwise.

A value whose data changed only in letter case is listed as "value~case"; a multi-string
value is shown as its strings, multi:"one","two".

The differences file has one rule a line, each with its reason after " | ":
  [TAG...] wine|sim|both ignore REGEX | reason
  [TAG...] wine|sim|both replace REGEX => REPLACEMENT | reason
  [TAG...] wine|sim|both lower REGEX | reason        (the matched text in lower case)
Rules apply in order to each change line; a rule with tags applies only where the prefix
has them all.
"""
import argparse
import difflib
import os
import re
import sys


def read_text(path):
    data = open(path, "rb").read()
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    return data.decode("utf-8", errors="surrogateescape")


def canonical_key(path):
    key = path.lower()
    key = re.sub(r"^hkey_local_machine(\\|$)", r"hklm\1", key)
    return re.sub(r"\\controlset001(\\|$)", r"\\currentcontrolset\1", key)


def quoted(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def canonical_data(data):
    """A string value as the registry editor shows it. Wine's editor writes a string whose
    data runs on past its terminating NUL as the text up to that NUL; the simulator's
    writes the whole data as hex(1). Both become the quoted text; bytes after the NUL
    are not compared (Wine's export does not show them). A multi-string (hex(7)) becomes
    its list of strings, empty ones included, when it ends as one must (two NULs)."""
    if data.startswith("hex(7):"):
        raw = bytes(int(b, 16) for b in data[7:].split(",") if b)
        text = raw.decode("utf-16-le", errors="replace")
        if len(raw) % 2 or not text.endswith("\0\0"):
            return data
        return "multi:" + ",".join(quoted(t) for t in text[:-1].split("\0")[:-1])
    if not data.startswith("hex(1):"):
        return data
    raw = bytes(int(b, 16) for b in data[7:].split(",") if b)
    text = raw.decode("utf-16-le", errors="replace")
    nul = text.find("\0")
    if nul < 0 or text[nul:].strip("\0"):
        return data  # no terminator, or more text after it: compared as it is
    return quoted(text[:nul])


VALUE_LINE = re.compile(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$')


def parse_reg(path):
    """{key: {value name: data}} from a registry export, names lower-cased."""
    keys = {}
    current = None
    lines = read_text(path).replace("\r\n", "\n").split("\n")
    joined = []
    for line in lines:
        if joined and joined[-1].endswith("\\") and not joined[-1].startswith("["):
            joined[-1] = joined[-1][:-1] + line.strip()
        else:
            joined.append(line.rstrip())
    for line in joined:
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(canonical_key(line[1:-1]), {})
            continue
        m = VALUE_LINE.match(line)
        if m and current is not None:
            name = "@" if m.group(1) == "@" else m.group(2).lower()
            current[name] = canonical_data(re.sub(r",\s+", ",", m.group(3)))
    return keys


WOW64_ROOT = "hklm\\software\\wow6432node"


def below(key, root):
    return key == root or key.startswith(root + "\\")


class SnapshotError(Exception):
    pass


def read_snapshot(folder):
    """(registry, files, views) of a snapshot folder; SnapshotError when an export is
    missing or is not an export of its view."""
    views = {}
    try:
        with open(os.path.join(folder, "views.txt"), encoding="utf-8") as f:
            for line in f:
                name, _, root = line.strip().partition(" ")
                if name:
                    views[name] = canonical_key(root)
    except OSError as e:
        raise SnapshotError("%s: no list of registry views (%s)" % (folder, e.strerror))
    if not views:
        raise SnapshotError("%s: the list of registry views is empty" % folder)
    registry = {}
    for name, root in sorted(views.items()):
        path = os.path.join(folder, name)
        try:
            header = read_text(path).lstrip("\ufeff").split("\n", 1)[0].strip()
            keys = parse_reg(path)
        except OSError as e:
            raise SnapshotError("%s: the export of %s is missing (%s)" % (path, root, e.strerror))
        if header not in ("Windows Registry Editor Version 5.00", "REGEDIT4"):
            raise SnapshotError("%s: not a registry export (it begins %r)" % (path, header[:40]))
        if root not in keys:
            raise SnapshotError("%s: the export lacks its own key %s" % (path, root))
        for key, values in keys.items():
            if not below(key, root):
                raise SnapshotError("%s: %s lies outside the exported %s" % (path, key, root))
            # Each view is compared through its own export only.
            if root != WOW64_ROOT and WOW64_ROOT in views.values() and below(key, WOW64_ROOT):
                continue
            registry.setdefault(key, {}).update(values)
    files = {}
    with open(os.path.join(folder, "files.txt"), encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            kind, size, path = line.rstrip("\n").split(" ", 2)
            files[path.lower()] = (kind, int(size))
    return registry, files, sorted(views.items())


def changes(before, after):
    reg0, files0 = before[:2]
    reg1, files1 = after[:2]
    out = []
    for key in sorted(set(reg0) | set(reg1)):
        if key not in reg1:
            # A removed key is one change; what it held went with it.
            parent = key.rsplit("\\", 1)[0]
            if parent in reg1 or parent not in reg0:
                out.append("key- " + key)
            continue
        old = reg0.get(key)
        if old is None:
            out.append("key+ " + key)
            old = {}
        new = reg1[key]
        for name in sorted(set(old) | set(new)):
            if name not in new:
                out.append("value- %s : %s" % (key, name))
            elif name not in old:
                out.append("value+ %s : %s = %s" % (key, name, new[name]))
            elif old[name].lower() == new[name].lower() and old[name] != new[name]:
                out.append("value~case %s : %s = %s" % (key, name, new[name]))
            elif old[name] != new[name]:
                out.append("value~ %s : %s = %s" % (key, name, new[name]))
    for path in sorted(set(files0) | set(files1)):
        if path not in files1:
            parent = path.rsplit("/", 1)[0] if "/" in path else ""
            if not parent or parent in files1:
                out.append(("dir- " if files0[path][0] == "d" else "file- ") + path)
        elif path not in files0:
            kind, size = files1[path]
            out.append("dir+ " + path if kind == "d" else "file+ %s %d" % (path, size))
        elif files0[path] != files1[path] and files1[path][0] == "f":
            out.append("file~ %s %d" % (path, files1[path][1]))
    return out


class Rule:
    def __init__(self, line, number, tags):
        text, sep, self.reason = line.partition(" | ")
        if not sep or not self.reason.strip():
            raise ValueError("line %d: a rule needs its reason after ' | '" % number)
        self.line = number
        self.applies = True
        m = re.match(r"^\[([^\]]*)\]\s*(.*)$", text)
        if m:
            self.applies = all(t in tags for t in m.group(1).split())
            text = m.group(2)
        parts = text.split(None, 2)
        if len(parts) != 3 or parts[0] not in ("wine", "sim", "both") or \
                parts[1] not in ("ignore", "replace", "lower"):
            raise ValueError("line %d: expected SIDE ignore|replace|lower ..." % number)
        self.side, self.action, rest = parts
        if self.action == "replace":
            pattern, arrow, self.replacement = rest.partition(" => ")
            if not arrow:
                raise ValueError("line %d: replace needs ' => '" % number)
        else:
            pattern, self.replacement = rest, None
        self.pattern = re.compile(pattern.strip())
        self.used = False


def read_rules(path, tags):
    rules = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if line and not line.startswith("#"):
                rules.append(Rule(line, number, tags))
    return rules


def normalise(lines, side, rules):
    out = []
    for line in lines:
        for rule in rules:
            if not rule.applies or rule.side not in (side, "both"):
                continue
            if rule.pattern.search(line):
                rule.used = True
                if rule.action == "ignore":
                    line = None
                    break
                if rule.action == "lower":
                    line = rule.pattern.sub(lambda m: m.group(0).lower(), line)
                else:
                    line = rule.pattern.sub(rule.replacement, line)
        if line is not None:
            out.append(line)
    return sorted(set(out))


def check(end_state, what, tags):
    registry, files = end_state[:2]
    parts = what.split(None, 2)
    if len(parts) != 3 or parts[0] not in ("absent", "present") or parts[1] not in ("key", "file"):
        return "bad check '%s' (absent|present key|file PATH)" % what
    want, kind, path = parts
    if kind == "key":
        key = canonical_key(path)
        # Looked for in the programs' view: a 32-bit program's SOFTWARE on 64-bit Windows
        # is the Wow6432Node.
        if "programs-32" in tags and "64-bit" in tags and below(key, "hklm\\software") and \
                not below(key, WOW64_ROOT):
            key = WOW64_ROOT + key[len("hklm\\software"):]
        found = [key in registry]
    else:
        rel = re.sub(r"^c:[\\/]", "", path, flags=re.I).replace("\\", "/").lower()
        found = [rel in files]
    if want == "absent" and any(found):
        return "%s is there" % path
    if want == "present" and not any(found):
        return "%s is missing" % path
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--differences", required=True)
    parser.add_argument("--tags", default="")
    parser.add_argument("--wine", nargs=2)
    parser.add_argument("--sim", nargs=2)
    parser.add_argument("--check", action="append", default=[])
    args = parser.parse_args()
    tags = args.tags.split()
    try:
        rules = read_rules(args.differences, tags)
    except ValueError as e:
        print("%s: %s" % (args.differences, e))
        return 1
    sides = [(name, folders) for name, folders in (("Wine", args.wine), ("simulator", args.sim))
             if folders]
    if not sides:
        parser.error("give --wine, --sim or both")
    snapshots = {}
    try:
        for name, folders in sides:
            snapshots[name] = [read_snapshot(d) for d in folders]
    except SnapshotError as e:
        print("snapshot: %s" % e)
        return 1
    views = {name: [s[2] for s in pair] for name, pair in snapshots.items()}
    if len({repr(v) for pair in views.values() for v in pair}) != 1:
        print("the snapshots hold different registry views: %s" %
              "; ".join("%s %s" % (n, v) for n, v in views.items()))
        return 1
    failed = False
    for what in args.check:
        for name, (_, end) in snapshots.items():
            why = check(end, what, tags)
            if why:
                print("check failed on the %s: %s: %s" % (name, what, why))
                failed = True
    if len(sides) == 1:
        name = sides[0][0]
        raw = changes(*snapshots[name])
        listed = normalise(raw, "wine" if name == "Wine" else "sim", rules)
        print("changes on the %s: %d (%d after the stated differences); checks %s" %
              (name, len(raw), len(listed), "failed" if failed else "passed"))
        for line in listed:
            print("  " + line)
        return 1 if failed else 0
    wine_raw = changes(*snapshots["Wine"])
    wine = normalise(wine_raw, "wine", rules)
    sim_raw = changes(*snapshots["simulator"])
    sim = normalise(sim_raw, "sim", rules)
    print("changes: Wine %d (%d compared), simulator %d (%d compared)" %
          (len(wine_raw), len(wine), len(sim_raw), len(sim)))
    if wine != sim:
        print("the machines differ (- Wine only, + simulator only):")
        for line in difflib.unified_diff(wine, sim, "wine", "simulator", lineterm="", n=0):
            if not line.startswith("@@"):
                print("  " + line)
        failed = True
    else:
        print("the machines agree on these changes:")
        for line in wine:
            print("  " + line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
