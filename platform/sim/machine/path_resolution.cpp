#include "platform/sim/machine/path_resolution.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && NamesEqual(s.substr(0, prefix.size()), prefix);
}

// True when `s` is `prefix` or continues it with a '\'.
bool IsAtOrBelow(std::string_view s, std::string_view prefix) {
  return StartsWithNoCase(s, prefix) && (s.size() == prefix.size() || s[prefix.size()] == '\\');
}

// Applies "." and "..", collapses separators and drops the dots and spaces Windows
// drops, on a path that starts with "X:\" (the first three characters stay as they are).
std::string CollapsePath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  constexpr size_t kMark = 3;

  // Repeated separators collapse to one.
  std::string collapsed = path.substr(0, kMark);
  for (size_t i = kMark; i < path.size(); ++i) {
    if (path[i] == '\\' && collapsed.back() == '\\') continue;
    collapsed += path[i];
  }

  std::string out = collapsed.substr(0, kMark);
  size_t i = kMark;
  const size_t n = collapsed.size();
  while (i < n) {
    size_t end = collapsed.find('\\', i);
    const bool last = end == std::string::npos;
    if (last) end = n;
    std::string_view name(collapsed.data() + i, end - i);
    if (name == ".") {
      // A final "." also takes the separator before it ("C:\a\." is "C:\a").
      if (last && out.size() > kMark) out.pop_back();
    } else if (name == "..") {
      if (out.size() > kMark) {
        out.pop_back();  // the separator after the previous name
        while (out.size() > kMark && out.back() != '\\') out.pop_back();
        if (last && out.size() > kMark) out.pop_back();
      }
    } else {
      out.append(name.data(), name.size());
      if (!last) {
        // A folder name loses one trailing dot ("a.\b" is "a\b", "...\b" is "..\b").
        if (!name.empty() && name.back() == '.') out.pop_back();
        out += '\\';
      }
    }
    i = last ? n : end + 1;
  }
  // The last name loses its trailing dots and spaces.
  while (out.size() > kMark && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  return out;
}

// Windows' DOS wildcards, as FindFirstFile hands the pattern to the file system.
constexpr int kDosStar = -1;  // '*' before a '.': stops at the name's last dot
constexpr int kDosQm = -2;    // '?': one character, or nothing at a '.' or the end
constexpr int kDosDot = -3;   // '.' before '?' or '*' (or at the end): a '.' or the end
constexpr int kStar = -4;     // any run of characters

// Whether the pattern place `token` may match nothing at name[at] (at == size: the end).
bool MatchesNothing(int token, std::string_view name, size_t at) {
  const bool atEnd = at == name.size();
  switch (token) {
    case kStar:
    case kDosStar:
      return true;
    case kDosQm:
      return atEnd || name[at] == '.';
    case kDosDot:
      return atEnd;
    default:
      return false;
  }
}

}  // namespace

bool FullPathName(std::string_view input, std::string_view currentDirectory, std::string* full) {
  if (input.empty()) return false;
  std::string joined;
  if (input.size() >= 2 && IsSeparator(input[0]) && IsSeparator(input[1])) {
    return false;  // UNC and device names: the machine has drive letters only
  } else if (input.size() >= 2 && IsDriveLetter(input[0]) && input[1] == ':') {
    if (input.size() >= 3 && IsSeparator(input[2])) {
      joined = std::string(input);
    } else if (!currentDirectory.empty() &&
               UpperAscii(static_cast<unsigned char>(currentDirectory[0])) ==
                   UpperAscii(static_cast<unsigned char>(input[0]))) {
      // "C:name" continues the current folder when it is on C:.
      joined = std::string(currentDirectory) + "\\" + std::string(input.substr(2));
    } else {
      joined = std::string(input.substr(0, 2)) + "\\" + std::string(input.substr(2));
    }
  } else if (currentDirectory.size() < 2 || currentDirectory[1] != ':') {
    return false;
  } else if (IsSeparator(input[0])) {
    joined = std::string(currentDirectory.substr(0, 2)) + std::string(input);
  } else {
    joined = std::string(currentDirectory) + "\\" + std::string(input);
  }
  *full = CollapsePath(std::move(joined));
  return true;
}

