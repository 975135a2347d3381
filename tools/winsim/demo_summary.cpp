#include "tools/winsim/demo_summary.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace winsim {

namespace {

// A long item (a path with spaces) goes on a little further in than it starts.
constexpr int kItemHanging = 2;

bool Continues(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

size_t Characters(const std::string& s, size_t end = std::string::npos) {
  end = std::min(end, s.size());
  size_t n = 0;
  for (size_t i = 0; i < end; ++i) n += !Continues(s[i]);
  return n;
}

// The byte offset where the character after the first `characters` ones starts.
size_t OffsetOf(const std::string& s, size_t characters) {
  size_t i = 0;
  for (size_t seen = 0; i < s.size(); ++i) {
    if (Continues(s[i])) continue;
    if (seen++ == characters) break;
  }
  return i;
}

void WrapLine(const std::string& line, size_t columns, size_t hanging,
              std::vector<std::string>* out) {
  const size_t indent = std::min(line.find_first_not_of(' '), line.size());
  const std::string continuation(std::min(indent + hanging, columns / 2), ' ');
  std::string rest = line;
  size_t leading = indent;  // the indentation of `rest`, where no line breaks
  while (Characters(rest) > columns) {
    const size_t fits = OffsetOf(rest, columns);  // the characters that fit, in bytes
    // The line breaks at the last space that fits, or after the last backslash (a path
    // has no spaces where it is long), whichever comes later; where neither is, the
    // word is cut.
    const size_t space = rest.rfind(' ', fits);
    const size_t backslash = fits > 0 ? rest.rfind('\\', fits - 1) : std::string::npos;
    size_t end = fits, next = fits;
    const bool atSpace = space != std::string::npos && space > leading;
    if (atSpace) {
      end = rest.find_last_not_of(' ', space) + 1;
      next = space;
    }
    if (backslash != std::string::npos && backslash >= leading &&
        (!atSpace || backslash + 1 > end)) {
      end = next = backslash + 1;
    }
    out->push_back(rest.substr(0, end));
    next = rest.find_first_not_of(' ', next);
    if (next == std::string::npos) return;
    rest = continuation + rest.substr(next);
    leading = continuation.size();
  }
  out->push_back(rest);
}

std::string More(size_t left, const std::string& where) {
  return "  ... and " + std::to_string(left) + " more (all in " + where + ")";
}

}  // namespace

std::string SummaryText(const std::vector<SummaryPart>& parts) {
  std::string text;
  for (const SummaryPart& part : parts) {
    text += part.text;
    for (const std::string& item : part.items) text += "  " + item + "\n";
  }
  return text;
}

std::vector<std::string> WrapForTerminal(const std::string& text, int columns, int hanging) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (columns > 0) {
      WrapLine(line, static_cast<size_t>(columns), static_cast<size_t>(std::max(hanging, 0)),
               &lines);
    } else {
      lines.push_back(line);
    }
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> FitSummary(const std::vector<SummaryPart>& parts, int columns, int rows,
                                    const std::string& where, bool* cut) {
  // Each part's lines and each item's, wrapped once; the lists are then cut by counting.
  std::vector<std::vector<std::string>> texts;
  std::vector<std::vector<std::vector<std::string>>> items;
  std::vector<size_t> shown;
  size_t total = 0;
  for (const SummaryPart& part : parts) {
    texts.push_back(WrapForTerminal(part.text, columns, part.hanging));
    total += texts.back().size();
    items.emplace_back();
    for (const std::string& item : part.items) {
      items.back().push_back(WrapForTerminal("  " + item, columns, kItemHanging));
      total += items.back().back().size();
    }
    shown.push_back(part.items.size());
  }
  auto shownLines = [&](size_t part) {
    size_t n = 0;
    for (size_t i = 0; i < shown[part]; ++i) n += items[part][i].size();
    return n;
  };
  auto moreLines = [&](size_t part) {
    const size_t left = parts[part].items.size() - shown[part];
    return left ? WrapForTerminal(More(left, where), columns, kItemHanging).size() : 0;
  };
  const size_t room = static_cast<size_t>(std::max(rows, 0));
  while (total > room) {
    size_t longest = parts.size();
    for (size_t p = 0; p < parts.size(); ++p)
      if (shown[p] > 1 && (longest == parts.size() || shownLines(p) > shownLines(longest)))
        longest = p;
    if (longest == parts.size()) break;  // every list is down to one item
    total -= items[longest][shown[longest] - 1].size() + moreLines(longest);
    --shown[longest];
    total += moreLines(longest);
  }
  std::vector<std::string> lines;
  *cut = false;
  for (size_t p = 0; p < parts.size(); ++p) {
    lines.insert(lines.end(), texts[p].begin(), texts[p].end());
    for (size_t i = 0; i < shown[p]; ++i)
      lines.insert(lines.end(), items[p][i].begin(), items[p][i].end());
    if (shown[p] < parts[p].items.size()) {
      *cut = true;
      const std::vector<std::string> more =
          WrapForTerminal(More(parts[p].items.size() - shown[p], where), columns, kItemHanging);
      lines.insert(lines.end(), more.begin(), more.end());
    }
  }
  return lines;
}

void TerminalSize(int* columns, int* rows) {
  struct winsize size = {};
  const bool known = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0;
  *columns = known && size.ws_col > 0 ? size.ws_col : 80;
  *rows = known && size.ws_row > 0 ? size.ws_row : 24;
}

}  // namespace winsim
