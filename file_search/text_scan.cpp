#include "file_search/text_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "file_search/upper_cased_copy.h"

namespace {

char UpperCased(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Roughly how often a character of the upper-cased pattern turns up in INF
// text, on a small scale: letters most (and they are looked for in both
// cases), then digits, blanks and the punctuation of sections, keys and
// strings, then the rest.
int Commonness(char c) {
  if (c >= 'A' && c <= 'Z') return 3;
  if (c >= '0' && c <= '9') return 2;
  if (c != '\0' && std::strchr(" \t\r\n,.=;:\"%[]{}\\_-", c)) return 2;
  return 1;
}

// The pattern's character the scan looks for in the raw bytes, in both its
// forms, to pass over the cycles that cannot complete a match: the least
// common, and of equally common ones the last. A NUL character is never found
// (the filtered text holds none), so a pattern that has one passes over every
// cycle it can.
struct Anchor {
  explicit Anchor(const std::string& pattern) {
    size_t best = 0;
    for (size_t i = 1; i < pattern.size(); ++i)
      if (Commonness(pattern[i]) <= Commonness(pattern[best])) best = i;
    upper = pattern[best];
    lower = upper >= 'A' && upper <= 'Z' ? static_cast<char>(upper - 'A' + 'a') : upper;
  }
  char upper;
  char lower;
};

// The first `c` in [from, to), or `to`.
const char* Find(const char* from, const char* to, char c) {
  if (c == '\0' || from == to) return to;
  const void* at = std::memchr(from, c, static_cast<size_t>(to - from));
  return at ? static_cast<const char*>(at) : to;
}

// Whether the raw bytes around an anchor byte may hold the pattern with that
// byte as one of its anchor characters. The filtered text is the raw bytes
// without their NULs, so the characters the pattern has before and after its
// anchor are the non-NUL bytes before and after the anchor byte. Where those
// run past the bytes at hand [begin, end), or past a long stretch of NULs, the
// answer is yes: only a certain mismatch rules an anchor byte out.
class AnchorCheck {
 public:
  AnchorCheck(const std::string& pattern, char anchor) : pattern_(pattern) {
    for (size_t i = 0; i < pattern.size(); ++i)
      if (pattern[i] == anchor) positions_.push_back(i);
    // Enough for 16-bit text, where every other byte is NUL, and a little more.
    reach_ = 4 * pattern.size() + 8;
  }

  bool MayMatchAt(const char* begin, const char* end, const char* anchorByte) const {
    for (size_t position : positions_)
      if (MayMatchAs(position, begin, end, anchorByte)) return true;
    return false;
  }

 private:
  bool MayMatchAs(size_t position, const char* begin, const char* end, const char* p) const {
    const char* limit = p - std::min<size_t>(reach_, static_cast<size_t>(p - begin));
    const char* q = p;
    for (size_t i = position; i > 0;) {
      do {
        if (q == limit) return true;
        --q;
      } while (*q == '\0');
      if (UpperCased(*q) != pattern_[--i]) return false;
    }
    limit = p + std::min<size_t>(reach_, static_cast<size_t>(end - p));
    q = p;
    for (size_t i = position + 1; i < pattern_.size(); ++i) {
      do {
        if (++q >= limit) return true;
      } while (*q == '\0');
      if (UpperCased(*q) != pattern_[i]) return false;
    }
    return true;
  }

  const std::string& pattern_;
  std::vector<size_t> positions_;
  size_t reach_;
};

// The first byte `c` in [from, to) around which the pattern may lie, or `to`;
// [begin, end) are the bytes the check may look at.
const char* FindCandidate(const char* begin, const char* end, const char* from, const char* to,
                          char c, const AnchorCheck& check) {
  for (;;) {
    const char* at = Find(from, to, c);
    if (at == to || check.MayMatchAt(begin, end, at)) return at;
    from = at + 1;
  }
}

// Whether the pattern starts anywhere in [from, end - pattern length]: a scan
// for its first byte, then a comparison of the rest where that byte is.
bool HoldsPatternFrom(const char* from, const char* end, const std::string& pattern) {
  const size_t length = pattern.size();
  if (static_cast<size_t>(end - from) < length) return false;
  const char* const lastStart = end - length;
  const char first = pattern[0];
  for (const char* at = from; at <= lastStart; ++at) {
    at = static_cast<const char*>(std::memchr(at, first, static_cast<size_t>(lastStart - at) + 1));
    if (!at) return false;
    if (std::memcmp(at + 1, pattern.data() + 1, length - 1) == 0) return true;
  }
  return false;
}

// Brings the overlap [overlap, overlap + length), the last `length` characters
// of the filtered text, forward over the raw bytes [from, to): their last
// `length` non-NUL bytes, upper-cased, fill it from the end, and what is left of
// it keeps the older characters. The newest characters are gathered in
// `scratch`, room for `length` bytes apart from the overlap.
void CarryOver(char* overlap, size_t length, const char* from, const char* to, char* scratch) {
  size_t kept = 0;
  for (const char* p = to; p != from && kept < length;) {
    --p;
    if (*p != '\0') scratch[length - ++kept] = UpperCased(*p);
  }
  std::memmove(overlap, overlap + kept, length - kept);
  std::memcpy(overlap + length - kept, scratch + length - kept, kept);
}

}  // namespace

// A cycle can complete a match only when the match's anchor character lies in
// the cycle's own bytes or in the overlap it starts with. The scan therefore
// works the cycles only from an anchor byte on (one around which the pattern
// may lie), and for as long as the overlap
// holds one; the cycles in between are counted and their bytes passed over,
// and the overlap is brought up to date from the raw bytes when the next
// worked cycle needs it. Whether a cycle finds the text, and which cycle ends
// the scan, stay what working every cycle gives.
bool ScanForText(ReadAheadFile& file, const std::string& text, CycleCounter& cycles) {
  std::string pattern = text;
  for (char& c : pattern) c = UpperCased(c);
  const Anchor anchor(pattern);
  const AnchorCheck anchorCheck(pattern, anchor.upper);
  const size_t overlap = text.size();
  const size_t chunk = std::max<size_t>(2 * overlap, 128);
  const size_t readSize = chunk - overlap;
  std::vector<char> buffer(chunk + 1, '\0');
  std::fill(buffer.begin(), buffer.begin() + overlap, ' ');
  char* const begin = buffer.data();
  // Behind the overlap, R >= L bytes that CarryOver may use before a cycle
  // fills them.
  char* const scratch = begin + readSize;

  // The bytes of the read-ahead buffer not yet taken: [at, spanEnd), of the
  // span [spanBegin, spanEnd) the last read handed out.
  const char* spanBegin = nullptr;
  const char* at = nullptr;
  const char* spanEnd = nullptr;
  // The overlap is the filtered text's end up to this byte of the span.
  const char* carriedTo = nullptr;
  // The next anchor byte of each form in [at, spanEnd), spanEnd for none, or
  // null when not yet looked for in this span.
  const char* nextUpper = nullptr;
  const char* nextLower = nullptr;
  // The first cycle looks at its L spaces as well.
  bool firstCycle = true;
  bool anchorInOverlap = true;

  for (;;) {
    // Whole cycles without an anchor byte, behind an overlap without one.
    if (!anchorInOverlap && static_cast<size_t>(spanEnd - at) >= readSize) {
      if (!nextUpper || nextUpper < at)
        nextUpper = FindCandidate(spanBegin, spanEnd, at, spanEnd, anchor.upper, anchorCheck);
      if (anchor.lower == anchor.upper) {
        nextLower = nextUpper;
      } else if (!nextLower || nextLower < at) {
        nextLower = FindCandidate(spanBegin, spanEnd, at, spanEnd, anchor.lower, anchorCheck);
      }
      const size_t passed = static_cast<size_t>(std::min(nextUpper, nextLower) - at) / readSize;
      if (passed > 0) {
        at += passed * readSize;
        cycles.Add(passed);
        continue;
      }
    }

    // A worked cycle: the overlap, then up to R new bytes filtered behind it.
    if (carriedTo != at) CarryOver(begin, overlap, carriedTo, at, scratch);
    char* end = begin + overlap;
    size_t missing = readSize;
    while (missing > 0) {
      if (at == spanEnd) {
        const char* bytes = nullptr;
        size_t got = 0;
        if (!file.Next(SIZE_MAX, &bytes, &got)) return false;
        if (got == 0) break;
        spanBegin = at = bytes;
        spanEnd = bytes + got;
        nextUpper = nextLower = nullptr;
      }
      const size_t taken = std::min(missing, static_cast<size_t>(spanEnd - at));
      end = CopyUpperCasedWithoutNuls(at, at + taken, end);
      at += taken;
      missing -= taken;
    }
    *end = '\0';
    // A match wholly in the overlap ended the cycle before; only matches that
    // take a new character are looked for.
    const bool found = HoldsPatternFrom(firstCycle ? begin : begin + 1, end, pattern);
    cycles.Add(1);
    if (missing != 0 || found) return found;
    firstCycle = false;
    std::memmove(begin, end - overlap, overlap);
    carriedTo = at;
    anchorInOverlap = anchor.upper != '\0' && std::memchr(begin, anchor.upper, overlap) != nullptr;
  }
}
