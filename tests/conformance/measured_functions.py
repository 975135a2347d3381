#!/usr/bin/env python3
"""Every simulated Win32 function that the programs' own code calls must be measured by the
conformance suite: named in at least one case, which runs against the simulator and under
Wine. Lists the functions and fails, naming each one no case calls.

  measured_functions.py SOURCE_ROOT

The simulated functions are those the simulator's headers declare WINAPI (or WINAPIV);
the programs' code is installer/, uninstaller/, uninstall_engine/, file_search/, sysinfo/
and framework/; a function counts as called where its name stands before "(" or is looked
up by its quoted name (GetProcAddress). A case names it the same way.
"""
import os
import re
import sys

PROGRAM_FOLDERS = ("installer", "uninstaller", "uninstall_engine", "file_search", "sysinfo",
                   "framework")
DECLARATION = re.compile(r"\bWINAPIV?\s+([A-Za-z_][A-Za-z0-9_]*)\s*\(")


def sources(folder, suffixes):
    for top, _, names in os.walk(folder):
        for name in sorted(names):
            if name.endswith(suffixes):
                yield os.path.join(top, name)


def without_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def names_used(paths, candidates):
    used = set()
    for path in paths:
        text = without_comments(open(path, encoding="utf-8", errors="replace").read())
        for name in candidates:
            if re.search(r"\b%s\s*\(" % name, text) or ('"%s"' % name) in text or \
                    re.search(r"&%s\b" % name, text):
                used.add(name)
    return used


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = sys.argv[1]
    simulated = set()
    for path in sources(os.path.join(root, "platform", "sim"), (".h",)):
        simulated |= set(DECLARATION.findall(open(path, encoding="utf-8").read()))
    if not simulated:
        print("no WINAPI declarations found under platform/sim", file=sys.stderr)
        return 1
    programs = [p for f in PROGRAM_FOLDERS for p in sources(os.path.join(root, f), (".cpp", ".h"))]
    called = names_used(programs, simulated)
    cases = list(sources(os.path.join(root, "tests", "conformance"), ("_cases.cpp",)))
    measured = names_used(cases, called)
    missing = sorted(called - measured)
    print("%d simulated functions, %d called by the programs, %d of them measured by %d case "
          "files" % (len(simulated), len(called), len(measured), len(cases)))
    for name in missing:
        print("not measured: %s (called by the programs, named in no conformance case)" % name)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
