#include "file_search/upper_cased_copy.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kHighBits = 0x8080808080808080u;
// The first byte of each 16-bit character, little-endian.
constexpr uint64_t kFirstBytes = 0x00FF00FF00FF00FFu;
constexpr uint64_t kNearlyHalfOfEachPair = 0x7FFF7FFF7FFF7FFFu;
constexpr uint64_t kTopBitOfEachPair = 0x8000800080008000u;

// Eight bytes as one number, the first in the lowest byte, on any host; the
// compiler makes each of these one load or store.
uint64_t Load8(const unsigned char* p) {
  return static_cast<uint64_t>(p[0]) | static_cast<uint64_t>(p[1]) << 8 |
         static_cast<uint64_t>(p[2]) << 16 | static_cast<uint64_t>(p[3]) << 24 |
         static_cast<uint64_t>(p[4]) << 32 | static_cast<uint64_t>(p[5]) << 40 |
         static_cast<uint64_t>(p[6]) << 48 | static_cast<uint64_t>(p[7]) << 56;
}

void Store4(unsigned char* p, uint64_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

void Store8(unsigned char* p, uint64_t v) {
  Store4(p, v);
  Store4(p + 4, v >> 32);
}

bool HasNulByte(uint64_t x) { return ((x - kOnes) & ~x & kHighBits) != 0; }

// Each byte from 'a' to 'z' minus 0x20, the others unchanged. A byte's low
// seven bits plus a constant set its top bit exactly when they reach 'a', or
// pass 'z'; no sum carries into the next byte. Bytes from 0x80 up are left out.
uint64_t UpperCased(uint64_t x) {
  const uint64_t low7 = x & ~kHighBits;
  const uint64_t fromA = low7 + kOnes * (0x80 - 'a');
  const uint64_t pastZ = low7 + kOnes * (0x7F - 'z');
  const uint64_t lower = fromA & ~pastZ & ~x & kHighBits;
  return x ^ (lower >> 2);
}

// Whether x is four 16-bit characters, each a non-NUL first byte and a NUL
// second byte. Adding 0x7FFF to a pair below 0x100 sets its top bit exactly when
// the pair is not 0.
bool IsFourNarrowCharacters(uint64_t x) {
  return (x & ~kFirstBytes) == 0 &&
         ((x + kNearlyHalfOfEachPair) & kTopBitOfEachPair) == kTopBitOfEachPair;
}

// The first bytes of four 16-bit characters (as IsFourNarrowCharacters
// accepts), side by side in the low four bytes.
uint64_t FirstBytesOfPairs(uint64_t x) {
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFFu;
  return (x | (x >> 16)) & 0x00000000FFFFFFFFu;
}

struct UpperCaseTable {
  unsigned char of[256];
  constexpr UpperCaseTable() : of() {
    for (int c = 0; c < 256; ++c)
      of[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
};
constexpr UpperCaseTable kUpperCase;

// Byte by byte: every byte is written where the next kept one goes, and the
// write position moves on only for a byte that is kept, so the loop has no
// branch to mispredict on mixed bytes.
unsigned char* CopyBytes(const unsigned char* in, const unsigned char* end, unsigned char* out) {
  for (; in != end; ++in) {
    const unsigned char c = *in;
    *out = kUpperCase.of[c];
    out += c != 0;
  }
  return out;
}

}  // namespace

char* CopyUpperCasedWithoutNuls(const char* from, const char* to, char* out) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(from);
  const unsigned char* const end = reinterpret_cast<const unsigned char*>(to);
  unsigned char* o = reinterpret_cast<unsigned char*>(out);
  while (end - in >= 8) {
    const uint64_t x = Load8(in);
    if (!HasNulByte(x)) {
      Store8(o, UpperCased(x));
      o += 8;
    } else if (IsFourNarrowCharacters(x)) {
      Store4(o, UpperCased(FirstBytesOfPairs(x)));
      o += 4;
    } else if (IsFourNarrowCharacters(x >> 8) && (x & 0xFF) == 0) {
      // 16-bit characters that start on the other byte: the NUL comes first.
      Store4(o, UpperCased(FirstBytesOfPairs(x >> 8)));
      o += 4;
    } else {
      o = CopyBytes(in, in + 8, o);
    }
    in += 8;
  }
  return reinterpret_cast<char*>(CopyBytes(in, end, o));
}
