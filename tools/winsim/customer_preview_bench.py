#!/usr/bin/env python3
"""winsim preview --registry on the export of a customer's machine of some hundred thousand
keys, as a real one holds (tests/fixtures/reg/customer_export.py --keys N): how long it
takes and how much memory it holds, and that what it finds is what it finds on the small
export of the same machine (the other keys are other software's). It fails only on that.

  customer_preview_bench.py WINSIM PACKAGE EXPORT_SCRIPT [KEYS]     (KEYS: 300000)
"""
import json
import os
import subprocess
import sys
import tempfile
import time


def preview(winsim, package, export, work):
    """The preview's JSON, its wall-clock and processor seconds and its peak memory (MiB)."""
    out_path, err_path = os.path.join(work, "out.json"), os.path.join(work, "err.txt")
    with open(out_path, "w") as out, open(err_path, "w") as err:
        start = time.monotonic()
        child = subprocess.Popen([winsim, "preview", package, "--edition", "xp-x64", "--registry",
                                  export, "--format", "json"], stdout=out, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("winsim preview failed: " + open(err_path).read())
    with open(out_path, encoding="utf-8") as f:
        found = json.load(f)
    return found, seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def main():
    winsim, package, script = sys.argv[1:4]
    keys = int(sys.argv[4]) if len(sys.argv) > 4 else 300000
    with tempfile.TemporaryDirectory(prefix="winsim-bench-") as work:
        small, large = os.path.join(work, "small.reg"), os.path.join(work, "large.reg")
        subprocess.run([sys.executable, script, small], check=True)
        subprocess.run([sys.executable, script, large, "--keys", str(keys)], check=True)
        megabytes = os.path.getsize(large) / 1e6
        expected, _, _, _ = preview(winsim, package, small, work)
        found, seconds, cpu, peak = preview(winsim, package, large, work)
    read = found["exports"][0]
    print("customer-preview %d keys, %d values, %.0f MB of UTF-16: %.1f s (%.1f s of processor), "
          "peak %.0f MiB" % (read["keys"], read["values"], megabytes, seconds, cpu, peak))
    failures = []
    if read["keys"] < keys:
        failures.append("only %d keys were read" % read["keys"])
    for part in ("records", "uninstall_entries", "uninstaller", "com_numbers", "registry"):
        if found[part] != expected[part]:
            failures.append("%s differ from the small export's" % part)
    for part in ("removed", "kept"):
        if found["devices"][part] != expected["devices"][part]:
            failures.append("the devices %s differ from the small export's" % part)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
