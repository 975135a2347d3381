// Reading registry files: the statements of a file in the registry editor's text format,
// from a text or a piece at a time (UTF-16 decoded as it comes in), and applying them.
#include "platform/sim/storage/reg_file.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/sim/storage/reg_file_format.h"

namespace sim {

using namespace reg_file_format;

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t')) --n;
  return s.substr(0, n);
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

// Shows a piece of a faulty line in a message without dumping a whole hex block.
std::string Excerpt(std::string_view s) {
  constexpr size_t kMax = 24;
  return s.size() <= kMax ? std::string(s) : std::string(s.substr(0, kMax)) + "...";
}

struct Hive {
  const char* name;
  const char* target;  // what the simulator's registry calls it
  const char* prefix;  // path below the target where the hive lives
};
constexpr Hive kHives[] = {
    {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE", ""},
    {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER", ""},
    {"HKEY_USERS", "HKEY_USERS", ""},
    {"HKEY_CLASSES_ROOT", "HKEY_LOCAL_MACHINE", "SOFTWARE\\Classes"},
    // A whole-registry export holds it: Windows links it to the current hardware profile.
    {"HKEY_CURRENT_CONFIG", "HKEY_LOCAL_MACHINE",
     "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
};

// The levels of a hive's prefix.
size_t PrefixDepth(const Hive& hive) {
  const std::string_view prefix = hive.prefix;
  return prefix.empty() ? 0
                        : 1 + static_cast<size_t>(std::count(prefix.begin(), prefix.end(), '\\'));
}

// Where the parser's lines come from: the lines of a text, without their line ends
// ("\n", or "\r\n"); a text that ends with a line end has no empty line after it.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line, valid until the next call; false past the last.
  virtual bool Next(std::string_view* line) = 0;
};

// Takes the next line off the front of `*text`; false when none is left.
bool TakeLine(std::string_view* text, std::string_view* line) {
  if (text->empty()) return false;
  const size_t end = std::min(text->find('\n'), text->size());
  *line = text->substr(0, end);
  if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
  text->remove_prefix(std::min(end + 1, text->size()));
  return true;
}

class TextLines : public LineSource {
 public:
  explicit TextLines(std::string_view text) : rest_(text) {}
  bool Next(std::string_view* line) override { return TakeLine(&rest_, line); }

 private:
  std::string_view rest_;
};

// Reads the statements one line at a time and hands each to `emit` as soon as it
// is complete; the statement object is reused, so `emit` copies what it keeps.
class Parser {
 public:
  Parser(std::string_view fileName, const RegFileStatementFn& emit, std::string* error,
         RegFileLosses* losses)
      : fileName_(fileName), emit_(emit), error_(error), losses_(losses) {}

  bool Parse(LineSource& lines) {
    lines_ = &lines;
    std::string_view header;
    if (NextLine(&header)) header = TrimRight(header);
    if (lineNo_ == 0 || (header != kHeader && header != kAnsiHeader)) {
      return Fail(1, "missing header: the first line must be '" + std::string(kHeader) + "' or '" +
                         std::string(kAnsiHeader) + "'");
    }
    utf16Strings_ = header == kHeader;
    std::string_view raw;
    while (NextLine(&raw)) {
      const int lineNo = lineNo_;
      const std::string_view line = Trim(raw);
      if (line.find('\0') != std::string_view::npos) return Fail(lineNo, "NUL character");
      if (line.empty() || line[0] == ';') continue;
      if (line[0] == '[') {
        if (!ParseKeyLine(line, lineNo)) return false;
      } else if (line[0] == '"' || line[0] == '@') {
        if (!ParseValueLine(line)) return false;
      } else {
        return Fail(lineNo, "unrecognised line '" + Excerpt(line) + "'");
      }
    }
    return true;
  }

  bool Fail(int line, const std::string& what) {
    if (error_) *error_ = std::string(fileName_) + ":" + std::to_string(line) + ": " + what;
    return false;
  }

 private:
  // The next line, its number in lineNo_; false past the last.
  bool NextLine(std::string_view* line) {
    if (!lines_->Next(line)) return false;
    ++lineNo_;
    return true;
  }

  bool ParseKeyLine(std::string_view line, int lineNo) {
    if (line.back() != ']') return Fail(lineNo, "key line without closing ]");
    std::string_view path = line.substr(1, line.size() - 2);
    const bool remove = !path.empty() && path[0] == '-';
    if (remove) path.remove_prefix(1);
    const size_t sep = path.find('\\');
    const std::string_view hiveName = path.substr(0, sep);
    const Hive* hive = nullptr;
    for (const Hive& h : kHives) {
      if (NamesEqual(hiveName, h.name)) hive = &h;
    }
    if (!hive) return Fail(lineNo, "unknown hive '" + Excerpt(hiveName) + "'");
    std::string& full = path_;
    full.assign(hive->target);
    if (*hive->prefix) full.append("\\").append(hive->prefix);
    size_t depth = PrefixDepth(*hive);
    bool any = false;
    if (sep != std::string_view::npos) {
      std::string_view rest = path.substr(sep + 1);
      for (;;) {
        const size_t next = rest.find('\\');
        const std::string_view part = rest.substr(0, next);
        if (part.empty()) return Fail(lineNo, "empty key name in path");
        for (unsigned char c : part) {
          if (!IsPrintable(c)) return Fail(lineNo, "control character in key name");
        }
        if (part.size() > kMaxKeyNameLength) {
          return Fail(lineNo, "key name longer than " + std::to_string(kMaxKeyNameLength) +
                                  " characters: '" + Excerpt(part) + "'");
        }
        if (++depth > kMaxKeyDepth) {
          return Fail(lineNo, "key nested deeper than " + std::to_string(kMaxKeyDepth) + " levels");
        }
        full += '\\';
        full += part;
        any = true;
        if (next == std::string_view::npos) break;
        rest = rest.substr(next + 1);
      }
    }
    if (remove && !any) return Fail(lineNo, "a hive root cannot be deleted");
    RegFileOp& op = op_;
    op.kind = remove ? RegFileOp::kDeleteKey : RegFileOp::kKey;
    op.keyPath = full;
    op.valueName.clear();
    op.value.type = 0;
    op.value.data.clear();
    op.line = lineNo;
    haveKey_ = !remove;
    if (haveKey_) currentKey_ = full;
    emit_(op);
    return true;
  }

  // Reads a quoted string starting at line[*pos] == '"'; *pos ends past the closing quote.
  bool ParseQuoted(std::string_view line, size_t* pos, int lineNo, const char* what,
                   std::string* out) {
    size_t i = *pos + 1;
    out->clear();
    for (;;) {
      if (i >= line.size()) return Fail(lineNo, "unterminated string");
      const char c = line[i];
      if (c == '"') break;
      if (c == '\\') {
        if (i + 1 >= line.size()) return Fail(lineNo, "unterminated string");
        const char e = line[i + 1];
        if (e != '\\' && e != '"') {
          return Fail(lineNo, std::string("unknown escape sequence '\\") + e + "'");
        }
        out->push_back(e);
        i += 2;
        continue;
      }
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        return Fail(lineNo, std::string("control character in ") + what);
      }
      out->push_back(c);
      ++i;
    }
    *pos = i + 1;
    return true;
  }

  // Reads continuation lines too.
  bool ParseValueLine(std::string_view line) {
    const int lineNo = lineNo_;
    if (!haveKey_) return Fail(lineNo, "value line outside any key");
    RegFileOp& op = op_;
    op.keyPath = currentKey_;
    op.valueName.clear();
    op.value.type = 0;
    op.value.data.clear();
    op.line = lineNo;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else {
      if (!ParseQuoted(line, &pos, lineNo, "value name", &op.valueName)) return false;
      for (unsigned char c : op.valueName) {
        if (!IsPrintable(c)) return Fail(lineNo, "control character in value name");
      }
    }
    std::string_view rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest[0] != '=') return Fail(lineNo, "expected = after the value name");
    rest = TrimLeft(rest.substr(1));

    if (!rest.empty() && rest[0] == '"') {
      size_t end = 0;
      if (!ParseQuoted(rest, &end, lineNo, "string", &op.value.data)) return false;
      if (end != rest.size()) return Fail(lineNo, "text after the closing quote");
      op.kind = RegFileOp::kSetValue;
      op.value.type = kRegSz;
      op.value.data.push_back('\0');
    } else if (rest == "-") {
      op.kind = RegFileOp::kDeleteValue;
    } else if (rest.compare(0, 6, "dword:") == 0) {
      const std::string_view digits = rest.substr(6);
      if (digits.empty()) return Fail(lineNo, "dword without digits");
      if (digits.size() > 8) return Fail(lineNo, "dword takes at most 8 hex digits");
      uint32_t v = 0;
      for (char c : digits) {
        if (!IsHexDigit(c)) return Fail(lineNo, "bad dword '" + std::string(digits) + "'");
        v = (v << 4) | HexValue(c);
      }
      op.kind = RegFileOp::kSetValue;
      op.value.type = kRegDword;
      op.value.data = Registry::DwordData(v);
    } else if (rest.compare(0, 4, "hex:") == 0 || rest.compare(0, 4, "hex(") == 0) {
      uint32_t type = kRegBinary;
      size_t start = 4;
      if (rest[3] == '(') {
        const size_t close = rest.find(')');
        const std::string_view digits =
            close == std::string_view::npos ? rest.substr(4) : rest.substr(4, close - 4);
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':' ||
            digits.empty() || digits.size() > 8) {
          return Fail(lineNo, "bad hex(type): '" + Excerpt(rest) + "'");
        }
        type = 0;
        for (char c : digits) {
          if (!IsHexDigit(c)) return Fail(lineNo, "bad hex(type): '" + Excerpt(rest) + "'");
          type = (type << 4) | HexValue(c);
        }
        start = close + 2;
      }
      std::string& bytes = bytes_;
      bytes.clear();
      if (!ParseHexBytes(rest.substr(start), &bytes)) return false;
      op.kind = RegFileOp::kSetValue;
      op.value.type = type;
      if (IsStringType(type) && utf16Strings_) {
        if (!StringFromUtf16(bytes, lineNo, &op.value.data)) return false;
      } else {
        op.value.data = bytes;
      }
    } else {
      return Fail(lineNo, "unknown value type '" + Excerpt(rest) + "'");
    }
    emit_(op);
    return true;
  }

