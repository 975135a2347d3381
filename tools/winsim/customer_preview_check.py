#!/usr/bin/env python3
"""Checks a winsim preview --registry JSON document against what the uninstaller did when
it ran on a machine folder built the same way (winsim run): the registry as `winsim show`
printed it before and after the run.

  customer_preview_check.py PREVIEW.json BEFORE.txt AFTER.txt

Every key and value the run removed, added or changed is in the preview's "registry" and
nothing else is; the devices the preview says were removed are the Enum instances the run
removed and those it says were kept are still there; the COM numbers it says were released
are clear in the run's ComDB and those it says were kept are set; the records and entries
it says were removed are gone and those it says were kept are there. Exit 0 when all hold.
"""
import json
import sys


def registry(path):
    """{KEY (upper case): {NAME (upper case): joined value text}} of `winsim show` output."""
    keys, key, pending = {}, None, None
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\r\n")
        if pending is not None:
            pending[1].append(line.strip())
            if not line.endswith("\\"):
                name, parts = pending
                keys[key][name] = "".join(p.rstrip("\\") for p in parts)
                pending = None
            continue
        if line.startswith("[HKEY_") and line.endswith("]"):
            key = line[1:-1].upper()
            keys.setdefault(key, {})
        elif key and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                name, rest = "", line[1:]
            else:
                end, i = None, 1
                while i < len(line):
                    if line[i] == "\\":
                        i += 2
                        continue
                    if line[i] == '"':
                        end = i
                        break
                    i += 1
                name = line[1:end].replace('\\"', '"').replace("\\\\", "\\")
                rest = line[end + 1:]
            name = name.upper()
            if line.endswith("\\"):
                pending = (name, [rest])
            else:
                keys[key][name] = rest
    return keys


def comdb(keys):
    value = keys["HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\COM NAME ARBITER"]["COMDB"]
    data = bytes(int(b, 16) for b in value.split(":", 1)[1].split(",") if b)
    return {n for n in range(1, 8 * len(data) + 1) if data[(n - 1) >> 3] >> ((n - 1) & 7) & 1}


def main():
    preview = json.load(open(sys.argv[1], encoding="utf-8"))
    before, after = registry(sys.argv[2]), registry(sys.argv[3])
    problems = []

    # The registry: the run's changes, each in the preview, and no more.
    ran = set()
    for key in before.keys() | after.keys():
        if key not in after:
            ran.add(("removed", "key", key, None))
        elif key not in before:
            ran.add(("added", "key", key, None))
        was, now = before.get(key, {}), after.get(key, {})
        for name in was.keys() | now.keys():
            change = ("removed" if name not in now else "added" if name not in was
                      else "changed" if was[name] != now[name] else None)
            if change:
                ran.add((change, "value", key, name))
    shown = set()
    for entry in preview["registry"]:
        name = entry["name"].upper() if entry["type"] == "value" else None
        shown.add((entry["change"], entry["type"], entry["key"].upper(), name))
    for missing in sorted(ran - shown, key=str):
        problems.append("the run made a change the preview does not show: %s" % (missing,))
    for extra in sorted(shown - ran, key=str):
        problems.append("the preview shows a change the run did not make: %s" % (extra,))

    enum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\ENUM\\"
    for device in preview["devices"]["removed"]:
        key = enum + device["instance_id"].upper()
        if key not in before or key in after:
            problems.append("device %s: not removed by the run" % device["instance_id"])
    for device in preview["devices"]["kept"]:
        if enum + device["instance_id"].upper() not in after:
            problems.append("device %s: removed by the run" % device["instance_id"])
    taken_before, taken_after = comdb(before), comdb(after)
    for com in preview["com_numbers"]["released"]:
        if com["number"] in taken_after or (com["comdb_before"] and com["number"] not in taken_before):
            problems.append("%s: not released by the run" % com["port"])
    for com in preview["com_numbers"]["kept"]:
        if com["comdb_after"] != (com["number"] in taken_after):
            problems.append("%s: its ComDB bit is otherwise after the run" % com["port"])
    for group in ("records", "uninstall_entries"):
        for item in preview[group]:
            gone = item["key"].upper() not in after
            if gone != (item["change"] == "removed"):
                problems.append("%s %s: the run %s it" % (group, item["key"],
                                                          "removed" if gone else "kept"))
    for p in problems:
        print("FAIL: " + p)
    print("customer preview against the run: %d changes, %d problems" % (len(ran), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
