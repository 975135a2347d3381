#include "file_search/text_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The sieve below works on 16 bytes at a time as the compiler's generic vector
// type: SSE2 instructions where the target has them, plain integer code where
// it has not (the 32-bit Windows build). Everything here has internal linkage,
// so the note that passing such vectors changes the ABI without SSE concerns
// no caller.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

char UpperCased(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Roughly how often a character of the upper-cased pattern turns up in INF
// text, on a small scale: letters most, then digits, blanks and the
// punctuation of sections, keys and strings, then the rest.
int Commonness(char c) {
  if (c >= 'A' && c <= 'Z') return 3;
  if (c >= '0' && c <= '9') return 2;
  if (c != '\0' && std::strchr(" \t\r\n,.=;:\"%[]{}\\_-", c)) return 2;
  return 1;
}

constexpr size_t kLanes = 16;
typedef unsigned char Lanes __attribute__((vector_size(kLanes)));
// What comparing two Lanes gives: all bits set in a lane where they agree.
typedef signed char LaneFlags __attribute__((vector_size(kLanes)));

Lanes Load(const char* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

Lanes Splat(unsigned char c) {
  Lanes v;
  for (size_t i = 0; i < kLanes; ++i) v[i] = c;
  return v;
}

// Bit i set where lane i is set.
unsigned Bits(LaneFlags flags) {
#if defined(__SSE2__)
  return static_cast<unsigned>(_mm_movemask_epi8(reinterpret_cast<__m128i>(flags)));
#else
  // The top bit of each byte of a half, gathered into its top byte by one
  // multiplication (no two partial products meet, so nothing carries).
  uint64_t half[2];
  std::memcpy(half, &flags, sizeof half);
  unsigned bits = 0;
  for (int h = 0; h < 2; ++h) {
    const uint64_t tops = half[h] & 0x8080808080808080u;
    bits |= static_cast<unsigned>((tops * 0x0002040810204081u) >> 56) << (8 * h);
  }
  return bits;
#endif
}

unsigned LowestBit(unsigned bits) {
  unsigned i = 0;
  while (!(bits & 1u)) {
    bits >>= 1;
    ++i;
  }
  return i;
}

// One character of the upper-cased pattern as the raw bytes may hold it: a
// letter in either case, any other byte as it is. OR-ing 0x20 into a byte
// gives a lower-case letter exactly for that letter's two forms.
struct CharTest {
  explicit CharTest(char upper = '\0')
      : fold(upper >= 'A' && upper <= 'Z' ? 0x20 : 0),
        value(static_cast<unsigned char>(upper | fold)),
        folds(Splat(fold)),
        values(Splat(value)) {}
  bool Holds(char c) const { return (static_cast<unsigned char>(c) | fold) == value; }
  LaneFlags In(Lanes x) const { return reinterpret_cast<LaneFlags>((x | folds) == values); }

  unsigned char fold;
  unsigned char value;
  Lanes folds;
  Lanes values;
};

LaneFlags Nul(Lanes x) { return reinterpret_cast<LaneFlags>(x == Splat(0)); }

// The upper-cased text, and a sieve for the raw bytes: the scan looks for one
// of its characters (the anchor, the least common by Commonness), and keeps
// the bytes where the characters next to it in the pattern may follow and
// precede it. The filtered text drops NUL bytes, so a neighbour is the next
// non-NUL byte either side; the sieve looks up to two bytes away (16-bit text
// puts one NUL between characters) and keeps a byte whenever it meets two NUL
// bytes instead, so it never drops a match. Each kept byte is then compared
// with the pattern in full.
class Pattern {
 public:
  explicit Pattern(const std::string& text) : upper_(text) {
    for (char& c : upper_) c = UpperCased(c);
    holdsNul_ = upper_.find('\0') != std::string::npos;
    for (size_t i = 1; i < upper_.size(); ++i)
      if (Commonness(upper_[i]) <= Commonness(upper_[anchor_])) anchor_ = i;
    anchor = CharTest(upper_[anchor_]);
    if (anchor_ > 0) before = CharTest(upper_[anchor_ - 1]);
    if (anchor_ + 1 < upper_.size()) after = CharTest(upper_[anchor_ + 1]);
  }

  const std::string& upper() const { return upper_; }
  size_t size() const { return upper_.size(); }
  // The filtered text holds no NUL byte, so such a pattern is never found.
  bool holdsNul() const { return holdsNul_; }

  // The last byte of the first match that lies wholly in [begin, end), or null.
  const char* FindIn(const char* begin, const char* end) const {
    const size_t size = static_cast<size_t>(end - begin);
    // The sieve reads two bytes either side of its block.
    size_t i = 0;
    for (; i < std::min<size_t>(2, size); ++i)
      if (const char* last = TryByte(begin, end, begin + i)) return last;
    for (; i + kLanes + 2 <= size; i += kLanes) {
      const char* const block = begin + i;
      unsigned bits = Bits(anchor.In(Load(block)));
      if (!bits) continue;
      bits &= Bits(Neighbours(block));
      for (; bits; bits &= bits - 1) {
        if (const char* last = MatchAround(begin, end, block + LowestBit(bits))) return last;
      }
    }
    for (; i < size; ++i)
      if (const char* last = TryByte(begin, end, begin + i)) return last;
    return nullptr;
  }

 private:
  // The bytes of a block around which the neighbours of the anchor may lie.
  LaneFlags Neighbours(const char* block) const {
    LaneFlags keep = ~LaneFlags{};
    if (anchor_ > 0) {
      const Lanes one = Load(block - 1), two = Load(block - 2);
      keep &= before.In(one) | (Nul(one) & (before.In(two) | Nul(two)));
    }
    if (anchor_ + 1 < upper_.size()) {
      const Lanes one = Load(block + 1), two = Load(block + 2);
      keep &= after.In(one) | (Nul(one) & (after.In(two) | Nul(two)));
    }
    return keep;
  }

  const char* TryByte(const char* begin, const char* end, const char* p) const {
    return anchor.Holds(*p) ? MatchAround(begin, end, p) : nullptr;
  }

  // With the anchor character at p: the last byte of the match, when the
  // non-NUL bytes around p within [begin, end) spell the pattern; else null.
  const char* MatchAround(const char* begin, const char* end, const char* p) const {
    const char* q = p;
    for (size_t i = anchor_; i > 0;) {
      do {
        if (q == begin) return nullptr;
        --q;
      } while (*q == '\0');
      if (UpperCased(*q) != upper_[--i]) return nullptr;
    }
    q = p;
    for (size_t i = anchor_ + 1; i < upper_.size(); ++i) {
      do {
        if (++q == end) return nullptr;
      } while (*q == '\0');
      if (UpperCased(*q) != upper_[i]) return nullptr;
    }
    return q;
  }

  std::string upper_;
  bool holdsNul_ = false;
  size_t anchor_ = 0;
  CharTest anchor, before, after;
};

// The filtered text's last L characters before the bytes at hand (L spaces
// before the file), and the matches that take characters from both sides of
// the border between them and the next span of bytes.
class Border {
 public:
  explicit Border(const Pattern& pattern) : pattern_(pattern), tail_(pattern.size(), ' ') {
    joined_.reserve(2 * pattern.size());
    offsets_.reserve(pattern.size());
  }

  // Whether the text behind the border, with the first characters of
  // [begin, end), holds the pattern; if so, sets `*last` to the byte of
  // [begin, end) that ends it (begin when the characters before the border
  // hold it alone: only the L spaces before the file can).
  bool Find(const char* begin, const char* end, const char** last) {
    const size_t length = pattern_.size();
    joined_.assign(tail_);
    offsets_.clear();
    for (const char* p = begin; p != end && offsets_.size() + 1 < length; ++p) {
      if (*p == '\0') continue;
      joined_ += UpperCased(*p);
      offsets_.push_back(p);
    }
    const size_t at = joined_.find(pattern_.upper());
    if (at == std::string::npos) return false;
    const size_t lastCharacter = at + length - 1;
    *last = lastCharacter < length ? begin : offsets_[lastCharacter - length];
    return true;
  }

  // Moves the border behind [begin, end): their last L non-NUL bytes,
  // upper-cased, end the tail, and what they leave of it keeps the older
  // characters.
  void Pass(const char* begin, const char* end) {
    const size_t length = tail_.size();
    size_t kept = 0;
    joined_.assign(length, ' ');
    for (const char* p = end; p != begin && kept < length;) {
      --p;
      if (*p != '\0') joined_[length - ++kept] = UpperCased(*p);
    }
    tail_.erase(0, kept);
    tail_.append(joined_, length - kept, kept);
  }

 private:
  const Pattern& pattern_;
  std::string tail_;
  std::string joined_;
  std::vector<const char*> offsets_;
};

}  // namespace

// The file's bytes come in spans, as the read-ahead buffer holds them. A match
// either lies wholly in one span, where the sieve finds it, or takes characters
// from before the span's start, where the border finds it; the border's
// matches end before any of the span's own. The cycle that ends the scan is the
// one that holds the match's last byte, or the first short one; the cycles that
// a span completes are counted before the next read.
bool ScanForText(ReadAheadFile& file, const std::string& text, CycleCounter& cycles) {
  const Pattern pattern(text);
  const size_t readSize = std::max<size_t>(2 * text.size(), 128) - text.size();
  Border border(pattern);
  uint64_t offset = 0;   // of the span's first byte in the file
  uint64_t counted = 0;  // cycles counted so far
  for (;;) {
    const char* bytes = nullptr;
    size_t got = 0;
    if (!file.Next(SIZE_MAX, &bytes, &got)) return false;
    const char* const end = bytes + got;
    const char* last = nullptr;
    if (!pattern.holdsNul() &&
        (border.Find(bytes, end, &last) || (last = pattern.FindIn(bytes, end)) != nullptr)) {
      const uint64_t lastByte = offset + static_cast<uint64_t>(last - bytes);
      cycles.Add(static_cast<size_t>(lastByte / readSize + 1 - counted));
      return true;
    }
    offset += got;
    if (got == 0) {
      cycles.Add(static_cast<size_t>(offset / readSize + 1 - counted));
      return false;
    }
    cycles.Add(static_cast<size_t>(offset / readSize - counted));
    counted = offset / readSize;
    border.Pass(bytes, end);
  }
}