  // A string value's UTF-16LE bytes as the ANSI functions return them.
  bool StringFromUtf16(std::string_view bytes, int lineNo, std::string* ansi) {
    std::string what;
    if (Utf16LeToAnsi(bytes, ansi, &what)) return true;
    if (!losses_) return Fail(lineNo, what);
    if (bytes.size() % 2) {
      if (losses_->oddStrings++ == 0) losses_->firstOddLine = lineNo;
      bytes.remove_suffix(1);
    }
    ansi->clear();
    for (size_t i = 0; i < bytes.size(); i += 2) {
      const uint32_t u = static_cast<unsigned char>(bytes[i]) |
                         static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
      char c = '?';
      if (!UnicodeToCp1252(u, &c) && losses_->characters++ == 0) {
        losses_->firstCharacterLine = lineNo;
      }
      ansi->push_back(c);
    }
    return true;
  }

  // Comma-separated two-digit bytes; a trailing backslash continues on the next line.
  bool ParseHexBytes(std::string_view segment, std::string* out) {
    for (;;) {
      const int lineNo = lineNo_;
      segment = Trim(segment);
      const bool continued = !segment.empty() && segment.back() == '\\';
      if (continued) segment = TrimRight(segment.substr(0, segment.size() - 1));
      if (!segment.empty()) {
        size_t start = 0;
        for (;;) {
          const size_t comma = segment.find(',', start);
          const std::string_view token = Trim(segment.substr(
              start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
          const bool lastToken = comma == std::string_view::npos;
          if (token.empty()) {
            if (!lastToken) return Fail(lineNo, "missing hex byte before ,");
            if (!continued) return Fail(lineNo, "hex data ends with a comma");
            break;
          }
          if (token.size() != 2 || !IsHexDigit(token[0]) || !IsHexDigit(token[1])) {
            return Fail(lineNo, "bad hex byte '" + Excerpt(token) + "'");
          }
          out->push_back(static_cast<char>(HexValue(token[0]) << 4 | HexValue(token[1])));
          if (lastToken) {
            if (continued) return Fail(lineNo, "expected , before the line continuation");
            break;
          }
          start = comma + 1;
        }
      }
      if (!continued) return true;
      if (!NextLine(&segment)) return Fail(lineNo, "line continuation at end of file");
    }
  }

  std::string_view fileName_;
  const RegFileStatementFn& emit_;
  std::string* error_;
  RegFileLosses* losses_;     // set: an export of a real machine
  bool utf16Strings_ = true;  // strings written as hex hold UTF-16LE (not REGEDIT4)
  LineSource* lines_ = nullptr;
  int lineNo_ = 0;  // of the line NextLine gave last
  // Reused from line to line, so that their room is allocated once.
  RegFileOp op_;
  std::string path_;
  std::string bytes_;
  bool haveKey_ = false;
  std::string currentKey_;
};

// The lines of a UTF-16LE file (after its byte-order mark) as code page 1252
// text, decoded a piece at a time as the parser asks for them. A character code
// page 1252 cannot hold ends the lines. It, and a file of odd length, are faults
// of the file that count before any fault of its text (the odd length first), so
// Finish reads the rest of the file for them once the parser has stopped.
class Utf16Lines : public LineSource {
 public:
  Utf16Lines(const RegFileReader& read, RegFileLosses* losses) : read_(read), losses_(losses) {}

  bool Next(std::string_view* line) override {
    for (;;) {
      std::string_view rest = std::string_view(text_).substr(at_);
      const bool whole = rest.find('\n') != std::string_view::npos;
      if (whole || (ended_ && !badLine_ && !rest.empty())) {
        TakeLine(&rest, line);
        at_ = text_.size() - rest.size();
        return true;
      }
      if (ended_) return false;
      Decode();
    }
  }

  // Reads the rest of the file; true when it has a fault, with its line and what
  // it is (line 0 for a read error, which belongs to no line).
  bool Finish(int* line, std::string* what) {
    while (!ended_) {
      at_ = text_.size();
      Decode();
    }
    if (readFailed_) {
      *line = 0;
    } else if (oddLength_) {
      *line = 1;
      what_ = "UTF-16 file of odd length";
    } else if (badLine_) {
      *line = badLine_;
    } else {
      return false;
    }
    *what = what_;
    return true;
  }

 private:
  static constexpr size_t kPieceBytes = 1 << 20;

  // Decodes the next piece behind the lines not yet taken; after a fault, only
  // reads on to the end.
  void Decode() {
    if (!badLine_)
      newlines_ += static_cast<int>(std::count(text_.begin(), text_.begin() + at_, '\n'));
    text_.erase(0, at_);
    at_ = 0;
    if (raw_.empty()) raw_.resize(1 + kPieceBytes);
    size_t got = 0;
    if (!read_(&raw_[odd_], kPieceBytes, &got, &what_)) {
      readFailed_ = ended_ = true;
      return;
    }
    if (got == 0) {
      ended_ = true;
      oddLength_ = odd_ != 0;
      return;
    }
    const size_t bytes = odd_ + got;
    const size_t characters = bytes / 2;
    if (!badLine_) {
      const size_t start = text_.size();
      text_.resize(start + characters);
      const unsigned char* in = reinterpret_cast<const unsigned char*>(raw_.data());
      for (size_t i = 0; i < characters; ++i, in += 2) {
        const uint32_t u = in[0] | static_cast<uint32_t>(in[1]) << 8;
        if (u < 0x80) {
          text_[start + i] = static_cast<char>(u);
        } else if (!UnicodeToCp1252(u, &text_[start + i])) {
          // The line is counted for the first such character only: an export may hold
          // thousands, and each count reads the piece from its start.
          auto line = [&] {
            return newlines_ + 1 +
                   static_cast<int>(std::count(text_.begin(), text_.begin() + start + i, '\n'));
          };
          if (losses_) {
            text_[start + i] = '?';
            if (losses_->characters++ == 0) losses_->firstCharacterLine = line();
            continue;
          }
          char hex[16];
          std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(u));
          what_ = std::string("character ") + hex + " has no code page 1252 form";
          badLine_ = line();
          text_.resize(start + i);
          break;
        }
      }
    }
    odd_ = bytes % 2;
    if (odd_) raw_[0] = raw_[bytes - 1];
  }

  const RegFileReader& read_;
  RegFileLosses* losses_;  // set: a character 1252 lacks is read as '?'
  std::string raw_;        // room for a piece, behind the odd byte the last one left
  size_t odd_ = 0;         // 1 when raw_[0] is such a byte
  std::string text_;       // decoded text; the lines before at_ are taken
  size_t at_ = 0;
  int newlines_ = 0;  // line ends decoded before text_
  bool ended_ = false;
  bool readFailed_ = false;
  bool oddLength_ = false;
  int badLine_ = 0;  // of the first character code page 1252 cannot hold
  std::string what_;
};

}  // namespace

