// The wildcard matching of a folder listing on any pattern and name, against a reading of
// the file system's documented rules made here on its own (a plain recursion over the
// pattern's places). FindFirstFile hands the pattern over with '?' as DOS_QM, a '.'
// before '?', '*' or the end as DOS_DOT and a '*' before a '.' as DOS_STAR:
//   *        any run of characters
//   DOS_STAR any run of characters that does not pass the name's last dot
//   DOS_QM   one character, or nothing at a '.' or at the end of the name
//   DOS_DOT  a '.', or nothing at the end of the name
//   other    that character, letters in either case
// Patterns of 64 places and more take the simulator's other way of matching, so the
// input reaches both. Input: the pattern, a line feed, the name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine/path_resolution.h"

namespace {

enum Place { kStar = -1, kDosStar = -2, kDosQm = -3, kDosDot = -4 };

int Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

std::vector<int> Places(std::string_view pattern) {
  std::vector<int> places;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (pattern[i] == '?') {
      places.push_back(kDosQm);
    } else if (pattern[i] == '.' && (next == '?' || next == '*' || next == '\0')) {
      places.push_back(kDosDot);
    } else if (pattern[i] == '*') {
      places.push_back(next == '.' ? kDosStar : kStar);
    } else {
      places.push_back(Upper(static_cast<unsigned char>(pattern[i])));
    }
  }
  return places;
}

struct Reference {
  std::vector<int> places;
  std::string_view name;
  size_t lastDot;
  std::vector<signed char> known;  // -1 not yet, else the answer from (place, at)

  bool From(size_t p, size_t at) {
    signed char& k = known[p * (name.size() + 1) + at];
    if (k < 0) k = Decide(p, at) ? 1 : 0;
    return k != 0;
  }
  bool Decide(size_t p, size_t at) {
    const bool end = at == name.size();
    if (p == places.size()) return end;
    switch (places[p]) {
      case kStar:
        return From(p + 1, at) || (!end && From(p, at + 1));
      case kDosStar:
        return From(p + 1, at) || (!end && at != lastDot && From(p, at + 1));
      case kDosQm:
        return end || name[at] == '.' ? From(p + 1, at) : From(p + 1, at + 1);
      case kDosDot:
        return end ? From(p + 1, at) : name[at] == '.' && From(p + 1, at + 1);
      default:
        return !end && Upper(static_cast<unsigned char>(name[at])) == places[p] &&
               From(p + 1, at + 1);
    }
  }
};

bool ReferenceMatches(std::string_view pattern, std::string_view name) {
  Reference r{Places(pattern), name, name.rfind('.'), {}};
  if (r.lastDot == std::string_view::npos) r.lastDot = name.size();
  r.known.assign((r.places.size() + 1) * (name.size() + 1), -1);
  return r.From(0, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\n');
  if (split == std::string_view::npos) return 0;
  const std::string_view pattern = input.substr(0, split), name = input.substr(split + 1);
  if (name.empty() || name.size() > 255 || name.find('\0') != std::string_view::npos) return 0;
  const bool expected = ReferenceMatches(pattern, name);
  if (sim::MatchesFilePattern(pattern, name) != expected) {
    std::fprintf(stderr, "'%.*s' against '%.*s': the listing says %s\n",
                 static_cast<int>(pattern.size()), pattern.data(), static_cast<int>(name.size()),
                 name.data(), expected ? "no match" : "a match");
    std::abort();
  }
  return 0;
}
