# What the winsim end-to-end tests share, sourced by each: the scratch folder $work,
# the failure count, checks that count a failure and say what it was, and the verdict.

# scratch_folder [KEEP_DIR]: $work is KEEP_DIR, kept afterwards, or a new folder removed
# on exit. Without a folder the tests would write below the root, so none stops them.
scratch_folder() {
  if [ -n "${1:-}" ]; then
    work="$1"
    mkdir -p "$work" || { echo "FAIL: cannot make $work"; exit 1; }
  else
    if ! work=$(mktemp -d) || [ ! -d "$work" ]; then
      echo "FAIL: no scratch folder"
      exit 1
    fi
    trap 'rm -rf "$work"' EXIT
  fi
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

check() {  # check WHAT EXPECTED-EXIT COMMAND...: its output in $work/out and $work/err
  what="$1"; expected="$2"; shift 2
  "$@" > "$work/out" 2> "$work/err"
  actual=$?
  if [ "$actual" -ne "$expected" ]; then
    fail "$what: exit $actual, expected $expected"; cat "$work/err"
  fi
}
contains() {  # contains WHAT FILE TEXT
  if ! grep -qF -- "$3" "$2"; then
    fail "$1: '$3' not in $2:"; head -40 "$2"
  fi
}
absent() {  # absent WHAT FILE TEXT
  if grep -qF -- "$3" "$2"; then fail "$1: '$3' in $2"; fi
}

finish() {  # finish TEST-NAME: its verdict, and the exit status that carries it
  echo "$1: $failures failed"
  [ "$failures" -eq 0 ]
}
