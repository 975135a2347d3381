#!/bin/sh
# winsim end to end: exit codes, a new machine, show, import, and a refused import that
# leaves the machine as it was; a machine with the sample package, the installer and the
# uninstaller run on it with scripts, what they leave in the registry and on the drives;
# refused programs and failing scripts; the demo without a terminal.
set -u
winsim="$1"
fixtures="$2"
package="$3"
. "$(dirname "$0")/test_support.sh"
scratch_folder

check "no arguments" 2 "$winsim"
check "help" 0 "$winsim" help
contains "help lists import" "$work/out" "import DIR FILE.reg"
check "unknown command" 2 "$winsim" frobnicate
check "editions" 0 "$winsim" editions
contains "editions lists xp" "$work/out" "xp-x64"
check "new without edition" 2 "$winsim" new "$work/m"
check "new with unknown edition" 2 "$winsim" new "$work/m" --edition nosuch
check "new" 0 "$winsim" new "$work/m" --edition xp
check "new over an existing folder" 1 "$winsim" new "$work/m" --edition xp
check "show" 0 "$winsim" show "$work/m"
contains "show prints the identity" "$work/out" "edition=xp"
contains "show prints the registry" "$work/out" "Windows Registry Editor Version 5.00"
check "import" 0 "$winsim" import "$work/m" "$fixtures/reg/values.reg"
check "show after import" 0 "$winsim" show "$work/m"
contains "imported key (into the existing SOFTWARE key)" "$work/out" "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KestrolinRegTest\\Sub]"
contains "imported value" "$work/out" '"Inner"=dword:deadbeef'
cp -R "$work/m" "$work/before"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n"a"=hex:zz\r\n' > "$work/bad.reg"
check "import of a broken file" 1 "$winsim" import "$work/m" "$work/bad.reg"
contains "error names file and line" "$work/err" "bad.reg:4: bad hex byte 'zz'"
if ! diff -r "$work/before" "$work/m" > /dev/null; then
  fail "a refused import changed the machine"
fi
check "import into no machine" 1 "$winsim" import "$work/none" "$fixtures/reg/values.reg"
check "import with one argument" 2 "$winsim" import "$work/m"

# ---- a machine with the sample package: install, look, uninstall, look ----------------
p="$work/p"
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Korvane Semiconductor Technology Ltd'
demo_scripts="$(dirname "$0")/demo"
check "create with a package" 0 "$winsim" create "$p" --edition xp --package "$package"
check "create over an existing folder" 1 "$winsim" create "$p" --edition xp --package "$package"
check "create with a missing package" 1 "$winsim" create "$work/p2" --edition xp --package "$work/none"
contains "a missing package is named" "$work/err" "$work/none: not a folder"
check "ls the package drive" 0 "$winsim" ls "$p" 'D:\'
contains "the package's ports INF is on D:" "$work/out" "Sabrelune.inf"
contains "the package's platform folders are on D:" "$work/out" "---D-        <DIR>  X86"
contains "the installer is on D:" "$work/out" "Kestrolin.exe"
contains "the installer's placeholder names it" "$p/drives/D/Kestrolin.exe" \
  "PLACEHOLDER: not a program. Stands in for Kestrolin.exe, the installer"
check "ls one file" 0 "$winsim" ls "$p" 'd:/x86/wendmarrow.exe'
size=$(wc -c < "$package/X86/Wendmarrow.exe" | tr -d ' ')
contains "ls shows the size and the stored name" "$work/out" "$size  D:\\X86\\Wendmarrow.exe"

check "run without a terminal or a script" 1 "$winsim" run "$p" 'D:\Kestrolin.exe'
contains "a script is asked for" "$work/err" "give --script FILE"
check "install" 0 "$winsim" run "$p" --script "$demo_scripts/install.script" 'D:\Kestrolin.exe'
contains "the installer prints the Windows description" "$work/out" \
  "Microsoft Windows XP Professional Service Pack 3 (Build 2600)"
check "query the Uninstall entry" 0 "$winsim" reg "$p" query "$uninstall"
contains "the entry's command" "$work/out" \
  "UninstallString    REG_SZ    C:\WINDOWS\System32\KORVANE_Wendmarrow.exe"
command=$(sed -n 's/^ *UninstallString *REG_SZ *//p' "$work/out")
check "ls the program folder" 0 "$winsim" ls "$p" 'C:\Program Files\KORVANE'
contains "the package was copied" "$work/out" "Sabrelune.inf"

check "export the Uninstall entry" 0 "$winsim" reg "$p" export "$uninstall" "$work/entry.reg"
check "a fresh machine" 0 "$winsim" new "$work/q" --edition xp
check "import the export" 0 "$winsim" import "$work/q" "$work/entry.reg"
check "query the imported entry" 0 "$winsim" reg "$work/q" query "$uninstall"
cp "$work/out" "$work/imported"
check "query the entry again" 0 "$winsim" reg "$p" query "$uninstall"
if ! cmp -s "$work/out" "$work/imported"; then
  fail "the exported entry imports as something else"
fi
check "query a missing key" 1 "$winsim" reg "$p" query 'HKLM\SOFTWARE\NoSuchKey'
contains "a missing key is named" "$work/err" "NoSuchKey: no such key"
check "reg with an unknown action" 2 "$winsim" reg "$p" delete "$uninstall"

check "uninstall through the entry's command" 0 \
  "$winsim" run "$p" --script "$demo_scripts/uninstall.script" "$command"
