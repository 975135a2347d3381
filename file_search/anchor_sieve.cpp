#include "file_search/anchor_sieve.h"

#include <initializer_list>

// The one place that asks which processor this build is for. On x86, GCC and clang
// build a function for instructions the rest of the program does not assume (a
// target attribute), so the wide sieves are in every x86 build and run where the
// processor and the system say so; the 64-byte one in 64-bit builds only.
#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
#define KESTROLIN_SIEVE_X86 1
#include <cpuid.h>
#include <immintrin.h>
#define KESTROLIN_SIEVE_INLINE(isa) __attribute__((target(isa), always_inline)) inline
#if defined(__x86_64__)
#define KESTROLIN_SIEVE_AVX512 1
#define KESTROLIN_SIEVE_FOR(isa) __attribute__((target(isa)))
#else
#define KESTROLIN_SIEVE_AVX512 0
// 32-bit Windows calls a program's code (a thread's start, a window procedure) on a
// stack aligned to 4 bytes only: a function that may keep 16- or 32-byte registers
// on the stack aligns it first.
#define KESTROLIN_SIEVE_FOR(isa) __attribute__((target(isa), force_align_arg_pointer))
#endif
#else
#define KESTROLIN_SIEVE_X86 0
#define KESTROLIN_SIEVE_AVX512 0
#endif

namespace {

constexpr bool kBuiltX86 = KESTROLIN_SIEVE_X86 == 1;
constexpr bool kBuiltAvx512 = KESTROLIN_SIEVE_AVX512 == 1;

bool Is(unsigned char b, uint8_t fold, uint8_t value) { return (b | fold) == value; }

uint32_t NextKeptByte(const SieveChars& c, const unsigned char* p, size_t size, size_t* at) {
  size_t i = *at;
  for (; i + 3 <= size; ++i) {
    if (!Is(p[i], c.anchorFold, c.anchorValue)) continue;
    if (c.side != 0) {
      const unsigned char one = p[i + c.side], two = p[i + 2 * c.side];
      if (!Is(one, c.neighbourFold, c.neighbourValue) &&
          !Is(two, c.neighbourFold, c.neighbourValue) && two != 0) {
        continue;
      }
    }
    *at = i;
    return 1;
  }
  *at = i;
  return 0;
}

// The wide sieves keep a place where a byte is zero in
//   (x0 ^ anchor) | min((x1 ^ neighbour), (x2 ^ neighbour), x2)
// (each byte letter-folded first where its character is a letter): the anchor at
// the place, and the neighbour one or two bytes away or a NUL two away. Two blocks
// a step (four for the 64-byte sieve), so that one test of them all serves most
// steps. Without a neighbour, the anchor's own byte stands in for it (a test that
// passes where the anchor does).
SieveChars WithNeighbour(const SieveChars& c) {
  SieveChars chars = c;
  if (chars.side == 0) {
    chars.neighbourFold = chars.anchorFold;
    chars.neighbourValue = chars.anchorValue;
  }
  return chars;
}

#if KESTROLIN_SIEVE_X86
// Zero where kept, for the 16 bytes at `block`.
template <bool kFoldAnchor, bool kFoldNeighbour>
KESTROLIN_SIEVE_INLINE("sse2")
__m128i AwaySse2(const char* block, ptrdiff_t one, __m128i anchorFold, __m128i anchorValue,
                 __m128i fold, __m128i value) {
  __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
  __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + one));
  const __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 2 * one));
  __m128i f2 = x2;
  if (kFoldAnchor) x0 = _mm_or_si128(x0, anchorFold);
  if (kFoldNeighbour) {
    x1 = _mm_or_si128(x1, fold);
    f2 = _mm_or_si128(f2, fold);
  }
  const __m128i near =
      _mm_min_epu8(_mm_min_epu8(_mm_xor_si128(x1, value), _mm_xor_si128(f2, value)), x2);
  return _mm_or_si128(_mm_xor_si128(x0, anchorValue), near);
}

KESTROLIN_SIEVE_INLINE("sse2") uint32_t KeptSse2(__m128i away) {
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(away, _mm_setzero_si128())));
}

