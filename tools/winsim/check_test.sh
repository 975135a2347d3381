#!/bin/sh
# winsim check: the sample package is clean (exit 0); each broken package, the sample
# with one flaw, fails (exit 1) with its own finding, which neither the sample nor any
# other broken package shows; a package with a flaw that only deserves a warning still
# passes (exit 0) and shows its own warning; bad command lines exit 2.
#
#   check_test.sh WINSIM SAMPLE_PACKAGE MAKE_BROKEN_PACKAGES [KEEP_DIR]
set -u
winsim="$1"
sample="$2"
make_broken="$3"
. "$(dirname "$0")/test_support.sh"
scratch_folder "${4:-}"

# flaw name | exit status | the finding only that package shows (a fixed string)
EXPECTED='missing-ports-inf|1|Sabrelune.inf: error: missing: the installer stops
missing-multifunction-inf|1|Dovrik.inf: error: missing
keys-out-of-order|1|error: keys out of order: ProviderName= (line
empty-customer-name|1|error: CustomerName= has an empty value; the default "KORVANE" applies
key-in-other-case|1|it is written "providername=", and keys are matched in exact letter case
key-beyond-read-limit|1|beyond the first 20000 bytes the installer reads
key-after-zero-byte|1|where the installer'"'"'s text ends
key-in-comment|1|error: the first CustomerName= stands in a comment
value-without-quote|1|the character after CustomerName= is "K", not a double quote
values-run-over-lines|1|error: the value of UninstallName= runs on to line
unsafe-customer-name|1|program folder name "KORVANE:IO", which cannot be used: it holds one of
customer-name-too-long|1|(230 characters) is too long: the longest name the installer takes is 110 characters with AMD64 (C:\WINDOWS), 110 with IA64 (C:\WINDOWS), 111 with X86 (C:\WINDOWS), 111 with X86 (C:\WINNT); it refuses the package
customer-folder-of-windows|1|error: CustomerName= makes the program folder "C:\Program Files\Common Files", a folder Windows or other software already has: the installer refuses it, since it holds files of their own (on every supported edition)
provider-name-with-backslash|1|uninstall entry name "Korvane\Semiconductor", which cannot be used: it holds a backslash
malformed-vid-pid-window|1|yields "N_6A3C&DEV_5E18", not a PCI ID
empty-vid-pid-window|1|holds no ID: the installer writes "VEN_6A3C&DEV_5E17"
no-vid-pid-names|1|error: no VID_PID_NAME1 to VID_PID_NAME5 in the file
missing-driver-amd64|1|AMD64/Pellacorte.dll: error: missing (needed on xp-x64,
missing-uninstaller-ia64|1|IA64: error: no uninstaller: neither KORVANE_Wendmarrow.exe nor Wendmarrow.exe (needed on 2003-ia64,
missing-platform-folder-x86|1|X86: error: missing platform folder (needed on 2000,
driver-is-a-folder|1|X86/Tamble.sys: error: a folder, where the installer copies a file
ports-inf-is-a-link|1|ports-inf-is-a-link/Sabrelune.inf: neither a file nor a folder
ports-inf-is-a-fifo|1|ports-inf-is-a-fifo/Sabrelune.inf: neither a file nor a folder
platform-folder-is-a-link|1|platform-folder-is-a-link/X86: neither a file nor a folder
inf-names-differing-in-case|1|another name in the package differs from it only in case
customer-name-with-del|1|program folder name "KOR\x7FVANE", which cannot be used: it holds a control character
customer-name-too-long-as-utf8|1|which cannot be used: its UTF-8 form, in which Wine'"'"'s and the simulator'"'"'s hosts keep file names, is longer than 255 bytes
customer-name-device|1|program folder name "CON", which cannot be used: it names a device on Windows
customer-name-com-port|1|program folder name "com1", which cannot be used: it names a device on Windows
customer-folder-windows-nt|1|error: CustomerName= makes the program folder "C:\Program Files\Windows NT", a folder Windows or other software already has: the installer refuses it
blanks-around-equals|1|Sabrelune.inf:89: error: CustomerName= is not read: it is written "CustomerName =", with blanks before the =, and the installer matches "CustomerName=" exactly; the installer reads instead the text from line 1 to ProviderName= (line 90)
utf16-ports-inf|1|Sabrelune.inf:1: error: the file is UTF-16 (little-endian, with a byte order mark): the installer reads it as 8-bit text
cr-only-line-ends|1|Sabrelune.inf: error: its lines end in CR alone, without a line feed
x86-driver-in-amd64|1|AMD64/Orrick.sys: error: an image for I386 in the AMD64 folder, which must hold AMD64 images
driver-named-not-shipped|1|Sabrelune.inf:21: error: "Extra.sys", named in [SourceDisksFiles], is not shipped in X86
empty-driver|1|X86/Tamble.sys: error: an empty file (0 bytes)
sys-not-a-driver|1|X86/Quellmast.sys: error: not a kernel-mode driver: its subsystem is 2
utf8-customer-name|0|warning: the value of CustomerName= is written in UTF-8: "Müller" is read as code page 1252, "MÃ¼ller"
lower-case-id|0|VID_PID_NAME1   "ven_1b7e&dev_2a41"  (line 93)
text-driver|0|X86/Orrick.sys: warning: not a Windows image (it has no MZ header; it begins "vendor'"'"'s serial driver\n")
repeated-vid-pid|0|warning: VID_PID_NAME2 repeats the ID of VID_PID_NAME1, "VEN_6A3C&DEV_5E18"
sixth-vid-pid|0|warning: VID_PID_NAME6 is written, but the uninstaller reads only VID_PID_NAME1 to VID_PID_NAME5
vid-pid-gap|0|warning: VID_PID_NAME2 is missing while VID_PID_NAME3 is present'

# The sample: clean, with the values and IDs it reads.
"$winsim" check "$sample" > "$work/sample.out" 2>&1
status=$?
[ "$status" -eq 0 ] || { fail "sample: exit $status, expected 0"; cat "$work/sample.out"; }
for text in 'CustomerName=   "KORVANE"  (line 89)' 'VID_PID_NAME1   "VEN_6A3C&DEV_5E17"  (line 93)' \
    'VID_PID_NAME2   "VEN_6A3C&DEV_5E18"  (line 94)' 'uninstaller from \AMD64: Wendmarrow.exe' \
    ': clean: installs on every supported edition'; do
  grep -qF -- "$text" "$work/sample.out" || fail "sample: '$text' not in the output"
done
# Its only findings: its placeholder drivers, and the uninstall 64-bit Vista refuses.
if grep -E ': (error|warning): ' "$work/sample.out" |
   grep -vE ': warning: not a Windows image \(it has no MZ header; it begins "PLACEHOLDER: ' |
   grep -vF ': warning: on vista-x64 the package installs, but the uninstaller refuses'; then
  fail "sample: has other findings"
fi
[ "$(grep -c ': warning: not a Windows image' "$work/sample.out")" -eq 15 ] ||
  fail "sample: not one warning for each of its 15 placeholder drivers"
contains "the edition list says so" "$work/sample.out" "vista-x64 (AMD64; installs, uninstall refused)"
# --strict makes them errors; --shipping the placeholders.
"$winsim" check "$sample" --strict > "$work/strict" 2>&1 && fail "sample --strict: exit 0"
contains "--strict" "$work/strict" "16 errors, 0 warnings: does not install cleanly"
"$winsim" check "$sample" --shipping > "$work/shipping" 2>&1 && fail "sample --shipping: exit 0"
contains "--shipping" "$work/shipping" "15 errors, 1 warning: does not install cleanly"
# A vendor without IA64: told so, the Itanium editions are listed as refused; a platform
# folder that is there is checked whole all the same.
cp -R "$sample" "$work/no-ia64" && rm -r "$work/no-ia64/IA64"
"$winsim" check "$work/no-ia64" > "$work/no-ia64.out" 2>&1 && fail "no IA64, not told: exit 0"
contains "no IA64, not told" "$work/no-ia64.out" "IA64: error: missing platform folder"
"$winsim" check "$work/no-ia64" --platforms X86,AMD64 > "$work/no-ia64.out" 2>&1 ||
  fail "no IA64, told: not clean"
contains "no IA64, told" "$work/no-ia64.out" \
  "refused, their platform folder is not shipped (the installer aborts there): 2003-ia64 2003-ia64-enterprise 2003-ia64-datacenter"
"$winsim" check "$work/no-ia64" --platforms present > "$work/no-ia64.out" 2>&1 ||
  fail "no IA64, read from the folders present: not clean"
contains "no IA64, present" "$work/no-ia64.out" "platform folders shipped: X86,AMD64"
rm "$work/no-ia64/AMD64/Tamble.sys"
"$winsim" check "$work/no-ia64" --platforms x86 > "$work/no-ia64.out" 2>&1 &&
  fail "half an AMD64 folder: exit 0"
contains "half an AMD64 folder" "$work/no-ia64.out" "AMD64/Tamble.sys: error: missing (needed on xp-x64"
"$winsim" check "$sample" --platforms X86,ARM > /dev/null 2>&1
[ $? -eq 2 ] || fail "an unknown platform: not exit 2"
rm -f "$work/strict" "$work/shipping" "$work/no-ia64.out"

# Each broken package: its exit status and its own finding.
"$make_broken" "$sample" "$work/broken" > "$work/made" || fail "the broken packages were not made"
while IFS= read -r flaw; do
  expected=$(grep "^$flaw|" <<EOF | cut -d'|' -f2
$EXPECTED
EOF
)
  [ -n "$expected" ] || fail "$flaw: no expected finding listed for it"
  "$winsim" check "$work/broken/$flaw" > "$work/$flaw.out" 2>&1
  status=$?
  [ "$status" -eq "${expected:-1}" ] || {
    fail "$flaw: exit $status, expected $expected"
    cat "$work/$flaw.out"
  }
done < "$work/made"

while IFS='|' read -r flaw status text; do
  [ -f "$work/$flaw.out" ] || { fail "$flaw: listed but not made"; continue; }
  grep -qF -- "$text" "$work/$flaw.out" || {
    fail "$flaw: '$text' not in its output:"
    cat "$work/$flaw.out"
  }
  for other in "$work"/*.out; do
    [ "$other" = "$work/$flaw.out" ] && continue
    if grep -qF -- "$text" "$other"; then fail "$flaw: its finding also shows in $other"; fi
  done
done <<EOF
$EXPECTED
EOF

# The installer agrees: on the editions a finding names, it stops; on the others, and
# with the sample everywhere, it completes. A script plays the user: Install, then the
# refusal's message box when one is named, then the final text and Exit.
# (edition | package | completed, aborted, or the start of the message box's text)
run_installer() {  # run_installer EDITION PACKAGE_FOLDER OUTCOME MACHINE
  {
    echo 'expect "Kestrolin"'
    echo 'press "Install"'
    case "$3" in
      completed) echo 'expect-text 1000 "Installation completed..."' ;;
      aborted) echo 'expect-text 1000 "Installation is aborted..."' ;;
      *) printf 'box "%s..." answer OK\n' "$3"
         echo 'expect-text 1000 "Installation is aborted..."' ;;
    esac
    echo 'press "Exit"'
    echo 'wait-closed'
  } > "$work/install.script"
  rm -rf "$4"
  "$winsim" create "$4" --edition "$1" --package "$2" > /dev/null 2>&1 &&
    "$winsim" run "$4" --script "$work/install.script" 'D:\Kestrolin.exe' > "$work/run.out" 2>&1
}
while IFS='|' read -r edition package outcome; do
  [ "$package" = sample ] && folder="$sample" || folder="$work/broken/$package"
  run_installer "$edition" "$folder" "$outcome" "$work/machine-$edition-$package" || {
    fail "$package on $edition: the installer's run did not end as '$outcome':"
    cat "$work/run.out"
  }
done <<EOF
xp|sample|completed
xp-x64|sample|completed
2003-ia64|sample|completed
vista|sample|completed
xp|missing-driver-amd64|completed
xp-x64|missing-driver-amd64|aborted
vista-x64|missing-driver-amd64|aborted
2003-ia64|missing-uninstaller-ia64|aborted
xp|missing-uninstaller-ia64|completed
xp|unsafe-customer-name|Sabrelune.inf: the value \"KORVANE:IO\" of CustomerName= cannot be used
xp|customer-name-too-long|Sabrelune.inf: the value \"KKKK
xp|customer-name-with-del|Sabrelune.inf: the value \"KOR
xp|customer-name-too-long-as-utf8|Sabrelune.inf: the value \"
xp|customer-name-device|Sabrelune.inf: the value \"CON\" of CustomerName= cannot be used as a folder, file and registry key name: as the program folder name, it names a device
vista-x64|customer-name-com-port|Sabrelune.inf: the value \"com1\" of CustomerName=
xp|customer-folder-windows-nt|The folder C:\\\\Program Files\\\\Windows NT holds files that this installer does not put there
xp|lower-case-id|completed
xp|provider-name-with-backslash|Sabrelune.inf: the value \"Korvane\\\\Semiconductor\" of ProviderName=
xp|missing-ports-inf|CreateFile failed
EOF

# Command lines.
"$winsim" check > /dev/null 2>&1
[ $? -eq 2 ] || fail "check without a folder: not exit 2"
"$winsim" check "$work/no-such-folder" > /dev/null 2>&1
[ $? -eq 2 ] || fail "check of a missing folder: not exit 2"
"$winsim" check "$sample" "$sample" > /dev/null 2>&1
[ $? -eq 2 ] || fail "check of two folders: not exit 2"

finish "winsim check test"
