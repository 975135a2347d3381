#!/bin/sh
# winsim preview end to end: the command line, the sample package on 32-bit XP, on XP x64
# (the 32-bit installer's keys under Wow6432Node), on 64-bit Vista (what the uninstaller
# leaves there), on an edition the installer refuses, the JSON document against the text
# report, and a package whose texts need escaping in JSON.
set -u
winsim="$1"
package="$2"
. "$(dirname "$0")/test_support.sh"
scratch_folder
size() { wc -c < "$1" | tr -d ' '; }

# ---- the command line -----------------------------------------------------------------
check "no package" 2 "$winsim" preview --edition xp
contains "the usage is shown" "$work/err" "usage: winsim preview PACKAGE_DIR --edition NAME"
check "no edition" 2 "$winsim" preview "$package"
contains "the edition is asked for" "$work/err" "--edition NAME is needed"
check "an unknown edition" 2 "$winsim" preview "$package" --edition nosuch
contains "the editions are listed" "$work/err" "unknown edition 'nosuch'; editions: 2000 xp xp-x64"
check "an unknown format" 2 "$winsim" preview "$package" --edition xp --format xml
check "two packages" 2 "$winsim" preview "$package" "$package" --edition xp
check "a missing package" 1 "$winsim" preview "$work/none" --edition xp
contains "the missing package is named" "$work/err" "$work/none: not a folder"
check "help" 0 "$winsim" preview --help
contains "the JSON layout is documented" "$work/out" '"staged_inf_files"'
check "winsim help" 0 "$winsim" help
contains "winsim help lists preview" "$work/out" "preview PACKAGE_DIR --edition NAME"

# ---- 32-bit XP ------------------------------------------------------------------------
inf=$(size "$package/Sabrelune.inf")
mf=$(size "$package/Dovrik.inf")
check "preview on xp" 0 "$winsim" preview "$package" --edition xp
cp "$work/out" "$work/xp.txt"
x="$work/xp.txt"
contains "xp: the Windows description" "$x" "Microsoft Windows XP Professional Service Pack 3 (Build 2600)"
contains "xp: the installer's last words" "$x" 'It ended with: Installation completed.'
contains "xp: the program folder" "$x" "+ C:\\Program Files\\KORVANE  (folder)"
contains "xp: a driver with its size" "$x" \
  "+ C:\\Program Files\\KORVANE\\X86\\Orrick.sys  ($(size "$package/X86/Orrick.sys") bytes)"
contains "xp: the ports INF copied" "$x" "+ C:\\Program Files\\KORVANE\\Sabrelune.inf  ($inf bytes)"
contains "xp: the uninstaller's copy" "$x" "+ C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe"
contains "xp: the Uninstall entry" "$x" \
  "+ [HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane Semiconductor Technology Ltd]"
contains "xp: a value in registry-file notation" "$x" '+ "DisplayName"=hex(1):4b,00,6f,00'
contains "xp: the value's type and text" "$x" '; REG_SZ "Korvane PCI-Express Multi-IO Controller"'
contains "xp: the customer subkey" "$x" \
  "+ [HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller\\KORVANE]"
contains "xp: a PCI ID" "$x" '; REG_SZ "VEN_6A3C&DEV_5E17"'
# The fresh XP holds oem0.inf already: the package's INF files are the next two.
contains "xp: the ports INF staged" "$x" "+ C:\\WINDOWS\\inf\\oem1.inf  ($inf bytes) from D:\\Sabrelune.inf"
contains "xp: its PNF (16-bit text)" "$x" \
  "+ C:\\WINDOWS\\inf\\oem1.pnf  ($((inf * 2)) bytes) from D:\\Sabrelune.inf"
contains "xp: the multifunction INF staged" "$x" "+ C:\\WINDOWS\\inf\\oem2.inf  ($mf bytes) from D:\\Dovrik.inf"
contains "xp: the multifunction PNF" "$x" "+ C:\\WINDOWS\\inf\\oem2.pnf  ($((mf * 2)) bytes) from D:\\Dovrik.inf"
absent "xp: no 64-bit view" "$x" "Wow6432Node"
contains "xp: the uninstaller from the entry's command" "$x" \
  "== The uninstaller: C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe (UninstallString of HKEY_LOCAL_MACHINE"
contains "xp: the uninstaller's last words" "$x" "No need to restart computer"
# Without the card Windows itself keeps nothing of the product: the machine is the fresh
# one again.
contains "xp: the restart deletes the running copy" "$x" \
  "  deleted C:\WINDOWS\system32\KORVANE_Wendmarrow.exe"
contains "xp: nothing left" "$x" "Left compared with the fresh machine: nothing left"