namespace {

// Parses the lines of a UTF-16LE file behind its byte-order mark.
bool ParseUtf16(const RegFileReader& read, std::string_view fileName,
                const RegFileStatementFn& each, std::string* error, RegFileLosses* losses) {
  Parser parser(fileName, each, error, losses);
  Utf16Lines lines(read, losses);
  const bool parsed = parser.Parse(lines);
  int line = 0;
  std::string what;
  if (!lines.Finish(&line, &what)) return parsed;
  if (line > 0) return parser.Fail(line, what);
  if (error) *error = std::string(fileName) + ": " + what;
  return false;
}

}  // namespace

bool ParseRegFileStatements(const RegFileReader& read, std::string_view fileName,
                            const RegFileStatementFn& each, std::string* error,
                            RegFileLosses* asAnsiSees) {
  char mark[2] = {};
  size_t got = 0, more = 0;
  std::string what;
  bool ok = read(mark, 2, &got, &what);
  if (ok && got == 1) ok = read(mark + 1, 1, &more, &what);
  got += more;
  if (ok && got == 2 && mark[0] == '\xFF' && mark[1] == '\xFE') {
    return ParseUtf16(read, fileName, each, error, asAnsiSees);
  }
  // Any other file is read whole.
  std::string bytes(mark, got);
  while (ok) {
    const size_t had = bytes.size();
    bytes.resize(had + (1 << 20));
    ok = read(&bytes[had], bytes.size() - had, &got, &what);
    bytes.resize(had + (ok ? got : 0));
    if (ok && got == 0) return ParseRegFileStatements(bytes, fileName, each, error, asAnsiSees);
  }
  if (error) *error = std::string(fileName) + ": " + what;
  return false;
}

