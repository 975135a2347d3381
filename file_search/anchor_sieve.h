// The content scan's first pass over a file's raw bytes: the places where one
// character of the pattern (the anchor) stands, in either letter case, with its
// neighbour in the pattern next to it. The scan drops NUL bytes before it
// compares, so the neighbour is the nearest non-NUL byte on its side; the sieve
// looks one and two bytes away (16-bit text puts a NUL between characters) and
// keeps the place whenever the byte two away is NUL, so it never drops a place
// where the pattern lies. What it keeps is compared with the pattern in full.
#pragma once

#include <cstddef>
#include <cstdint>

// The characters a sieve looks for, as raw bytes: a byte b is the character when
// (b | fold) == value (fold 0x20 for a letter, so both cases pass).
struct SieveChars {
  uint8_t anchorFold = 0, anchorValue = 0;
  uint8_t neighbourFold = 0, neighbourValue = 0;
  int side = 0;  // where the neighbour stands: -1 before the anchor, 1 after, 0 none

  // The characters for `anchor` and the neighbour on `side`, both upper-cased.
  static SieveChars For(char anchor, char neighbour, int side);
};

// How many bytes a sieve takes in one step: one by one, or 16, 32 or 64 at a time
// where the processor has the instructions.
enum class SieveWidth { kBytes = 1, kSse2 = 16, kAvx2 = 32, kAvx512 = 64 };

// What the processor and the system say about the instructions a sieve needs, as
// CPUID and XGETBV answer. A processor may have instructions whose registers the
// system does not save on a thread switch (XP and Server 2003 never save the 32-
// and 64-byte ones): XCR0 names those it saves, and is asked only where CPUID's
// OSXSAVE bit says the system allows the question.
struct ProcessorFeatures {
  uint32_t leaf1Ecx = 0, leaf1Edx = 0;  // CPUID leaf 1
  uint32_t leaf7Ebx = 0;                // CPUID leaf 7, sub-leaf 0; 0 without that leaf
  uint64_t xcr0 = 0;                    // XGETBV(0); 0 without OSXSAVE

  // This processor's answers (all 0 where this build's processor has no CPUID).
  static ProcessorFeatures OfThisProcessor();
};

// Whether this build has a sieve of that width and a processor and system with
// these features run it (the byte loop always).
bool SieveRunsOn(SieveWidth width, const ProcessorFeatures& features);
// The widest sieve that runs there.
SieveWidth WidestSieveFor(const ProcessorFeatures& features);

// The widest sieve this processor runs (asked once).
SieveWidth WidestSieve();
// Whether this processor (and this build) runs a sieve of that width.
bool SieveRuns(SieveWidth width);

// Looks for kept places in blocks of `width` bytes of bytes[0, size), from the
// block at `*at` on (`*at` at least 2), while a block and the two bytes behind it
// lie within the bytes. Returns the kept places of the first block that has some,
// as bits (bit i for byte *at + i), with `*at` on that block; 0 when no block has
// any, with `*at` on the first byte no block covered. `width` must be one that
// runs here.
uint64_t NextKeptBlock(SieveWidth width, const SieveChars& chars, const char* bytes, size_t size,
                       size_t* at);