# ---- XP x64 ---------------------------------------------------------------------------
check "preview on xp-x64" 0 "$winsim" preview "$package" --edition xp-x64
x64="$work/out"
contains "x64: the Uninstall entry under Wow6432Node" "$x64" \
  "+ [HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane Semiconductor Technology Ltd]"
contains "x64: the product key under Wow6432Node" "$x64" \
  "+ [HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller\\KORVANE]"
absent "x64: nothing in the 64-bit view" "$x64" "+ [HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft"
contains "x64: the AMD64 drivers" "$x64" "+ C:\\Program Files\\KORVANE\\AMD64\\Orrick.sys"
contains "x64: the INF staged" "$x64" "from D:\\Sabrelune.inf"
contains "x64: the uninstaller asks for the restart" "$x64" "You must restart computer"
contains "x64: nothing left" "$x64" "Left compared with the fresh machine: nothing left"

# ---- 64-bit Vista: the uninstaller removes by itself only on NT 5, and the device
# installer's way only on 32-bit Windows; the preview shows what stays -----------------
check "preview on vista-x64" 0 "$winsim" preview "$package" --edition vista-x64
contains "vista-x64: the installation completed" "$work/out" "It ended with: Installation completed."
contains "vista-x64: the uninstaller says why it cannot" "$work/out" \
  "It showed the message: The Multi-IO drivers cannot be uninstalled on this version of Windows."
contains "vista-x64: and claims nothing" "$work/out" \
  "It ended with:  PCIe Multi-IO device drivers were not uninstalled."
contains "vista-x64: the uninstaller changed nothing" "$work/out" "It changed nothing."
absent "vista-x64: something is left" "$work/out" "nothing left"
sed -n '/^Left compared/,$p' "$work/out" > "$work/left"
contains "vista-x64: the program folder stays" "$work/left" "+ C:\\Program Files\\KORVANE  (folder)"
contains "vista-x64: the staged INF stays" "$work/left" "+ C:\\WINDOWS\\inf\\oem1.inf"
contains "vista-x64: the Uninstall entry stays" "$work/left" "Uninstall\\Korvane Semiconductor Technology Ltd]"

# ---- an edition the installer refuses -------------------------------------------------
check "preview on 7-x64" 0 "$winsim" preview "$package" --edition 7-x64
contains "7-x64: nothing installed, and why" "$work/out" \
  'nothing installed: the installer changed nothing; it ended with "Installation is aborted.'
contains "7-x64: the machine is unchanged" "$work/out" "It changed nothing."
absent "7-x64: no uninstaller runs" "$work/out" "== The uninstaller"
contains "7-x64: nothing left" "$work/out" "Left compared with the fresh machine: nothing left"
check "preview on 7-x64 as JSON" 0 "$winsim" preview "$package" --edition 7-x64 --format json
python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
i = d["installer"]
assert i["completed"] is False and i["changed_nothing"] is True, i
assert i["nothing_installed"].startswith("the installer changed nothing"), i
assert i["messages"] == [] and i["uninstall_entries"] == [], i
assert i["status"].startswith("Installation is aborted."), i["status"]
assert d["uninstallers"] == [] and d["nothing_left"] is True, d
for group in ("files", "registry", "staged_inf_files"):
    assert i["changes"][group] == [] and d["left"][group] == [], group
' "$work/out" || fail "7-x64 JSON"

# ---- the installer refuses with a message box: a result, not a failure --------------------
cp -R "$package" "$work/taken"
sed 's/^CustomerName=.*/CustomerName="7-Zip"\r/' "$package/Sabrelune.inf" > "$work/taken/Sabrelune.inf"
refusal='The folder C:\Program Files\7-Zip holds files that this installer does not put there, so it cannot be the program folder. Nothing was changed.'
check "preview of a refused package" 0 "$winsim" preview "$work/taken" --edition xp
contains "the refusal is shown" "$work/out" "It showed the message: $refusal"
contains "and nothing is installed" "$work/out" "nothing installed: the installer refused: $refusal"
contains "the refused run changed nothing" "$work/out" "It changed nothing."
absent "no uninstaller runs after a refusal" "$work/out" "== The uninstaller"
check "preview of a refused package as JSON" 0 "$winsim" preview "$work/taken" --edition xp --format json
python3 -c '
import json, sys
i = json.load(open(sys.argv[1]))["installer"]
assert i["messages"] == [sys.argv[2]] and i["completed"] is False and i["changed_nothing"] is True, i
assert i["nothing_installed"] == "the installer refused: " + sys.argv[2], i
' "$work/out" "$refusal" || fail "refused JSON"
# Aborted after writing its records (a driver file missing): not completed, and what it
# left is shown and uninstalled.
cp -R "$package" "$work/half" && rm "$work/half/AMD64/Pellacorte.dll"
check "preview of an aborted install as JSON" 0 "$winsim" preview "$work/half" --edition xp-x64 --format json
python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
i = d["installer"]
assert i["completed"] is False and i["changed_nothing"] is False and i["nothing_installed"] is None, i
assert len(i["uninstall_entries"]) == 1 and len(d["uninstallers"]) == 1, i
' "$work/out" || fail "aborted JSON"

