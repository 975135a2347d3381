#!/bin/sh
# winsim preview --registry end to end, on the export of a customer's XP x64 machine with
# the card (tests/fixtures/reg/customer_export.py): the command line, a bad line of an
# export, what the text and the JSON say of the devices, COM numbers, records and entries,
# the same preview from the UTF-16, the REGEDIT4 and a shuffled export, the preview against
# winsim run of the uninstaller on a machine folder built the same way, two exports in
# order, an export that holds part of the machine, and the editions where nothing runs.
set -u
winsim="$1"
package="$2"
fixtures="$3"
demo="$4"
here="$(dirname "$0")"
. "$here/test_support.sh"
scratch_folder
export_of() { python3 "$fixtures/reg/customer_export.py" "$@" || fail "customer_export.py $*"; }
export_of "$work/c16.reg"
export_of "$work/c4.reg" --encoding regedit4
export_of "$work/shuffled.reg" --shuffle 7
preview() { "$winsim" preview "$package" --edition xp-x64 "$@"; }

# ---- the command line, and exports that cannot be read ----------------------------------
check "--registry without its file" 2 preview --registry
check "a missing export" 1 preview --registry "$work/none.reg"
contains "the missing export is named" "$work/err" "$work/none.reg: "
# A bad line in the middle of the second export: nothing is previewed.
awk 'NR == 400 { print "\"x\"=hex:zz" } { print }' "$work/c4.reg" > "$work/bad.reg"
check "a bad line" 1 preview --registry "$work/c16.reg" --registry "$work/bad.reg"
contains "the bad line is named" "$work/err" "$work/bad.reg:400: bad hex byte 'zz'"
[ -s "$work/out" ] && fail "a preview was printed from a bad export"
check "help" 0 "$winsim" preview --help
contains "help tells of --registry" "$work/out" '"com_numbers": {"released": [COM], "kept": [COM]}'

# ---- the preview, as text ---------------------------------------------------------------
check "preview" 0 preview --registry "$work/c16.reg"
t="$work/text"
cp "$work/out" "$t"
contains "the export's form" "$t" "(UTF-16, Windows Registry Editor Version 5.00): "
contains "the Cyrillic entry, read as the uninstaller reads it" "$t" \
  "22 characters code page 1252 lacks, read as '?'"
contains "the export's Windows" "$t" "The export's Windows: Microsoft Windows XP 5.2 build 3790 Service Pack 2"
absent "it is the edition's" "$t" "It differs from the edition"
contains "files are unknown" "$t" "Unknown, as no export holds them: the files"
contains "the customer's record goes" "$t" "  - KORVANE  VEN_6A3C&DEV_5E17  removed"
contains "the second customer's stays" "$t" "  = KORVANEX  VEN_6A3C&DEV_5E17, VEN_6A3C&DEV_5E19  kept"
contains "its entry goes" "$t" "Uninstall\\Zelvora  \"Zelvora PCIe Multi-IO Drivers\"  C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe  (customer KORVANE)  removed"
contains "the other entry stays" "$t" "(customer KORVANEX)  kept"
contains "the entry's command runs" "$t" "== The uninstaller: C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe (UninstallString of"
contains "the package's uninstaller for x64" "$t" "The package's D:\\AMD64\\Wendmarrow.exe was put there to run."
contains "no message" "$t" "It showed no message."
contains "a restart" "$t" "A restart is asked for: yes"
card='PCI\VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01\4&2a7b1c3&0&00E4'
contains "the multifunction function goes" "$t" "  - $card  \"Zelvora PCIe Multi-IO Controller\"  MultiFunction, driver key {4d36e971-e325-11ce-bfc1-08002be10318}\\0000 removed"
contains "a port below it goes" "$t" "CHILD0001\\4&2a7b1c3&0&00E4  \"Zelvora PCIe Serial Port (COM10)\"  Ports COM10"
contains "the parallel port goes" "$t" "CHILD0002\\4&2a7b1c3&0&00E4  \"Zelvora PCIe Parallel Port\"  Ports LPT2"
contains "a port function goes" "$t" "  - PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00031000&REV_01\\4&2a7b1c3&0&02E4  \"Zelvora PCIe Serial Port (COM9)\"  Ports COM9"
contains "the other vendor's port stays" "$t" "  = PCI\\VEN_9710&DEV_9835&SUBSYS_00021000&REV_01\\4&1f7dbc9f&0&08F0  \"NetMos PCI Serial Port (COM5)\"  Ports COM5"
contains "the other vendor's card stays" "$t" "  = PCI\\VEN_9710&DEV_9845&SUBSYS_00041000&REV_01\\4&1f7dbc9f&0&10F0  \"NetMos PCI Multi-IO\"  MultiFunction"
contains "the vendor's bridge stays" "$t" "  = PCI\\VEN_6A3C&DEV_5E18&SUBSYS_00011000&REV_01\\4&2a7b1c3&0&00E5  \"Zelvora PCIe Bridge\"  System"
contains "COM10 released" "$t" "  COM10  from ComDB and the port list; it was MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01#CHILD0001"
contains "COM4 stays for ComDB Merge" "$t" "  COM4  ComDB Merge keeps it (its port list entry removed)"
contains "COM5 stays for another device" "$t" "  COM5  another device names it: PCI\\VEN_9710&DEV_9835"
contains "COM7 stays, not recorded" "$t" "  COM7  not recorded: no device of the export names it"
contains "a removed key" "$t" "  - [HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\$card]"
contains "the changed ComDB" "$t" '      ~ "ComDB"=hex:7b,00,00,'

