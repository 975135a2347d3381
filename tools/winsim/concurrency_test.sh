#!/bin/sh
# Many winsim commands on one machine folder at once: the installer's run, imports that
# each add their own key, and readers (ls, reg query, show) polling all along; then the
# uninstaller's run among more imports and readers. Every command ends 0 or says the
# folder is in use; the folder loads afterwards, with nothing left beside it, and holds
# every change a command reported done.
#
#   concurrency_test.sh WINSIM SAMPLE_PACKAGE DEMO_SCRIPTS [KEEP_DIR]
set -u
winsim="$1"
sample="$2"
demo="$3"
. "$(dirname "$0")/test_support.sh"
scratch_folder "${4:-}"
m="$work/m"
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Korvane Semiconductor Technology Ltd'
imports=10
readers=4

"$winsim" create "$m" --edition xp --package "$sample" > /dev/null || fail "create"

# job NAME COMMAND...: runs in the background; its exit status lands in $work/NAME.status
job() {
  name="$1"
  shift
  ( "$@" > "$work/$name.out" 2>&1; echo $? > "$work/$name.status" ) &
}

reader() {  # reader N: polls the folder with each reading command until the runs end
  while [ ! -f "$work/stop" ]; do
    for cmd in "ls $m C:\\" "reg $m query HKLM\\SOFTWARE" "show $m"; do
      # shellcheck disable=SC2086 # the words of $cmd are the arguments
      "$winsim" $cmd > /dev/null 2> "$work/reader$1.err" || {
        grep -q "in use by another winsim command" "$work/reader$1.err" ||
          { echo "reader $1: winsim $cmd failed:"; cat "$work/reader$1.err"; }
      }
    done
  done
}

round() {  # round NAME PROGRAM SCRIPT FIRST-IMPORT
  rm -f "$work/stop"
  r=1
  while [ $r -le $readers ]; do reader "$1-$r" >> "$work/readers.log" & r=$((r + 1)); done
  job "$1" "$winsim" run "$m" --script "$demo/$3" "$2"
  i=$4
  while [ $i -lt $(($4 + imports)) ]; do
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Stress\\Import%d]\r\n"n"=dword:%08x\r\n' \
      $i $i > "$work/import$i.reg"
    job "import$i" "$winsim" import "$m" "$work/import$i.reg"
    i=$((i + 1))
  done
  # The runs and imports first, then the readers.
  while [ "$(ls "$work" | grep -c '\.status$')" -lt $(($4 + imports + ${5:-1})) ]; do sleep 0.05; done
  touch "$work/stop"
  wait
}

started=$(date +%s)
round install 'D:\Kestrolin.exe' install.script 0 1
round uninstall 'C:\WINDOWS\System32\KORVANE_Wendmarrow.exe' uninstall.script $imports 2
elapsed=$(($(date +%s) - started))

# What each command reported, and what the folder holds.
if [ -s "$work/readers.log" ]; then fail "readers failed:"; head -20 "$work/readers.log"; fi
for run in install uninstall; do
  [ "$(cat "$work/$run.status")" -eq 0 ] || { fail "the $run run: exit $(cat "$work/$run.status")"; cat "$work/$run.out"; }
done
"$winsim" show "$m" > "$work/show.out" 2> "$work/show.err" || { fail "the folder does not load"; cat "$work/show.err"; }
done_imports=0
i=0
while [ $i -lt $((2 * imports)) ]; do
  if [ "$(cat "$work/import$i.status")" -eq 0 ]; then
    done_imports=$((done_imports + 1))
    contains "import $i reported done" "$work/show.out" "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Stress\\Import$i]"
  else
    contains "import $i failed" "$work/import$i.out" "in use by another winsim command"
  fi
  i=$((i + 1))
done
# The uninstaller removed what the installer made, and no import undid either run.
absent "after the uninstall" "$work/show.out" "$(echo "$uninstall_key" | sed 's/^HKLM/HKEY_LOCAL_MACHINE/')]"
leftovers=$(ls -A "$work" | grep -c 'winsim-\(new\|old\)$')
[ "$leftovers" -eq 0 ] || fail "a save left a copy beside the folder"
echo "$done_imports of $((2 * imports)) imports done, $readers readers, in ${elapsed} s"
finish "winsim concurrency test"
