#!/usr/bin/env bash
# scripts/package on the sample and on bad vendor folders and programs:
#   package_test.sh TREE WINSIM WORK
# TREE is a 32-bit Windows build tree (its installer/Kestrolin.exe, uninstaller/Wendmarrow.exe).
# Every refusal must say why, write nothing and leave an earlier package as it was; the
# vendor's folder is never changed.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tree="$(realpath "$1")" winsim="$(realpath "$2")" work="$(realpath -m "$3")"
package="$root/scripts/package" sample="$root/packages/sample"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
state_of() {  # names, modes and contents of a folder tree (empty when it is missing)
  [[ -e "$1" ]] || return 0
  (cd "$1" && find . -printf '%p %m %y\n' | sort && find . -type f -print0 | sort -z |
     xargs -0 sha256sum)
}
# PE machine field and version resource, read independently of scripts/package.
machine_of() {
  local at; at=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -t x2 -j $((at + 4)) -N 2 "$1" | tr -d ' '
}
names_itself() {
  python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); u = lambda t: t.encode("utf-16-le")
sys.exit(not (u("VS_VERSION_INFO") in d and u("InternalName\0") in d and u(sys.argv[2] + "\0") in d))' "$1" "$2"
}

rm -rf "$work" && mkdir -p "$work/programs/installer" "$work/programs/uninstaller" || exit 1
out="$work/out"
run() { "$package" "$1" --out "${3:-$out}" --programs "${2:-$tree}" --winsim "$winsim"; }

# ---- the sample ----------------------------------------------------------------------------
before="$(state_of "$sample")"
run "$sample" > "$work/log" 2>&1 || { cat "$work/log"; fail "the sample was refused"; }
[[ "$(state_of "$sample")" == "$before" ]] || fail "packages/sample was changed"
pkg="$out/KORVANE"
for f in "$pkg/Kestrolin.exe" "$pkg/X86/Wendmarrow.exe" "$pkg/AMD64/Wendmarrow.exe" \
         "$pkg/IA64/Wendmarrow.exe"; do
  [[ "$(machine_of "$f")" == 014c ]] || fail "$f is not an i386 program"
  want=Wendmarrow; [[ "$f" == */Kestrolin.exe ]] && want=Kestrolin
  names_itself "$f" "$want" || fail "$f has no version resource naming $want"
done
(cd "$out" && sha256sum --quiet -c KORVANE.sha256) || fail "the SHA-256 list does not hold"
# The folder's files but the marker that makes it this script's output.
[[ -f "$pkg/.kestrolin-package" ]] || fail "no marker in the output folder"
[[ "$(cd "$out" && find KORVANE -type f ! -name .kestrolin-package | sort)" == \
   "$(python3 -m zipfile -l "$out/KORVANE.zip" | awk 'NR > 1 { print $1 }' | sort)" ]] ||
  fail "the zip does not hold the folder's files"
[[ $(grep -c '' "$out/KORVANE.sha256") -eq $(($(find "$pkg" -type f | wc -l))) ]] ||
  fail "the SHA-256 list does not name every file and the zip"
grep -q "warning: on vista-x64 the package installs, but the uninstaller refuses" "$work/log" ||
  fail "the check's warnings are not printed"
"$winsim" check "$pkg" > /dev/null || fail "winsim check refuses the package"
# Written again, the folder is replaced whole.
touch "$pkg/stale"
run "$sample" > /dev/null 2>&1 || fail "the second run was refused"
[[ ! -e "$pkg/stale" ]] || fail "the old folder was not replaced whole"
[[ -z "$(find "$out" -maxdepth 1 -name '.*' ! -name .)" ]] || fail "left-overs in $out"