# ---- JSON: one document with the same facts as the text -------------------------------
check "preview on xp as JSON" 0 "$winsim" preview "$package" --edition xp --format json
python3 -c '
import json, os, sys
d = json.load(open(sys.argv[1]))
text = open(sys.argv[2], encoding="utf-8").read()
package = sys.argv[3]
assert list(d) == ["package", "edition", "installer", "uninstallers", "at_next_start", "left",
                   "nothing_left"], list(d)
assert d["at_next_start"] == ["deleted C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe.delete-at-restart-1"], d
assert d["edition"] == "xp" and d["package"] == package
i = d["installer"]
assert i["completed"] is True and i["changed_nothing"] is False and i["nothing_installed"] is None
assert i["uninstall_entries"] == ["HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane Semiconductor Technology Ltd"], i["uninstall_entries"]
assert i["output"] == "Microsoft Windows XP Professional Service Pack 3 (Build 2600)\n", i["output"]
installed = text.split("== The uninstaller")[0]
marker = {"added": "+", "removed": "-", "changed": "~"}
entries = 0
for f in i["changes"]["files"]:
    size = "folder" if f["type"] == "folder" else "%d bytes" % f["size"]
    line = "%s %s  (%s" % (marker[f["change"]], f["path"], size)
    assert line in installed, line
    entries += 1
for r in i["changes"]["registry"]:
    if r["type"] == "key":
        line = "%s [%s]" % (marker[r["change"]], r["key"])
    else:
        line = "%s %s" % (marker[r["change"]], r["reg"][:40])
        assert "; %s \"%s\"" % (r["value_type"], r["text"]) in installed, r
    assert line in installed, line
    entries += 1
for s in i["changes"]["staged_inf_files"]:
    line = "%s %s  (%d bytes) from %s" % (marker[s["change"]], s["path"], s["size"], s["from"])
    assert line in installed, line
    entries += 1
lines = [l for l in installed.splitlines() if l.lstrip()[:2] in ("+ ", "- ", "~ ")]
assert entries == len(lines), (entries, len(lines))
staged = {s["path"]: s["from"] for s in i["changes"]["staged_inf_files"]}
assert staged == {"C:\\WINDOWS\\inf\\oem1.inf": "D:\\Sabrelune.inf",
                  "C:\\WINDOWS\\inf\\oem1.pnf": "D:\\Sabrelune.inf",
                  "C:\\WINDOWS\\inf\\oem2.inf": "D:\\Dovrik.inf",
                  "C:\\WINDOWS\\inf\\oem2.pnf": "D:\\Dovrik.inf"}, staged
sizes = {f["path"]: f["size"] for f in i["changes"]["files"]}
assert sizes["C:\\Program Files\\KORVANE\\Sabrelune.inf"] == os.path.getsize(package + "/Sabrelune.inf")
assert sizes["C:\\Program Files\\KORVANE\\X86"] is None
u = d["uninstallers"]
assert [x["command"] for x in u] == ["C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe"], u
assert d["nothing_left"] is True and all(d["left"][g] == [] for g in d["left"]), d["left"]
' "$work/out" "$work/xp.txt" "$package" || fail "xp JSON against the text"

# ---- texts that need escaping: backslashes and a code page 1252 letter ---------------
cp -R "$package" "$work/odd"
sed 's/^UninstallName=.*/UninstallName="Korvane \\Multi\\ IO Caf\xe9 Controller"/' \
  "$package/Sabrelune.inf" > "$work/odd/Sabrelune.inf"
check "preview of a package with odd texts as JSON" 0 "$winsim" preview "$work/odd" --edition xp --format json
python3 -c '
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
values = [r for r in d["installer"]["changes"]["registry"] if r["name"] == "DisplayName"]
assert len(values) == 1, values
assert values[0]["text"] == "Korvane \\Multi\\ IO Caf\u00e9 Controller", values[0]["text"]
assert values[0]["reg"].startswith("\"DisplayName\"=hex(1):4b,00,"), values[0]["reg"]
assert d["installer"]["status"].startswith("Installation completed. Press \"Exit\" to"), d
' "$work/out" || fail "escaped JSON"
check "preview of a package with odd texts" 0 "$winsim" preview "$work/odd" --edition xp
contains "the text report shows the letter in UTF-8" "$work/out" '; REG_SZ "Korvane \Multi\ IO Café Controller"'

finish "winsim preview test"
