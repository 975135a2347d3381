#!/usr/bin/env bash
# The shipped programs' images, as the processor question of the content scan needs them:
#   sieve_image_test.sh OBJDUMP PROGRAM.exe...
# In a 32-bit program, whose processor may lack SSE2 (a Pentium III under Windows 2000):
# no instruction on an MMX, XMM or YMM register outside the sieve's loops built for those
# instructions (NextKeptSse2, NextKeptAvx2), which run only where CPUID says so; the
# byte loop and everything else are plain x86. Such a loop that keeps a vector register on
# the stack aligns the stack first (32-bit Windows guarantees 4 bytes only). In a 64-bit
# program, where every processor has SSE2: no YMM or ZMM register kept on the stack at all
# (GCC cannot align the stack there). Each program must hold the sieve's loops, so that
# the check cannot pass on an image without them.
set -uo pipefail
objdump="$1"
shift
failures=0
for program in "$@"; do
  report="$("$objdump" -d --no-show-raw-insn -C "$program" | awk -v name="$(basename "$program")" '
    function finish() {
      if (fn != "" && stack && !aligned) {
        print "FAILED: " name ": " fn " keeps a vector register on the stack without aligning it"
        bad++
      }
    }
    /^[0-9a-f]+ <.*>:$/ {
      finish()
      fn = $0; sub(/^[0-9a-f]+ </, "", fn); sub(/>:$/, "", fn)
      sieve = fn ~ /NextKept(Sse2|Avx2|Avx512)</
      loops += sieve
      stack = 0; aligned = 0
      next
    }
    /file format pei-i386/ { bits = 32 }
    /file format pei-x86-64/ { bits = 64 }
    /\tand +\$0xf+[ef]0,%esp/ { aligned = 1 }
    {
      vector = bits == 32 ? /%[xy]?mm[0-9]/ : /%[yz]mm[0-9]/
      if (!vector) next
      onStack = /\((%esp|%ebp|%rsp|%rbp)/
      if (bits == 32 && !sieve) {
        if (outside++ < 5) print "FAILED: " name ": a vector instruction in " fn ": " $0
        bad++
      }
      if (bits == 32 && sieve) { inSieve++; if (onStack) stack = 1 }
      if (bits == 64 && onStack) {
        print "FAILED: " name ": " fn " keeps a wide register on the stack: " $0
        bad++
      }
    }
    END {
      finish()
      if (loops == 0) { print "FAILED: " name ": no sieve loops in the image"; bad++ }
      if (bits == 32 && inSieve == 0) { print "FAILED: " name ": the sieve loops hold no vector instruction"; bad++ }
      if (!bad) printf "%s: %d-bit, %d sieve loops; vector instructions %s\n", name, bits, loops,
                       bits == 32 ? "only in them (" inSieve ")" : "keep no wide register on the stack"
      exit bad != 0
    }')" || failures=$((failures + 1))
  echo "$report"
done
[[ $failures -eq 0 ]]