bool ParseRegFileStatements(std::string_view bytes, std::string_view fileName,
                            const RegFileStatementFn& each, std::string* error,
                            RegFileLosses* asAnsiSees) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::string_view rest = bytes.substr(2);
    const RegFileReader read = [&](char* buffer, size_t size, size_t* got, std::string*) {
      *got = std::min(size, rest.size());
      std::memcpy(buffer, rest.data(), *got);
      rest.remove_prefix(*got);
      return true;
    };
    return ParseUtf16(read, fileName, each, error, asAnsiSees);
  }
  Parser parser(fileName, each, error, asAnsiSees);
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    return parser.Fail(1, "UTF-16 big-endian files are not supported");
  }
  TextLines lines(bytes);
  return parser.Parse(lines);
}

bool ParseRegFile(std::string_view bytes, std::string_view fileName, std::vector<RegFileOp>* ops,
                  std::string* error, RegFileLosses* asAnsiSees) {
  ops->clear();
  std::vector<RegFileOp> parsed;
  const RegFileStatementFn keep = [&](const RegFileOp& op) { parsed.push_back(op); };
  if (!ParseRegFileStatements(bytes, fileName, keep, error, asAnsiSees)) return false;
  *ops = std::move(parsed);
  return true;
}

void RegFileApplier::Apply(const RegFileOp& op) {
  switch (op.kind) {
    case RegFileOp::kKey:
      current_ = KeyFor(op.keyPath);
      if (replace_ && current_->fileMark != mark_) {
        current_->fileMark = mark_;
        current_->values.Clear();
        held_.push_back(current_);
      }
      break;
    case RegFileOp::kDeleteKey:
      Registry::DeleteTree(registry_->FindFull(op.keyPath));
      current_.reset();
      lastPath_.clear();
      chain_.clear();
      break;
    case RegFileOp::kSetValue: {
      std::shared_ptr<RegKey> key =
          current_ && !current_->deleted ? current_ : registry_->CreateFull(op.keyPath);
      key->values.Put(op.valueName, op.value);
      key->lastWriteTime = registry_->now;
      break;
    }
    case RegFileOp::kDeleteValue: {
      std::shared_ptr<RegKey> key =
          current_ && !current_->deleted ? current_ : registry_->FindFull(op.keyPath);
      if (key && key->values.Erase(op.valueName)) key->lastWriteTime = registry_->now;
      break;
    }
  }
}