template <bool kFoldAnchor, bool kFoldNeighbour>
KESTROLIN_SIEVE_FOR("sse2")
uint64_t NextKeptSse2(const SieveChars& c, const char* p, size_t size, size_t* at) {
  const __m128i anchorFold = _mm_set1_epi8(static_cast<char>(c.anchorFold));
  const __m128i anchorValue = _mm_set1_epi8(static_cast<char>(c.anchorValue));
  const __m128i fold = _mm_set1_epi8(static_cast<char>(c.neighbourFold));
  const __m128i value = _mm_set1_epi8(static_cast<char>(c.neighbourValue));
  const ptrdiff_t one = c.side;
  size_t i = *at;
  for (; i + 32 + 2 <= size; i += 32) {
    const __m128i first =
        AwaySse2<kFoldAnchor, kFoldNeighbour>(p + i, one, anchorFold, anchorValue, fold, value);
    const __m128i second = AwaySse2<kFoldAnchor, kFoldNeighbour>(p + i + 16, one, anchorFold,
                                                                 anchorValue, fold, value);
    if (!KeptSse2(_mm_min_epu8(first, second))) continue;
    if (const uint32_t bits = KeptSse2(first)) {
      *at = i;
      return bits;
    }
    *at = i + 16;
    return KeptSse2(second);
  }
  for (; i + 16 + 2 <= size; i += 16) {
    const uint32_t bits = KeptSse2(
        AwaySse2<kFoldAnchor, kFoldNeighbour>(p + i, one, anchorFold, anchorValue, fold, value));
    if (bits) {
      *at = i;
      return bits;
    }
  }
  *at = i;
  return 0;
}

// Zero where kept, for the 32 bytes at `block`.
template <bool kFoldAnchor, bool kFoldNeighbour>
KESTROLIN_SIEVE_INLINE("avx2")
__m256i AwayAvx2(const char* block, ptrdiff_t one, __m256i anchorFold, __m256i anchorValue,
                 __m256i fold, __m256i value) {
  __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
  __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + one));
  const __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 2 * one));
  __m256i f2 = x2;
  if (kFoldAnchor) x0 = _mm256_or_si256(x0, anchorFold);
  if (kFoldNeighbour) {
    x1 = _mm256_or_si256(x1, fold);
    f2 = _mm256_or_si256(f2, fold);
  }
  const __m256i near = _mm256_min_epu8(
      _mm256_min_epu8(_mm256_xor_si256(x1, value), _mm256_xor_si256(f2, value)), x2);
  return _mm256_or_si256(_mm256_xor_si256(x0, anchorValue), near);
}

KESTROLIN_SIEVE_INLINE("avx2") uint32_t KeptAvx2(__m256i away) {
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(away, _mm256_setzero_si256())));
}

template <bool kFoldAnchor, bool kFoldNeighbour>
KESTROLIN_SIEVE_FOR("avx2")
uint64_t NextKeptAvx2(const SieveChars& c, const char* p, size_t size, size_t* at) {
  const __m256i anchorFold = _mm256_set1_epi8(static_cast<char>(c.anchorFold));
  const __m256i anchorValue = _mm256_set1_epi8(static_cast<char>(c.anchorValue));
  const __m256i fold = _mm256_set1_epi8(static_cast<char>(c.neighbourFold));
  const __m256i value = _mm256_set1_epi8(static_cast<char>(c.neighbourValue));
  const ptrdiff_t one = c.side;
  size_t i = *at;
  for (; i + 64 + 2 <= size; i += 64) {
    const __m256i first =
        AwayAvx2<kFoldAnchor, kFoldNeighbour>(p + i, one, anchorFold, anchorValue, fold, value);
    const __m256i second = AwayAvx2<kFoldAnchor, kFoldNeighbour>(p + i + 32, one, anchorFold,
                                                                 anchorValue, fold, value);
    if (!KeptAvx2(_mm256_min_epu8(first, second))) continue;
    if (const uint32_t bits = KeptAvx2(first)) {
      *at = i;
      return bits;
    }
    *at = i + 32;
    return KeptAvx2(second);
  }
  for (; i + 32 + 2 <= size; i += 32) {
    const uint32_t bits = KeptAvx2(
        AwayAvx2<kFoldAnchor, kFoldNeighbour>(p + i, one, anchorFold, anchorValue, fold, value));
    if (bits) {
      *at = i;
      return bits;
    }
  }
  *at = i;
  return 0;
}
#endif

