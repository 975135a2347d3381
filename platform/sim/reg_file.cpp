#include "platform/sim/reg_file.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace sim {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7;
// regedit breaks hex data after the comma that reaches this column.
constexpr size_t kMaxHexColumns = 77;

// Code points of 0x80..0x9F in code page 1252; the undefined ones map to themselves,
// as MultiByteToWideChar maps them.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsStringType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// A character that regedit writes as itself inside quotes and reads back unchanged:
// no control characters, and none of the bytes code page 1252 leaves undefined.
bool IsPrintable(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return false;
  return c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D;
}

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
};

class Parser {
 public:
  Parser(std::string_view fileName, std::vector<RegFileOp>* ops, std::string* error)
      : fileName_(fileName), ops_(ops), error_(error) {}

  bool Parse(std::string_view text) {
    SplitLines(text);
    if (lines_.empty() || TrimRight(lines_[0]) != kHeader) {
      return Fail(1, "missing header: the first line must be '" + std::string(kHeader) + "'");
    }
    for (size_t i = 1; i < lines_.size(); ++i) {
      const int lineNo = static_cast<int>(i + 1);
      const std::string_view line = Trim(lines_[i]);
      if (line.find('\0') != std::string_view::npos) return Fail(lineNo, "NUL character");
      if (line.empty() || line[0] == ';') continue;
      if (line[0] == '[') {
        if (!ParseKeyLine(line, lineNo)) return false;
      } else if (line[0] == '"' || line[0] == '@') {
        if (!ParseValueLine(line, &i)) return false;
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
  void SplitLines(std::string_view text) {
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      const bool last = end == std::string_view::npos;
      if (last) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.push_back(line);
      start = end + 1;
    }
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
    std::string full = hive->target;
    if (*hive->prefix) full += std::string("\\") + hive->prefix;
    size_t depth = *hive->prefix ? 2 : 0;
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
    RegFileOp op;
    op.kind = remove ? RegFileOp::kDeleteKey : RegFileOp::kKey;
    op.keyPath = std::move(full);
    op.line = lineNo;
    haveKey_ = !remove;
    if (haveKey_) currentKey_ = op.keyPath;
    ops_->push_back(std::move(op));
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

  // `*index` is the line's index; it advances over continuation lines.
  bool ParseValueLine(std::string_view line, size_t* index) {
    const int lineNo = static_cast<int>(*index + 1);
    if (!haveKey_) return Fail(lineNo, "value line outside any key");
    RegFileOp op;
    op.keyPath = currentKey_;
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
      std::string text;
      if (!ParseQuoted(rest, &end, lineNo, "string", &text)) return false;
      if (end != rest.size()) return Fail(lineNo, "text after the closing quote");
      op.kind = RegFileOp::kSetValue;
      op.value.type = kRegSz;
      op.value.data = std::move(text);
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
      std::string bytes;
      if (!ParseHexBytes(rest.substr(start), index, &bytes)) return false;
      op.kind = RegFileOp::kSetValue;
      op.value.type = type;
      if (IsStringType(type)) {
        std::string what;
        if (!Utf16LeToAnsi(bytes, &op.value.data, &what)) return Fail(lineNo, what);
      } else {
        op.value.data = std::move(bytes);
      }
    } else {
      return Fail(lineNo, "unknown value type '" + Excerpt(rest) + "'");
    }
    ops_->push_back(std::move(op));
    return true;
  }

  // Comma-separated two-digit bytes; a trailing backslash continues on the next line.
  bool ParseHexBytes(std::string_view segment, size_t* index, std::string* out) {
    for (;;) {
      const int lineNo = static_cast<int>(*index + 1);
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
      if (*index + 1 >= lines_.size()) return Fail(lineNo, "line continuation at end of file");
      ++*index;
      segment = lines_[*index];
    }
  }

  std::string_view fileName_;
  std::vector<RegFileOp>* ops_;
  std::string* error_;
  std::vector<std::string_view> lines_;
  bool haveKey_ = false;
  std::string currentKey_;
};

// UTF-16LE file (after its byte-order mark) to code page 1252 text.
bool DecodeUtf16File(std::string_view bytes, std::string* text, int* badLine, std::string* what) {
  int line = 1;
  if (bytes.size() % 2) {
    *badLine = line;
    *what = "UTF-16 file of odd length";
    return false;
  }
  std::string ansi;
  // Counting lines while converting, so the error names the line of the character.
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const uint32_t u = static_cast<unsigned char>(bytes[i]) |
                       static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    char c;
    if (!UnicodeToCp1252(u, &c)) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(u));
      *badLine = line;
      *what = std::string("character ") + hex + " has no code page 1252 form";
      return false;
    }
    if (c == '\n') ++line;
    ansi.push_back(c);
  }
  *text = std::move(ansi);
  return true;
}