# ---- bad vendor folders and programs ---------------------------------------------------
# A vendor's folder: the sample with drivers of its own and no programs.
vendor() {
  rm -rf "$work/vendor" && cp -R "$sample" "$work/vendor" || exit 1
  find "$work/vendor" -iname '*.exe' -delete
  local f kind machine
  for f in "$work"/vendor/*/*.sys "$work"/vendor/*/*.dll; do
    kind=dll; [[ "$f" == *.sys ]] && kind=driver
    case "$f" in */X86/*) machine=i386 ;; */AMD64/*) machine=amd64 ;; *) machine=ia64 ;; esac
    python3 "$root/tests/fixtures/packages/make_pe_image.py" "$machine" "$kind" "$f" || exit 1
  done
}
vendor
run "$work/vendor" "" "$work/vendor-out" > "$work/log" 2>&1 ||
  { cat "$work/log"; fail "a good vendor folder was refused"; }
cp "$tree/installer/Kestrolin.exe" "$work/programs/installer/"
as_nobody=()
[[ $(id -u) -eq 0 ]] && as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
cases=(
  # name | what is done to the vendor folder (or the programs) | what the refusal says
  "missing INF|rm vendor/Dovrik.inf|Dovrik.inf: error: missing"
  "unsafe CustomerName|sed -i 's/^CustomerName=.*/CustomerName=\"..:KOR\"/' vendor/Sabrelune.inf|CustomerName= makes the program folder name"
  "missing platform folder|rm -r vendor/AMD64|AMD64: error: missing platform folder"
  "a placeholder uninstaller|cp $sample/X86/Wendmarrow.exe vendor/X86/KORVANE_Wendmarrow.exe|the placeholder packages/sample/X86/Wendmarrow.exe"
  "a placeholder driver|cp $sample/IA64/Orrick.sys vendor/IA64/Orrick.sys|placeholders never ship"
  "a driver that is text|echo driver > vendor/X86/Orrick.sys|X86/Orrick.sys: error: not a Windows image"
  "an x86 driver in AMD64|cp vendor/X86/Tamble.sys vendor/AMD64/Tamble.sys|AMD64/Tamble.sys: error: an image for I386 in the AMD64 folder"
  "a device name|sed -i 's/^CustomerName=.*/CustomerName=\"CON\"/' vendor/Sabrelune.inf|it names a device on Windows"
  "no IA64, not told|rm -r vendor/IA64|IA64: error: missing platform folder"
  "an unreadable file|chmod 000 vendor/X86/Tamble.sys|Tamble.sys: cannot be read: Permission denied"
  "a link|ln -s ../Dovrik.inf vendor/X86/Extra.inf|Extra.inf: a link"
  "a placeholder as the built uninstaller|cp $sample/X86/Wendmarrow.exe programs/uninstaller/|not a Windows program"
  "a 64-bit uninstaller|python3 -c 'import sys; d = bytearray(open(sys.argv[1], \"rb\").read()); a = int.from_bytes(d[60:64], \"little\"); d[a + 4:a + 6] = (0x8664).to_bytes(2, \"little\"); open(sys.argv[2], \"wb\").write(d)' $tree/uninstaller/Wendmarrow.exe programs/uninstaller/Wendmarrow.exe|a program for x86-64, not i386 (a 32-bit Windows program)"
  "the installer as the uninstaller|cp $tree/installer/Kestrolin.exe programs/uninstaller/Wendmarrow.exe|its version resource names Kestrolin, not Wendmarrow"
)
chmod -R a+rX "$work"
for c in "${cases[@]}"; do
  IFS='|' read -r name damage message <<< "$c"
  vendor
  cp "$tree/uninstaller/Wendmarrow.exe" "$work/programs/uninstaller/Wendmarrow.exe"
  (cd "$work" && eval "$damage") || { fail "$name: cannot set the case up"; continue; }
  chmod -R a+rX "$work/programs" && chmod a+rwx "$work/out" "$out"/*
  was="$(state_of "$work/vendor")" old="$(state_of "$out")"
  "${as_nobody[@]}" "$package" "$work/vendor" --out "$out" --programs "$work/programs" \
    --winsim "$winsim" > "$work/log" 2>&1
  rc=$?
  [[ $rc -eq 1 ]] || fail "$name: exit $rc, not 1"
  grep -qF -- "$message" "$work/log" && grep -q "nothing written" "$work/log" ||
    { cat "$work/log"; fail "$name: the refusal does not say \"$message\""; }
  [[ "$(state_of "$out")" == "$old" ]] || fail "$name: the earlier package was changed"
  [[ "$(state_of "$work/vendor")" == "$was" ]] || fail "$name: the vendor's folder was changed"
done
# ---- what the vendor states, and what the script may replace ---------------------------
vendor
rm -r "$work/vendor/IA64"
run_with() { "$package" "$work/vendor" --programs "$tree" --winsim "$winsim" "$@"; }
run_with --out "$work/told" --platforms X86,AMD64 > "$work/log" 2>&1 ||
  { cat "$work/log"; fail "a vendor folder without IA64, told so, was refused"; }
grep -q "note: refused, their platform folder is not shipped (the installer aborts there): 2003-ia64" \
  "$work/log" || fail "the editions without their platform folder are not listed"
[[ -f "$work/told/KORVANE/AMD64/Wendmarrow.exe" && ! -e "$work/told/KORVANE/IA64" ]] ||
  fail "the package without IA64 is not as the vendor's folder"
run_with --out "$work/strict" --platforms X86,AMD64 --strict > "$work/log" 2>&1 &&
  fail "--strict packed a package with warnings"
grep -q "error: on vista-x64 the package installs" "$work/log" && [[ ! -e "$work/strict" ]] ||
  fail "--strict did not refuse on the warning, or wrote something"
# Neither the vendor's folder nor a folder holding it is an output folder.
run_with --out "$work" --platforms X86,AMD64 > "$work/log" 2>&1 && fail "--out holding the vendor was used"
grep -q "the output folder holds the vendor's folder" "$work/log" || fail "--out holding the vendor: no reason"
# A folder at OUT/<word> that is not this script's output is left whole.
mkdir -p "$work/foreign/KORVANE" && echo mine > "$work/foreign/KORVANE/notes.txt"
was="$(state_of "$work/foreign")"
run_with --out "$work/foreign" --platforms X86,AMD64 > "$work/log" 2>&1 && fail "a foreign folder was replaced"
grep -q "is not an earlier output of scripts/package" "$work/log" || fail "a foreign folder: no reason"
[[ "$(state_of "$work/foreign")" == "$was" ]] || fail "the foreign folder was changed"
# A rename that fails half-way (the zip cannot be moved: its folder is sticky and the zip
# another user's) puts the earlier package back whole, and says so.
if [[ ${#as_nobody[@]} -gt 0 ]]; then
  chown -R 65534:65534 "$work/told/KORVANE" "$work/told/KORVANE.sha256"
  chmod 1777 "$work/told" && chmod -R a+rX "$work"
  was="$(state_of "$work/told")"
  "${as_nobody[@]}" "$package" "$work/vendor" --out "$work/told" --platforms X86,AMD64 \
    --programs "$tree" --winsim "$winsim" > "$work/log" 2>&1 && fail "the half-way swap passed"
  grep -q "the earlier package, if any, is left as it was" "$work/log" ||
    { cat "$work/log"; fail "the half-way swap does not say the earlier package is whole"; }
  [[ "$(state_of "$work/told")" == "$was" ]] || fail "the half-way swap changed the earlier package"
fi

# A refusal with no earlier package makes no output folder either.
rm -f "$work/vendor/Dovrik.inf"
run "$work/vendor" "" "$work/none" > /dev/null 2>&1 && fail "a folder without Dovrik.inf was packed"
[[ ! -e "$work/none" ]] || fail "a refusal made its output folder"

[[ $failures -eq 0 ]] && echo "package tests: all passed" && exit 0
echo "package tests: $failures failed"
exit 1
