#!/bin/sh
# winsim end to end: exit codes, a new machine, show, import, and a refused import that
# leaves the machine as it was.
set -u
winsim="$1"
fixtures="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

check() {  # check WHAT EXPECTED-EXIT COMMAND...
  what="$1"; expected="$2"; shift 2
  "$@" > "$work/out" 2> "$work/err"
  actual=$?
  if [ "$actual" -ne "$expected" ]; then
    echo "FAIL: $what: exit $actual, expected $expected"; cat "$work/err"
    failures=$((failures + 1))
  fi
}
contains() {  # contains WHAT FILE TEXT
  if ! grep -qF -- "$3" "$2"; then
    echo "FAIL: $1: '$3' not in $2:"; head -20 "$2"
    failures=$((failures + 1))
  fi
}

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
  echo "FAIL: a refused import changed the machine"; failures=$((failures + 1))
fi
check "import into no machine" 1 "$winsim" import "$work/none" "$fixtures/reg/values.reg"
check "import with one argument" 2 "$winsim" import "$work/m"

echo "winsim smoke test: $failures failed"
[ "$failures" -eq 0 ]