std::string RedirectSystem32(const std::string& full, const OsIdentity& os) {
  const std::string windows = os.windowsFolder;
  for (const char* folder : {"", "\\lastgood"}) {
    const std::string system32 = windows + folder + "\\system32";
    if (!IsAtOrBelow(full, system32)) continue;
    const std::string_view rest = std::string_view(full).substr(system32.size());
    if (*folder == '\0') {
      // Folders of system32 that both views share.
      for (const char* shared :
           {"\\catroot", "\\catroot2", "\\drivers\\etc", "\\LogFiles", "\\spool"}) {
        if (IsAtOrBelow(rest, shared)) return full;
      }
    }
    return windows + folder + "\\SysWOW64" + std::string(rest);
  }
  return full;
}

bool RedirectsFileSystem(const Process& process) {
  return process.IsWow64() && !ThreadFsRedirectionDisabled();
}

bool IsValidName(std::string_view name) {
  if (name.empty() || name.size() > kMaxComponent) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*/\\", c)) return false;
  }
  return true;
}

bool ResolvePath(const Process& process, const char* input, ResolvedPath* out, uint32_t* error) {
  if (!input || !*input) {
    *error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  // The ANSI name is converted into a buffer of MAX_PATH + 1 UTF-16 characters first.
  if (std::strlen(input) > kMaxAnsiName) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  ResolvedPath r;
  if (!FullPathName(input, process.currentDirectory, &r.full)) {
    *error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  // The full path must fit MAX_PATH with its NUL.
  if (r.full.size() > kMaxFullPath) {
    *error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  const std::string_view raw(input);
  r.trailingSeparator = IsSeparator(raw.back());
  r.target = RedirectsFileSystem(process) ? RedirectSystem32(r.full, process.machine.os) : r.full;
  r.drive = static_cast<char>(UpperAscii(static_cast<unsigned char>(r.target[0])));

  size_t start = 3;
  while (start < r.target.size()) {
    size_t end = r.target.find('\\', start);
    if (end == std::string::npos) end = r.target.size();
    r.parts.push_back(r.target.substr(start, end - start));
    start = end + 1;
  }
  for (size_t i = 0; i < r.parts.size(); ++i) {
    const std::string& name = r.parts[i];
    const bool last = i + 1 == r.parts.size();
    if (last && name.find_first_of("*?") != std::string::npos) {
      r.wildcardInLastName = true;
      std::string stripped;
      for (char c : name)
        if (c != '*' && c != '?') stripped += c;
      if (stripped.empty() || IsValidName(stripped)) continue;
    }
    if (!IsValidName(name)) {
      *error = ERROR_INVALID_NAME;
      return false;
    }
  }
  *out = std::move(r);
  return true;
}

PathLookup LookUp(const FileSystem& files, const ResolvedPath& path) {
  PathLookup result;
  std::shared_ptr<FsNode> node = files.Drive(path.drive);
  if (!node) return result;
  if (path.parts.empty()) {
    result.wayExists = true;
    result.node = node;
    return result;
  }
  for (size_t i = 0; i + 1 < path.parts.size(); ++i) {
    const auto* child = node->children.Find(path.parts[i]);
    if (!child || !(*child)->isDirectory) return result;
    node = files.Through(*child);  // a junction on the way leads elsewhere
    if (!node) return result;
  }
  result.wayExists = true;
  result.folder = node;
  result.name = path.parts.back();
  if (const auto* child = node->children.Find(result.name)) result.node = *child;
  return result;
}

bool MatchesFilePattern(std::string_view pattern, std::string_view name) {
  return FilePattern(pattern).Matches(name);
}

FilePattern::FilePattern(std::string_view pattern) {
  everything_ = pattern == "*" || pattern == "*.*";
  tokens_.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (c == '?') {
      tokens_.push_back(kDosQm);
    } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
      tokens_.push_back(kDosDot);
    } else if (c == '*') {
      tokens_.push_back(next == '.' ? kDosStar : kStar);
    } else {
      tokens_.push_back(UpperAscii(static_cast<unsigned char>(c)));
    }
  }
  if (tokens_.size() >= 64) return;
  characters_.assign(256, 0);
  for (size_t p = 0; p < tokens_.size(); ++p) {
    const uint64_t bit = uint64_t{1} << p;
    switch (tokens_[p]) {
      case kStar:
        stars_ |= bit;
        break;
      case kDosStar:
        dosStars_ |= bit;
        break;
      case kDosQm:
        dosQms_ |= bit;
        break;
      case kDosDot:
        dosDots_ |= bit;
        break;
      default:
        characters_[static_cast<size_t>(tokens_[p])] |= bit;
        break;
    }
  }
}

bool FilePattern::Matches(std::string_view name) const {
  if (everything_) return true;
  return characters_.empty() ? MatchesByRows(name) : MatchesByBits(name);
}

bool FilePattern::MatchesByBits(std::string_view name) const {
  const size_t dot = name.rfind('.');
  const size_t lastDot = dot == std::string_view::npos ? name.size() : dot;
  // Adds the places reached through tokens that match nothing at `at`: from a place
  // reached on a run of such tokens, every later place of the run and the one after
  // it. Adding the reached places of the runs to the runs carries each run's lowest
  // one through to the run's end.
  auto close = [&](uint64_t reached, size_t at) {
    const bool atEnd = at == name.size();
    const bool atDot = !atEnd && name[at] == '.';
    const uint64_t empty =
        stars_ | dosStars_ | (atEnd || atDot ? dosQms_ : 0) | (atEnd ? dosDots_ : 0);
    return reached | ((empty + (reached & empty)) ^ empty);
  };
  uint64_t reached = close(1, 0);
  for (size_t at = 0; at < name.size(); ++at) {
    const unsigned char c = static_cast<unsigned char>(name[at]);
    const uint64_t stay = reached & (stars_ | (at != lastDot ? dosStars_ : 0));
    const uint64_t advance =
        reached & ((c == '.' ? dosDots_ : dosQms_) | characters_[UpperAscii(c)]);
    reached = stay | (advance << 1);
    if (!reached) return false;
    reached = close(reached, at + 1);
  }
  return (reached >> tokens_.size()) & 1;
}

bool FilePattern::MatchesByRows(std::string_view name) const {
  // reached[p]: the name's characters before `at` can be matched by tokens_[0, p).
  // Two rows of places, on the stack for any pattern a path can hold.
  const size_t places = tokens_.size() + 1;
  constexpr size_t kOnStack = kMaxAnsiName + 2;
  bool stack[2 * kOnStack];
  std::unique_ptr<bool[]> heap;
  bool* reached = stack;
  if (places > kOnStack) {
    heap.reset(new bool[2 * places]);
    reached = heap.get();
  }
  bool* next = reached + places;
  const size_t dot = name.rfind('.');
  const size_t lastDot = dot == std::string_view::npos ? name.size() : dot;
  // Adds the places reached by tokens that match nothing at `at`.
  auto close = [&](bool* row, size_t at) {
    for (size_t p = 0; p + 1 < places; ++p)
      if (row[p] && MatchesNothing(tokens_[p], name, at)) row[p + 1] = true;
  };
  std::fill(reached, reached + places, false);
  reached[0] = true;
  close(reached, 0);
  for (size_t at = 0; at < name.size(); ++at) {
    const char c = name[at];
    std::fill(next, next + places, false);
    bool any = false;
    for (size_t p = 0; p + 1 < places; ++p) {
      if (!reached[p]) continue;
      const int token = tokens_[p];
      bool stay = false, advance = false;
      switch (token) {
        case kStar:
          stay = true;
          break;
        case kDosStar:
          stay = at != lastDot;
          break;
        case kDosQm:
          advance = c != '.';
          break;
        case kDosDot:
          advance = c == '.';
          break;
        default:
          advance = UpperAscii(static_cast<unsigned char>(c)) == token;
          break;
      }
      if (stay) next[p] = true;
      if (advance) next[p + 1] = true;
      any = any || stay || advance;
    }
    if (!any) return false;
    close(next, at + 1);
    std::swap(reached, next);
  }
  return reached[places - 1];
}

}  // namespace sim