#if KESTROLIN_SIEVE_AVX512
// Zero where kept, for the 64 bytes at `block`, in three-input logic steps (a
// compare into a mask register costs as much as three of them: this takes a third
// less time than four such compares a block).
template <bool kFoldAnchor>
__attribute__((target("avx512f,avx512bw"), always_inline)) inline __m512i AwayAvx512(
    const char* block, ptrdiff_t one, __m512i anchorFold, __m512i anchorValue, __m512i fold,
    __m512i value) {
  constexpr int kA = 0xf0, kB = 0xcc, kC = 0xaa;  // the operands' truth tables
  __m512i x0 = _mm512_loadu_si512(block);
  const __m512i x1 = _mm512_loadu_si512(block + one);
  const __m512i x2 = _mm512_loadu_si512(block + 2 * one);
  if (kFoldAnchor) x0 = _mm512_or_si512(x0, anchorFold);
  // (x | fold) ^ value: a fold of 0 costs nothing here.
  const __m512i away1 = _mm512_ternarylogic_epi32(x1, fold, value, (kA | kB) ^ kC);
  const __m512i away2 = _mm512_ternarylogic_epi32(x2, fold, value, (kA | kB) ^ kC);
  const __m512i near = _mm512_min_epu8(_mm512_min_epu8(away1, away2), x2);
  return _mm512_ternarylogic_epi32(x0, anchorValue, near, (kA ^ kB) | kC);
}

__attribute__((target("avx512f,avx512bw"), always_inline)) inline uint64_t KeptAvx512(
    __m512i away) {
  return _mm512_testn_epi8_mask(away, away);
}

template <bool kFoldAnchor>
__attribute__((target("avx512f,avx512bw"))) uint64_t NextKeptAvx512(const SieveChars& c,
                                                                    const char* p, size_t size,
                                                                    size_t* at) {
  const __m512i anchorFold = _mm512_set1_epi8(static_cast<char>(c.anchorFold));
  const __m512i anchorValue = _mm512_set1_epi8(static_cast<char>(c.anchorValue));
  const __m512i fold = _mm512_set1_epi8(static_cast<char>(c.neighbourFold));
  const __m512i value = _mm512_set1_epi8(static_cast<char>(c.neighbourValue));
  const ptrdiff_t one = c.side;
#define KESTROLIN_AWAY(i) \
  AwayAvx512<kFoldAnchor>(p + (i), one, anchorFold, anchorValue, fold, value)
  size_t i = *at;
  for (; i + 256 + 2 <= size; i += 256) {
    const __m512i least =
        _mm512_min_epu8(_mm512_min_epu8(KESTROLIN_AWAY(i), KESTROLIN_AWAY(i + 64)),
                        _mm512_min_epu8(KESTROLIN_AWAY(i + 128), KESTROLIN_AWAY(i + 192)));
    if (KeptAvx512(least)) break;  // the loop below finds which of the four keeps it
  }
  for (; i + 64 + 2 <= size; i += 64) {
    if (const uint64_t kept = KeptAvx512(KESTROLIN_AWAY(i))) {
      *at = i;
      return kept;
    }
  }
  *at = i;
  return 0;
#undef KESTROLIN_AWAY
}

#endif

typedef uint64_t (*SieveLoop)(const SieveChars& c, const char* p, size_t size, size_t* at);

// One width's loops, [anchor folded][neighbour folded]: OR-ing a fold of 0 into
// every byte would cost an instruction for nothing.
template <template <bool, bool> class Loops>
uint64_t ForCharacters(const SieveChars& c, const char* p, size_t size, size_t* at) {
  static const SieveLoop loops[2][2] = {{Loops<false, false>::kLoop, Loops<false, true>::kLoop},
                                        {Loops<true, false>::kLoop, Loops<true, true>::kLoop}};
  const SieveChars chars = WithNeighbour(c);
  return loops[chars.anchorFold != 0][chars.neighbourFold != 0](chars, p, size, at);
}

#if KESTROLIN_SIEVE_X86
template <bool kFoldAnchor, bool kFoldNeighbour>
struct Sse2Loops {
  static constexpr SieveLoop kLoop = NextKeptSse2<kFoldAnchor, kFoldNeighbour>;
};
template <bool kFoldAnchor, bool kFoldNeighbour>
struct Avx2Loops {
  static constexpr SieveLoop kLoop = NextKeptAvx2<kFoldAnchor, kFoldNeighbour>;
};
#endif
#if KESTROLIN_SIEVE_AVX512
// Its neighbour's fold costs nothing: one loop serves both.
template <bool kFoldAnchor, bool>
struct Avx512Loops {
  static constexpr SieveLoop kLoop = NextKeptAvx512<kFoldAnchor>;
};
#endif

}  // namespace