# ---- JSON: the same facts ---------------------------------------------------------------
check "preview as JSON" 0 preview --registry "$work/c16.reg" --format json
cp "$work/out" "$work/c16.json"
python3 - "$work/c16.json" "$t" <<'EOF' || fail "the JSON and the text disagree"
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
text = open(sys.argv[2], encoding="utf-8").read()
assert d["customer"] == "KORVANE" and d["nothing_run"] is None, d["nothing_run"]
u = d["uninstaller"]
assert u["restart"] is True and u["messages"] == [] and u["stand_in"] is False, u
removed = {x["instance_id"] for x in d["devices"]["removed"]}
kept = {x["instance_id"] for x in d["devices"]["kept"]}
assert len(removed) == 6 and len(kept) == 6 and not removed & kept, (removed, kept)
for device in removed:
    assert "  - " + device + "  " in text, device
for device in kept:
    assert "  = " + device + "  " in text, device
released = [c["number"] for c in d["com_numbers"]["released"]]
stays = {c["number"]: [r["why"] for r in c["reasons"]] for c in d["com_numbers"]["kept"]}
assert released == [3, 9, 10], released
assert stays == {1: ["ComDB Merge", "another device"], 2: ["ComDB Merge", "another device"],
                 4: ["ComDB Merge"], 5: ["another device"], 6: ["ComDB Merge", "another device"],
                 7: ["not recorded"]}, stays
assert [(r["customer"], r["change"]) for r in d["records"]] == [("KORVANE", "removed"), ("KORVANEX", "kept")]
for entry in d["registry"]:
    assert entry["access"] is None and entry["access_before"] is None, entry
    assert entry["key"] in text, entry["key"]
EOF

# ---- the same machine in either encoding, in any order ----------------------------------
for other in c4 shuffled; do
  check "preview of $other" 0 preview --registry "$work/$other.reg"
  cp "$work/out" "$work/$other.out"
  grep -v "^The export \|^  22 characters" "$work/out" > "$work/$other.text"
  grep -v "^The export \|^  22 characters" "$t" > "$work/c16.text"
  cmp -s "$work/c16.text" "$work/$other.text" || {
    fail "the preview of $other.reg differs"; diff "$work/c16.text" "$work/$other.text" | head; }
  check "preview of $other as JSON" 0 preview --registry "$work/$other.reg" --format json
  python3 -c '
import json, sys
a, b = (json.load(open(f, encoding="utf-8")) for f in sys.argv[1:3])
for d in (a, b):
    del d["exports"]
assert a == b, [k for k in a if a[k] != b[k]]' "$work/c16.json" "$work/out" ||
    fail "the JSON of $other.reg differs"
done
contains "the REGEDIT4 export is named so" "$work/c4.out" "(ANSI, REGEDIT4): 188 keys, 519 values"
absent "code page 1252 holds what REGEDIT4 holds" "$work/c4.out" "characters code page 1252 lacks"