void AppendEscaped(std::string* out, std::string_view text) {
  for (char c : text) {
    if (c == '\\' || c == '"') out->push_back('\\');
    out->push_back(c);
  }
}

bool Writable(std::string_view name) {
  for (unsigned char c : name) {
    if (!IsPrintable(c)) return false;
  }
  return true;
}

void AppendHex(std::string* out, size_t lineLen, std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    out->push_back(kDigits[b >> 4]);
    out->push_back(kDigits[b & 15]);
    if (i + 1 == bytes.size()) break;
    out->push_back(',');
    lineLen += 3;
    if (lineLen >= kMaxHexColumns) {
      out->append("\\\r\n  ");
      lineLen = 2;
    }
  }
}

void AppendValue(std::string* out, const std::string& name, const RegValue& value) {
  const size_t lineStart = out->size();
  if (name.empty()) {
    out->push_back('@');
  } else {
    out->push_back('"');
    AppendEscaped(out, name);
    out->push_back('"');
  }
  out->push_back('=');
  const std::string& d = value.data;
  if (value.type == kRegSz && !d.empty() && d.back() == '\0' &&
      Writable(std::string_view(d).substr(0, d.size() - 1))) {
    out->push_back('"');
    AppendEscaped(out, std::string_view(d).substr(0, d.size() - 1));
    out->append("\"\r\n");
    return;
  }
  if (value.type == kRegDword && d.size() == 4) {
    uint32_t v;
    std::memcpy(&v, d.data(), 4);
    char buf[32];
    std::snprintf(buf, sizeof buf, "dword:%08x\r\n", static_cast<unsigned>(v));
    out->append(buf);
    return;
  }
  if (value.type == kRegBinary) {
    out->append("hex:");
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
    out->append(buf);
  }
  const size_t lineLen = out->size() - lineStart;
  if (IsStringType(value.type)) {
    AppendHex(out, lineLen, AnsiToUtf16Le(d));
  } else {
    AppendHex(out, lineLen, d);
  }
  out->append("\r\n");
}

// `rootPath` is the name the root's line carries; `rootLineAlways` writes that line also
// for a root without values (an exported key must exist after the import).
bool AppendTree(const RegKey& root, const std::string& rootPath, bool rootLineAlways,
                std::string* out, std::string* error) {
  struct Pending {
    const RegKey* key;
    std::string path;
  };
  // Iterative, so that a pathologically deep tree cannot exhaust the stack.
  std::vector<Pending> stack;
  stack.push_back({&root, rootPath});
  std::vector<const RegKey*> children;
  while (!stack.empty()) {
    Pending p = std::move(stack.back());
    stack.pop_back();
    const RegKey& key = *p.key;
    if (&key != &root && !Writable(key.name)) {
      if (error) *error = p.path + ": key name with control characters cannot be written";
      return false;
    }
    if (&key != &root || rootLineAlways || !key.values.Empty()) {
      out->append("\r\n[");
      out->append(p.path);
      out->append("]\r\n");
      bool ok = true;
      key.values.ForEach([&](const std::string& name, const RegValue& value) {
        if (!ok) return;
        if (!Writable(name)) {
          if (error) *error = p.path + ": value name with control characters cannot be written";
          ok = false;
          return;
        }
        AppendValue(out, name, value);
      });
      if (!ok) return false;
    }
    children.clear();
    key.subkeys.ForEach([&](const std::string&, const std::shared_ptr<RegKey>& child) {
      children.push_back(child.get());
    });
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      stack.push_back({*it, p.path + "\\" + (*it)->name});
    }
  }
  return true;
}

}  // namespace

std::string FormatRegValueLine(const std::string& name, const RegValue& value) {
  std::string line;
  AppendValue(&line, name, value);
  line.resize(line.size() - 2);  // the CRLF
  return line;
}

