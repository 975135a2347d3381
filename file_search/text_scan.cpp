#include "file_search/text_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

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

// The upper-cased text and how the scan finds it in raw bytes: a sieve for one of
// its characters (the anchor, the least common by Commonness) beside its
// neighbour in the pattern (the one before it where there is one), then a
// comparison of the whole pattern around each place the sieve keeps.
class Pattern {
 public:
  explicit Pattern(const std::string& text) : upper_(text) {
    for (char& c : upper_) c = UpperCased(c);
    holdsNul_ = upper_.find('\0') != std::string::npos;
    for (size_t i = 1; i < upper_.size(); ++i)
      if (Commonness(upper_[i]) <= Commonness(upper_[anchor_])) anchor_ = i;
    const char anchor = upper_[anchor_];
    if (anchor_ > 0) {
      sieve_ = SieveChars::For(anchor, upper_[anchor_ - 1], -1);
    } else if (anchor_ + 1 < upper_.size()) {
      sieve_ = SieveChars::For(anchor, upper_[anchor_ + 1], 1);
    } else {
      sieve_ = SieveChars::For(anchor, '\0', 0);
    }
  }

  const std::string& upper() const { return upper_; }
  size_t size() const { return upper_.size(); }
  // The filtered text holds no NUL byte, so such a pattern is never found.
  bool holdsNul() const { return holdsNul_; }

  // The last byte of the first match that lies wholly in [begin, end), or null.
  const char* FindIn(const char* begin, const char* end, SieveWidth width) const {
    const size_t size = static_cast<size_t>(end - begin);
    // The sieve looks two bytes either side of its blocks; the bytes it cannot
    // cover are tried one by one.
    size_t i = 0;
    for (; i < std::min<size_t>(2, size); ++i)
      if (const char* last = TryByte(begin, end, begin + i)) return last;
    const size_t step = static_cast<size_t>(width);
    for (uint64_t kept; (kept = NextKeptBlock(width, sieve_, begin, size, &i)) != 0; i += step) {
      for (; kept; kept &= kept - 1) {
        const char* place = begin + i + static_cast<size_t>(__builtin_ctzll(kept));
        if (const char* last = MatchAround(begin, end, place)) return last;
      }
    }
    for (; i < size; ++i)
      if (const char* last = TryByte(begin, end, begin + i)) return last;
    return nullptr;
  }

 private:
  const char* TryByte(const char* begin, const char* end, const char* p) const {
    return UpperCased(*p) == upper_[anchor_] ? MatchAround(begin, end, p) : nullptr;
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
  SieveChars sieve_;
};

// The filtered text's last L characters before the bytes at hand (L spaces
// before the file), and the matches that take characters from both sides of
// the border between them and the next span of bytes.
class Border {
 public:
  explicit Border(const Pattern& pattern) : pattern_(pattern) {
    joined_.reserve(2 * pattern.size());
    offsets_.reserve(pattern.size());
    Reset();
  }

  // Puts the border before a file: behind the L spaces.
  void Reset() { tail_.assign(pattern_.size(), ' '); }

  // Whether the text behind the border, with the first characters of
  // [begin, end), holds the pattern; if so, sets `*last` to the byte of
  // [begin, end) that ends it (begin when the characters before the border
  // hold it alone: only the L spaces before the file can).
  bool Find(const char* begin, const char* end, const char** last) {
    const size_t length = pattern_.size();
    // A match that takes characters from behind the border starts there.
    if (tail_.find(pattern_.upper()[0]) == std::string::npos) return false;
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

struct TextScan::Parts {
  explicit Parts(const std::string& text) : pattern(text), border(pattern) {}
  Pattern pattern;
  Border border;
};

TextScan::TextScan(const std::string& text, SieveWidth width)
    : text_(text),
      readSize_(std::max<size_t>(2 * text.size(), 128) - text.size()),
      width_(width),
      parts_(new Parts(text)) {}

TextScan::~TextScan() = default;

// The file's bytes come in spans, as the read-ahead buffer holds them. A match
// either lies wholly in one span, where the sieve finds it, or takes characters
// from before the span's start, where the border finds it; the border's
// matches end before any of the span's own. The cycle that ends the scan is the
// one that holds the match's last byte, or the first short one; the cycles that
// a span completes are counted before the next read.
bool TextScan::In(ReadAheadFile& file, CycleCounter& cycles) {
  const Pattern& pattern = parts_->pattern;
  Border& border = parts_->border;
  border.Reset();
  uint64_t offset = 0;   // of the span's first byte in the file
  uint64_t counted = 0;  // cycles counted so far
  for (;;) {
    const char* bytes = nullptr;
    size_t got = 0;
    if (!file.Next(SIZE_MAX, &bytes, &got)) return false;
    const char* const end = bytes + got;
    const char* last = nullptr;
    if (!pattern.holdsNul() && (border.Find(bytes, end, &last) ||
                                (last = pattern.FindIn(bytes, end, width_)) != nullptr)) {
      const uint64_t lastByte = offset + static_cast<uint64_t>(last - bytes);
      cycles.Add(static_cast<size_t>(lastByte / readSize_ + 1 - counted));
      return true;
    }
    offset += got;
    // The last span: nothing follows the characters at its end, which hold no
    // match of their own (the span's search would have found it).
    if (got == 0 || file.AtEnd()) {
      cycles.Add(static_cast<size_t>(offset / readSize_ + 1 - counted));
      return false;
    }
    cycles.Add(static_cast<size_t>(offset / readSize_ - counted));
    counted = offset / readSize_;
    border.Pass(bytes, end);
  }
}