# ---- what winsim run of the uninstaller does on that machine ----------------------------
m="$work/machine"
check "create" 0 "$winsim" create "$m" --edition xp-x64 --package "$package"
check "import the export" 0 "$winsim" import "$m" "$work/c16.reg" --machine-export
contains "import says what it read" "$work/out" "(UTF-16, Windows Registry Editor Version 5.00): "
cp "$package/AMD64/Wendmarrow.exe" "$m/drives/C/WINDOWS/system32/KORVANE_Wendmarrow.exe"
"$winsim" show "$m" > "$work/before.txt" || fail "show before"
check "the uninstaller runs" 0 "$winsim" run "$m" --script "$demo/uninstall-64.script" \
  'C:\WINDOWS\System32\KORVANE_Wendmarrow.exe'
"$winsim" show "$m" > "$work/after.txt" || fail "show after"
python3 "$here/customer_preview_check.py" "$work/c16.json" "$work/before.txt" "$work/after.txt" ||
  fail "the preview is not what the uninstaller did"

# ---- exports in order: a key the second holds is its whole ------------------------------
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter]\r\n"ComDB"=hex:7f,03\r\n' \
  > "$work/later.reg"
check "two exports" 0 preview --registry "$work/c16.reg" --registry "$work/later.reg" --format json
python3 -c '
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
released = [c["number"] for c in d["com_numbers"]["released"]]
assert released == [3, 4, 9, 10], released  # no ComDB Merge: COM4 goes too
assert [e["keys"] for e in d["exports"]] == [188, 1], d["exports"]' "$work/out" ||
  fail "the second export does not replace the key it holds"

# ---- an export of some keys only: what it lacks is unknown ------------------------------
awk '/^\[/ { keep = index($0, "\\CurrentControlSet\\Enum") > 0 || index($0, "Uninstall") > 0 ||
             index($0, "Multi-Io") > 0 } NR <= 2 || keep' "$work/c4.reg" > "$work/part.reg"
check "a partial export" 0 preview --registry "$work/part.reg"
contains "the COM database is not in it" "$work/out" "Not in the export: the COM name database"
contains "so the COM numbers are unknown" "$work/out" \
  "== COM numbers: unknown (the COM name database is not in the export)"
contains "the devices are there" "$work/out" "  - $card"

# ---- a shipped package: its uninstaller is a Windows program ----------------------------
cp -R "$package" "$work/shipped"
python3 "$fixtures/packages/make_pe_image.py" i386 program "$work/shipped/AMD64/Wendmarrow.exe" ||
  fail "make_pe_image.py"
check "a shipped package" 0 "$winsim" preview "$work/shipped" --edition xp-x64 \
  --registry "$work/c16.reg" --format json
python3 -c '
import json, sys
a, b = (json.load(open(f, encoding="utf-8")) for f in sys.argv[1:3])
assert b["uninstaller"]["stand_in"] is True, b["uninstaller"]
assert a["devices"] == b["devices"] and a["registry"] == b["registry"]' "$work/c16.json" "$work/out" ||
  fail "the stand-in for a shipped uninstaller"
printf 'not a program' > "$work/shipped/AMD64/Wendmarrow.exe"
check "a package without an uninstaller" 1 "$winsim" preview "$work/shipped" --edition xp-x64 \
  --registry "$work/c16.reg"
contains "it says why" "$work/err" "is neither a Windows program nor the uninstaller's placeholder"

# ---- where nothing runs, and where the uninstaller refuses ------------------------------
check "a 32-bit edition" 0 "$winsim" preview "$package" --edition xp --registry "$work/c16.reg"
contains "the edition differs" "$work/out" "It differs from the edition xp: the export holds Wow6432Node"
contains "no entry in the 32-bit view" "$work/out" \
  "== No uninstaller ran: no Uninstall entry starts an uninstaller of customer KORVANE"
check "an edition the installer refuses" 0 "$winsim" preview "$package" --edition 7-x64 \
  --registry "$work/c16.reg" --format json
python3 -c '
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
assert d["uninstaller"] is None and d["registry"] == [], d
assert d["nothing_run"] == "the package'"'"'s installer does not install on 7-x64", d["nothing_run"]
assert d["devices"]["removed"] == [] and d["com_numbers"]["released"] == []' "$work/out" ||
  fail "7-x64 JSON"
check "64-bit Vista" 0 "$winsim" preview "$package" --edition vista-x64 --registry "$work/c16.reg"
contains "vista-x64: the refusal is shown" "$work/out" \
  "It showed the message: The Multi-IO drivers cannot be uninstalled on this version of Windows."
contains "vista-x64: no restart" "$work/out" "A restart is asked for: no"
contains "vista-x64: nothing changed" "$work/out" "== Registry keys and values the uninstaller removed and changed: none"

finish "winsim customer preview test"