RegFileApplier::RegFileApplier(Registry* registry) : registry_(registry) {
  static std::atomic<uint64_t> appliers{0};
  mark_ = ++appliers;
}

void RegFileApplier::Finish() {
  // The keys the file reached: those of its lines (marked as they came) and the keys above
  // them. A subkey of a held key that the file did not reach was the registry's own.
  for (const std::shared_ptr<RegKey>& key : held_) {
    for (RegKey* k = key->parent; k && k->fileMark != mark_; k = k->parent) k->fileMark = mark_;
  }
  std::vector<std::shared_ptr<RegKey>> foreign;
  for (const std::shared_ptr<RegKey>& key : held_) {
    if (key->deleted) continue;
    key->subkeys.ForEach([&](const std::string&, const std::shared_ptr<RegKey>& subkey) {
      if (subkey->fileMark != mark_) foreign.push_back(subkey);
    });
  }
  for (const std::shared_ptr<RegKey>& key : foreign) Registry::DeleteTree(key);
  held_.clear();
}

// The keys of the previous key line's path, each with the length of its own path,
// serve the next line as far as the two paths agree byte for byte: a file lists
// keys depth first, so most lines continue below an ancestor of the line before.
std::shared_ptr<RegKey> RegFileApplier::KeyFor(const std::string& path) {
  // Paths the simple walk below would read differently from CreateFull (doubled
  // or trailing separators) take CreateFull's own way.
  if (path.find("\\\\") != std::string::npos || (!path.empty() && path.back() == '\\')) {
    lastPath_.clear();
    chain_.clear();
    return registry_->CreateFull(path);
  }
  size_t same = 0;
  while (same < path.size() && same < lastPath_.size() && path[same] == lastPath_[same]) ++same;
  size_t kept = 0;
  while (kept < chain_.size() && chain_[kept].first <= same &&
         (chain_[kept].first == path.size() || path[chain_[kept].first] == '\\')) {
    ++kept;
  }
  chain_.resize(kept);
  if (chain_.empty()) {
    const size_t end = std::min(path.find('\\'), path.size());
    std::shared_ptr<RegKey> root = registry_->Root(std::string_view(path).substr(0, end));
    if (!root) {
      lastPath_.clear();
      return registry_->CreateFull(path);
    }
    chain_.emplace_back(end, std::move(root));
  }
  while (chain_.back().first < path.size()) {
    const size_t start = chain_.back().first + 1;
    const size_t end = std::min(path.find('\\', start), path.size());
    std::shared_ptr<RegKey> key =
        registry_->Create(chain_.back().second, std::string_view(path).substr(start, end - start));
    chain_.emplace_back(end, std::move(key));
  }
  lastPath_ = path;
  return chain_.back().second;
}

void ApplyRegFile(const std::vector<RegFileOp>& ops, Registry* registry) {
  RegFileApplier applier(registry);
  for (const RegFileOp& op : ops) applier.Apply(op);
}

}  // namespace sim