SieveChars SieveChars::For(char anchor, char neighbour, int side) {
  auto fold = [](char c) -> uint8_t { return c >= 'A' && c <= 'Z' ? 0x20 : 0; };
  SieveChars chars;
  chars.anchorFold = fold(anchor);
  chars.anchorValue = static_cast<uint8_t>(static_cast<uint8_t>(anchor) | chars.anchorFold);
  chars.side = side;
  if (side != 0) {
    chars.neighbourFold = fold(neighbour);
    chars.neighbourValue =
        static_cast<uint8_t>(static_cast<uint8_t>(neighbour) | chars.neighbourFold);
  }
  return chars;
}

ProcessorFeatures ProcessorFeatures::OfThisProcessor() {
  ProcessorFeatures features;
#if KESTROLIN_SIEVE_X86
  unsigned a = 0, b = 0, c = 0, d = 0;
  // __get_cpuid first asks whether there is a CPUID instruction (a 486 may lack it)
  // and the leaf.
  if (__get_cpuid(1, &a, &b, &c, &d)) {
    features.leaf1Ecx = c;
    features.leaf1Edx = d;
  }
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) features.leaf7Ebx = b;
  // XGETBV faults unless the system set OSXSAVE.
  if (features.leaf1Ecx & (1u << 27)) {
    unsigned low = 0, high = 0;
    __asm__ __volatile__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    features.xcr0 = (static_cast<uint64_t>(high) << 32) | low;
  }
#endif
  return features;
}

bool SieveRunsOn(SieveWidth width, const ProcessorFeatures& features) {
  constexpr uint32_t kSse2 = 1u << 26;                                            // leaf 1, EDX
  constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;                        // leaf 1, ECX
  constexpr uint32_t kAvx2 = 1u << 5, kAvx512f = 1u << 16, kAvx512bw = 1u << 30;  // leaf 7, EBX
  // XCR0: the 16-byte and 32-byte registers; the mask registers and the 64-byte ones.
  constexpr uint64_t kSavesYmm = 0x6, kSavesZmm = 0xe6;
  auto saves = [&](uint64_t state) {
    return (features.leaf1Ecx & kOsxsave) != 0 && (features.xcr0 & state) == state;
  };
  auto has = [](uint32_t bits, uint32_t wanted) { return (bits & wanted) == wanted; };
  switch (width) {
    case SieveWidth::kBytes:
      return true;
    case SieveWidth::kSse2:
      return kBuiltX86 && has(features.leaf1Edx, kSse2);
    case SieveWidth::kAvx2:
      return kBuiltX86 && has(features.leaf1Ecx, kAvx) && has(features.leaf7Ebx, kAvx2) &&
             saves(kSavesYmm);
    case SieveWidth::kAvx512:
      return kBuiltAvx512 && has(features.leaf7Ebx, kAvx512f | kAvx512bw) && saves(kSavesZmm);
  }
  return false;
}

SieveWidth WidestSieveFor(const ProcessorFeatures& features) {
  for (SieveWidth width : {SieveWidth::kAvx512, SieveWidth::kAvx2, SieveWidth::kSse2})
    if (SieveRunsOn(width, features)) return width;
  return SieveWidth::kBytes;
}

SieveWidth WidestSieve() {
  static const SieveWidth widest = WidestSieveFor(ProcessorFeatures::OfThisProcessor());
  return widest;
}

bool SieveRuns(SieveWidth width) {
  static const ProcessorFeatures features = ProcessorFeatures::OfThisProcessor();
  return SieveRunsOn(width, features);
}

uint64_t NextKeptBlock(SieveWidth width, const SieveChars& chars, const char* bytes, size_t size,
                       size_t* at) {
  switch (width) {
#if KESTROLIN_SIEVE_AVX512
    case SieveWidth::kAvx512:
      return ForCharacters<Avx512Loops>(chars, bytes, size, at);
#endif
#if KESTROLIN_SIEVE_X86
    case SieveWidth::kAvx2:
      return ForCharacters<Avx2Loops>(chars, bytes, size, at);
    case SieveWidth::kSse2:
      return ForCharacters<Sse2Loops>(chars, bytes, size, at);
#endif
    default:
      return NextKeptByte(chars, reinterpret_cast<const unsigned char*>(bytes), size, at);
  }
}
