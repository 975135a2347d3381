// The 32-bit build's sieve where CPUID says there is no SSE2 (a Pentium III, which
// Windows 2000 supports): the byte loop is chosen, and while the sieve runs with that
// choice no MMX, SSE or AVX instruction runs. Every instruction of the run is single-
// stepped (the trap flag) and decoded far enough to tell those from the rest; as a
// check on the tracer itself, a run of the 16-byte sieve, where this processor has
// it, shows its SSE2 instructions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "file_search/anchor_sieve.h"
#include "platform/win32.h"

namespace {

volatile bool g_tracing = false;
volatile long g_steps = 0;
volatile long g_vectorSteps = 0;

// Whether the instruction at `ip` works on MMX, XMM, YMM or ZMM registers: a VEX or
// EVEX instruction (in 32-bit code C4, C5 and 62 are those only with register
// operands' top bits set), or one of the two-byte opcodes of those sets (0F 10-17,
// 0F 28-2F, 0F 38 and 0F 3A, 0F 50-7F, 0F C2-C6, 0F D0-FF), after legacy prefixes.
bool IsVectorInstruction(const unsigned char* ip) {
  while (*ip == 0x66 || *ip == 0xf2 || *ip == 0xf3 || *ip == 0x2e || *ip == 0x36 || *ip == 0x3e ||
         *ip == 0x26 || *ip == 0x64 || *ip == 0x65 || *ip == 0xf0 || *ip == 0x67)
    ++ip;
  if ((ip[0] == 0xc4 || ip[0] == 0xc5 || ip[0] == 0x62) && (ip[1] & 0xc0) == 0xc0) return true;
  if (ip[0] != 0x0f) return false;
  const unsigned char op = ip[1];
  return (op >= 0x10 && op <= 0x17) || (op >= 0x28 && op <= 0x2f) || op == 0x38 || op == 0x3a ||
         (op >= 0x50 && op <= 0x7f) || (op >= 0xc2 && op <= 0xc6) || op >= 0xd0;
}

LONG CALLBACK Step(EXCEPTION_POINTERS* e) {
  if (e->ExceptionRecord->ExceptionCode != EXCEPTION_SINGLE_STEP) return EXCEPTION_CONTINUE_SEARCH;
  if (!g_tracing) return EXCEPTION_CONTINUE_EXECUTION;
  ++g_steps;
  if (IsVectorInstruction(reinterpret_cast<const unsigned char*>(e->ContextRecord->Eip)))
    ++g_vectorSteps;
  e->ContextRecord->EFlags |= 0x100;  // the trap flag again, for the next instruction
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Runs the sieve of `width` over `bytes` from its start to its end, each instruction
// single-stepped (nothing else runs meanwhile: no call but the sieve's); how many
// blocks had kept places.
int TracedKeptBlocks(SieveWidth width, const SieveChars& chars, const std::string& bytes) {
  PVOID handler = AddVectoredExceptionHandler(1, Step);
  g_steps = 0;
  g_vectorSteps = 0;
  int blocks = 0;
  g_tracing = true;
  __asm__ __volatile__("pushfl; orl $0x100, (%%esp); popfl" ::: "memory", "cc");
  size_t at = 2;
  while (NextKeptBlock(width, chars, bytes.data(), bytes.size(), &at) != 0) {
    ++blocks;
    at += static_cast<size_t>(width);
  }
  g_tracing = false;
  RemoveVectoredExceptionHandler(handler);
  return blocks;
}

TEST(SieveTrace, WithoutSse2TheByteLoopRunsAndNoVectorInstruction) {
  ProcessorFeatures pentium3;
  pentium3.leaf1Edx = 1u << 25;  // SSE, no SSE2
  const SieveWidth width = WidestSieveFor(pentium3);
  ASSERT_EQ(1, static_cast<int>(width)) << "the byte loop is not chosen";
  // 8-bit and 16-bit text with the anchor and its neighbour in both letter cases.
  std::string bytes;
  for (int i = 0; i < 40; ++i) bytes += i % 2 ? "..c&.x&..." : std::string("C\0&\0-\0", 6);
  const SieveChars chars = SieveChars::For('&', 'C', -1);

  EXPECT_GT(TracedKeptBlocks(width, chars, bytes), 0);
  const long byteLoopSteps = g_steps;
  EXPECT_GT(byteLoopSteps, 1000) << "the tracer saw too few steps";
  EXPECT_EQ(0, g_vectorSteps) << "of " << byteLoopSteps << " instructions";
  std::printf("traced: %ld instructions of the byte loop, %ld of them MMX, SSE or AVX\n",
              byteLoopSteps, static_cast<long>(g_vectorSteps));

  if (!SieveRuns(SieveWidth::kSse2)) return;
  EXPECT_GT(TracedKeptBlocks(SieveWidth::kSse2, chars, bytes), 0);
  std::printf("traced: %ld instructions of the 16-byte sieve, %ld of them SSE2\n",
              static_cast<long>(g_steps), static_cast<long>(g_vectorSteps));
  EXPECT_GT(g_vectorSteps, 10) << "the tracer does not see SSE2 instructions";
}

}  // namespace