uint32_t Cp1252ToUnicode(unsigned char c) {
  return (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c;
}

bool UnicodeToCp1252(uint32_t codePoint, char* out) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    *out = static_cast<char>(codePoint);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == codePoint) {
      *out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

std::string AnsiToUtf16Le(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() * 2);
  for (char c : ansi) {
    const uint32_t u = Cp1252ToUnicode(static_cast<unsigned char>(c));
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

bool Utf16LeToAnsi(std::string_view utf16, std::string* ansi, std::string* error) {
  if (utf16.size() % 2) {
    if (error) *error = "string data of odd length (UTF-16 takes two bytes a character)";
    return false;
  }
  std::string out;
  out.reserve(utf16.size() / 2);
  for (size_t i = 0; i < utf16.size(); i += 2) {
    const uint32_t u = static_cast<unsigned char>(utf16[i]) |
                       static_cast<uint32_t>(static_cast<unsigned char>(utf16[i + 1])) << 8;
    char c;
    if (!UnicodeToCp1252(u, &c)) {
      if (error) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(u));
        *error = std::string("character ") + hex + " has no code page 1252 form";
      }
      return false;
    }
    out.push_back(c);
  }
  *ansi = std::move(out);
  return true;
}

bool ParseRegFile(std::string_view bytes, std::string_view fileName, std::vector<RegFileOp>* ops,
                  std::string* error) {
  ops->clear();
  std::vector<RegFileOp> parsed;
  Parser parser(fileName, &parsed, error);
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    return parser.Fail(1, "UTF-16 big-endian files are not supported");
  }
  bool ok;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::string text, what;
    int badLine = 0;
    if (!DecodeUtf16File(bytes.substr(2), &text, &badLine, &what)) {
      return parser.Fail(badLine, what);
    }
    ok = parser.Parse(text);  // the ops copy what they keep out of `text`
  } else {
    ok = parser.Parse(bytes);
  }
  if (ok) *ops = std::move(parsed);
  return ok;
}

void ApplyRegFile(const std::vector<RegFileOp>& ops, Registry* registry) {
  std::shared_ptr<RegKey> current;  // the key of the last key line, while it stands
  for (const RegFileOp& op : ops) {
    switch (op.kind) {
      case RegFileOp::kKey:
        current = registry->CreateFull(op.keyPath);
        break;
      case RegFileOp::kDeleteKey:
        Registry::DeleteTree(registry->FindFull(op.keyPath));
        current.reset();
        break;
      case RegFileOp::kSetValue: {
        std::shared_ptr<RegKey> key =
            current && !current->deleted ? current : registry->CreateFull(op.keyPath);
        key->values.Put(op.valueName, op.value);
        key->lastWriteTime = registry->now;
        break;
      }
      case RegFileOp::kDeleteValue: {
        std::shared_ptr<RegKey> key =
            current && !current->deleted ? current : registry->FindFull(op.keyPath);
        if (key && key->values.Erase(op.valueName)) key->lastWriteTime = registry->now;
        break;
      }
    }
  }
}

namespace {

void FinishRegFile(std::string text, RegFileEncoding encoding, std::string* out) {
  text.append("\r\n");
  if (encoding == RegFileEncoding::kUtf16Le) {
    *out = std::string("\xFF\xFE", 2) + AnsiToUtf16Le(text);
  } else {
    *out = std::move(text);
  }
}

}  // namespace

bool FormatRegFile(const std::vector<const RegKey*>& roots, RegFileEncoding encoding,
                   std::string* out, std::string* error) {
  std::string text(kHeader);
  text.append("\r\n");
  for (const RegKey* root : roots) {
    if (!AppendTree(*root, root->name, false, &text, error)) return false;
  }
  FinishRegFile(std::move(text), encoding, out);
  return true;
}

bool FormatRegFile(const RegKey& root, RegFileEncoding encoding, std::string* out,
                   std::string* error) {
  return FormatRegFile(std::vector<const RegKey*>{&root}, encoding, out, error);
}

bool FormatRegExport(const RegKey& key, RegFileEncoding encoding, std::string* out,
                     std::string* error) {
  std::string text(kHeader);
  text.append("\r\n");
  if (!AppendTree(key, key.FullPath(), true, &text, error)) return false;
  FinishRegFile(std::move(text), encoding, out);
  return true;
}

}  // namespace sim
