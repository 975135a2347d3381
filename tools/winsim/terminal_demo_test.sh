#!/bin/sh
# The demo played in a terminal (tmux, 80x24) with the keys its screens name: through to
# its end; closing the uninstaller at once, then playing it again on the kept machine; and an uninstaller that cannot uninstall, whose long summary must fit. After
# each run the last screen holds the summary whole, and the scrollback one drawing of
# each dialog and no frame or key help of the runs.
set -u
winsim="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
. "$(dirname "$0")/test_support.sh"
if ! command -v tmux > /dev/null; then
  echo "tmux is not installed (scripts/test installs it): the terminal demo is not tested"
  exit 77
fi
scratch_folder
runs=0
socket="$work/tmux.0"
home="$work/home"
mkdir -p "$home"
stop_tmux() { tmux -S "$socket" kill-server 2> /dev/null; }
trap 'stop_tmux; rm -rf "$work"' EXIT

# start ARGS...: the demo in a new 80x24 terminal; its exit status is written after it.
# Each run has a server of its own: a new one on the socket of one that is stopping
# would fail.
start() {
  stop_tmux
  runs=$((runs + 1))
  socket="$work/tmux.$runs"
  tmux -S "$socket" new-session -d -s demo -x 80 -y 24 \
    "cd '$work' && HOME='$home' '$winsim' demo $*; echo EXIT=\$?; exec sleep 600"
}
screen() { tmux -S "$socket" capture-pane -p -t demo; }
# wait_for TEXT: until the screen shows TEXT (10 s at most); the steps after it depend
# on it, so the test ends there when it does not come.
wait_for() {
  i=0
  while [ $i -lt 100 ]; do
    if screen | grep -qF -- "$1"; then return 0; fi
    sleep 0.1
    i=$((i + 1))
  done
  fail "the screen did not show '$1':"
  screen
  finish winsim_terminal_demo
  exit 1
}
# press KEY WHEN: waits for WHEN on the screen, then types KEY (a tmux key name).
press() {
  wait_for "$1"
  tmux -S "$socket" send-keys -t demo "$2"
}
# choose LABEL: presses the button LABEL with the key the help under the dialog names
# for it: Space or Enter, or its Alt letter; where it names none but the button is there
# to be pressed, Tab moves on. Meanwhile the program may still be busy: 10 s at most.
choose() {
  i=0
  while [ $i -lt 100 ]; do
    screen > "$work/now"
    key=
    if grep -qE "(^|  )(Enter/)?Space: press $1(  |\$)" "$work/now"; then
      key=Space
    elif grep -qE "(^|  )Enter: press $1(  |\$)" "$work/now"; then
      key=Enter
    else
      letter=$(sed -n "s/.*Alt+\(.\): $1\(  .*\)\{0,1\}\$/\1/p" "$work/now" | head -n 1)
      if [ -n "$letter" ]; then
        key="M-$(printf '%s' "$letter" | tr 'A-Z' 'a-z')"
      elif grep -qE "\[ +$1 +\]" "$work/now" && grep -qF "Tab: next button" "$work/now"; then
        tmux -S "$socket" send-keys -t demo Tab
        sleep 0.2
      fi
    fi
    if [ -n "$key" ]; then
      tmux -S "$socket" send-keys -t demo "$key"
      return
    fi
    sleep 0.1
    i=$((i + 1))
  done
  fail "the screen names no key for '$1':"
  cat "$work/now"
  finish winsim_terminal_demo
  exit 1
}
# after_run NAME: the last screen in $work/NAME.screen, the scrollback in $work/NAME.all
after_run() {
  wait_for "EXIT="
  screen > "$work/$1.screen"
  tmux -S "$socket" capture-pane -p -S - -t demo > "$work/$1.all"
}
count() { grep -cF -- "$2" "$1"; }
# drawn_once NAME: one drawing of each dialog in the scrollback, and nothing of the frames
drawn_once() {
  for caption in "+- Kestrolin -" "+- PCIExpress Multi-I/O Drivers Uninstall -"; do
    n=$(count "$work/$1.all" "$caption")
    [ "$n" -eq 1 ] || fail "$1: '$caption' drawn $n times in the scrollback"
  done
  absent "$1: no frame without a window" "$work/$1.all" "(no window is open)"
  absent "$1: no key help" "$work/$1.all" "Ctrl+C: quit"
}

# ---- played through ---------------------------------------------------------------------
start
choose Install
wait_for "Installation completed"
choose Exit
press "Press Enter to start the Uninstall entry's command" Enter
choose OK
wait_for "completely uninstalled"
choose Exit
after_run through
contains "played through: exit 0" "$work/through.screen" "EXIT=0"
contains "the summary's head is on the last screen" "$work/through.screen" "== Summary (machine"
contains "the summary's end is on the last screen" "$work/through.screen" \
  "Demo done: installed and uninstalled."
# The entry is printed before the uninstaller and in the summary, broken between words
# both times (the terminal itself would break "Korvane S/emiconductor").
n=$(count "$work/through.all" "  Semiconductor Technology Ltd")
[ "$n" -eq 2 ] || fail "a name with spaces broken between words $n times, not 2"
drawn_once through
lines=$(wc -l < "$work/through.all")
[ "$lines" -le 80 ] || fail "played through: $lines lines of scrollback"

# ---- the uninstaller closed at once; the demo says so, and plays again -------------------
rm -rf "$home/.kestrolin"
start
choose Install
wait_for "Installation completed"
choose Exit
press "Press Enter to start the Uninstall entry's command" Enter
choose Exit
after_run closed
contains "closed: said plainly" "$work/closed.screen" \
  "The uninstaller was closed without uninstalling: it changed nothing"
contains "closed: how to play again" "$work/closed.screen" "Run scripts/demo to play it again"
contains "closed: exit 1" "$work/closed.screen" "EXIT=1"
absent "closed: no failure text" "$work/closed.all" "still there"
start
choose Install
wait_for "Driver for this device is already installed"
choose OK
wait_for "Installation completed"
choose Exit
press "Press Enter to start the Uninstall entry's command" Enter
choose OK
wait_for "completely uninstalled"
choose Exit
after_run again
contains "again: kept machine" "$work/again.all" "kept from"
contains "again: exit 0" "$work/again.screen" "EXIT=0"
contains "again: done" "$work/again.screen" "Demo done: installed and uninstalled."

# ---- a long summary fits on the last screen ----------------------------------------------
# On 64-bit Vista the uninstaller says it cannot uninstall: all the installer added is
# left, more than a screen holds.
start --edition vista-x64
choose Install
wait_for "Installation completed"
choose Exit
press "Press Enter to start the Uninstall entry's command" Enter
choose OK
wait_for "cannot be uninstalled on this"
choose OK
wait_for "Nothing was changed on this"
choose Exit
after_run long
contains "long: the summary's head is on the last screen" "$work/long.screen" "== Summary (machine"
contains "long: the list is cut" "$work/long.screen" "more (all in"
contains "long: the failure is said" "$work/long.screen" "still there"
contains "long: exit 1" "$work/long.screen" "EXIT=1"
contains "long: the file holds the whole list" "$home/.kestrolin/machines/vista-x64.summary.txt" \
  "The installer added"
shown=$(grep -c '^  file \|^  key ' "$work/long.screen")
whole=$(grep -c '^  file \|^  key ' "$home/.kestrolin/machines/vista-x64.summary.txt")
[ "$shown" -lt "$whole" ] || fail "long: $shown of $whole items shown"

finish winsim_terminal_demo