check "the program folder is gone" 1 "$winsim" ls "$p" 'C:\Program Files\KORVANE'
contains "a missing folder is named" "$work/err" "no such file or folder"
check "the Uninstall entry is gone" 1 "$winsim" reg "$p" query "$uninstall"
# Windows will not delete the running uninstaller's own copy: it is moved aside, and its
# deletion waits for the next start.
check "the uninstaller's copy is moved aside" 1 "$winsim" ls "$p" "$command"
check "the copy waits for the restart" 0 "$winsim" ls "$p" "$command.delete-at-restart-1"
check "its deletion is recorded" 0 \
  "$winsim" reg "$p" query 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager'
contains "the pending deletion names the copy aside" "$work/out" \
  'KORVANE_Wendmarrow.exe.delete-at-restart-1'
# Installed again before the restart: the restart takes the old copy, not the new one.
check "install again before the restart" 0 \
  "$winsim" run "$p" --script "$demo_scripts/install.script" 'D:\Kestrolin.exe'
check "restart" 0 "$winsim" restart "$p"
contains "the restart deletes the copy aside" "$work/out" \
  "deleted C:\WINDOWS\system32\KORVANE_Wendmarrow.exe.delete-at-restart-1"
check "the new copy stays" 0 "$winsim" ls "$p" "$command"
check "restart again" 0 "$winsim" restart "$p"
contains "nothing is left to a second restart" "$work/out" "nothing was left to the start"
check "restart of no machine" 1 "$winsim" restart "$work/none"
check "uninstall the new installation" 0 \
  "$winsim" run "$p" --script "$demo_scripts/uninstall.script" "$command"
check "its Uninstall entry is gone" 1 "$winsim" reg "$p" query "$uninstall"

# ---- programs that cannot run, scripts that fail -------------------------------------
check "a file that is not a program" 1 "$winsim" run "$p" --script "$demo_scripts/install.script" 'D:\Sabrelune.inf'
contains "not a program is said" "$work/err" "D:\Sabrelune.inf: not a program the simulator can run"
check "a driver placeholder" 1 "$winsim" run "$p" --script "$demo_scripts/install.script" 'D:\X86\Orrick.sys'
contains "a driver is no program" "$work/err" "not a program the simulator can run"
check "a missing program" 1 "$winsim" run "$p" --script "$demo_scripts/install.script" 'D:\Nothing.exe'
contains "a missing program is named" "$work/err" "D:\Nothing.exe: no such file on the machine"
check "a folder as program" 1 "$winsim" run "$p" --script "$demo_scripts/install.script" 'D:\X86'
check "a relative program path" 1 "$winsim" run "$p" --script "$demo_scripts/install.script" 'Kestrolin.exe'
contains "a relative path is refused" "$work/err" "is not a full Windows path"
check "a missing current folder" 1 \
  "$winsim" run "$p" --cwd 'C:\Nowhere' --script "$demo_scripts/install.script" 'D:\Kestrolin.exe'
contains "a missing current folder is named" "$work/err" "C:\Nowhere: no such folder"
printf 'timeout 300\npress "Install"\nexpect-text 1000 "Nothing like this"\n' > "$work/fails.script"
check "a failing script" 1 "$winsim" run "$p" --script "$work/fails.script" 'D:\Kestrolin.exe'
contains "the failure is reported" "$work/err" "Kestrolin.exe: the script failed"
contains "the failing step is named" "$work/err" "fails.script:3:"
check "the failed run's installation was saved" 0 "$winsim" reg "$p" query "$uninstall"
printf 'press\n' > "$work/broken.script"
check "a script that does not parse" 1 "$winsim" run "$p" --script "$work/broken.script" 'D:\Kestrolin.exe'
contains "the broken line is named" "$work/err" "broken.script:1:"
check "run with no program" 2 "$winsim" run "$p" --script "$work/broken.script"

mkdir -p "$work/clash/X86"
echo a > "$work/clash/X86/a.inf"
echo b > "$work/clash/X86/A.INF"
check "a package whose names clash on Windows" 1 "$winsim" create "$work/c" --edition xp --package "$work/clash"
contains "the clash is named" "$work/err" "differs from it only in case"

# ---- the demo without a terminal ------------------------------------------------------
mkdir -p "$work/home"
demo() { HOME="$work/home" "$winsim" demo "$@" < /dev/null; }
check "demo" 0 demo
contains "demo makes the default machine" "$work/out" "$work/home/.kestrolin/machines/default (xp), made fresh"
contains "demo prints the dialog states" "$work/out" '1000 text "Installation completed.'
contains "demo prints the uninstaller's states" "$work/out" "1002 progress 100 of 0..100"
contains "demo starts the entry's command" "$work/out" \
  "== Wendmarrow.exe started: C:\WINDOWS\System32\KORVANE_Wendmarrow.exe"
contains "demo summary: the entry after the installer" "$work/out" \
  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane"
contains "demo summary: the entry is gone" "$work/out" "Uninstall entry after the uninstaller: none"
contains "demo summary: the restart deletes the copy" "$work/out" \
  "  deleted C:\WINDOWS\system32\KORVANE_Wendmarrow.exe"
contains "demo summary: nothing is left" "$work/out" "and that start none of them is left."
check "demo again on the kept machine" 0 demo
contains "the default machine is kept" "$work/out" "(xp), kept from the last demo"
check "demo --fresh" 0 demo --fresh
contains "--fresh makes the default machine again" "$work/out" "machines/default (xp), made fresh"
check "demo on a fresh 64-bit machine" 0 demo --edition xp-x64
contains "64-bit: the entry is read under Wow6432Node" "$work/out" \
  "HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Korvane"
contains "64-bit: the restart offer is declined" "$work/out" '"Reboot Later"'
check "demo with an unknown edition" 2 demo --edition nosuch
check "demo with a stray argument" 2 demo "$work/home"

finish "winsim smoke test"
