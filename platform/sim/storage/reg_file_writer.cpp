// Writing registry files: a key tree in the registry editor's text format, handed on in
// pieces as it is produced, or only checked for what the format cannot hold.
#include "platform/sim/storage/reg_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/storage/reg_file_format.h"

namespace sim {

using namespace reg_file_format;

namespace {

// regedit breaks hex data after the comma that reaches this column.
constexpr size_t kMaxHexColumns = 77;

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
// Text gathered before it is handed on in one piece: large enough that a piece
// costs little, small enough that a registry of millions of keys is never held as
// one text.
constexpr size_t kPieceBytes = 1 << 20;

// The text of a registry file as it is produced: pieces of code page 1252 text, each
// handed to the sink in the file's encoding.
class RegFileWriter {
 public:
  RegFileWriter(RegFileEncoding encoding, const RegFileSink& sink)
      : encoding_(encoding), sink_(sink) {
    if (encoding_ == RegFileEncoding::kUtf16Le) pending_.assign("\xFF\xFE", 2);
  }
  // Where the text goes; Flush hands it on.
  std::string* text() { return &text_; }
  bool FlushIfFull(std::string* error) { return text_.size() < kPieceBytes || Flush(error); }
  bool Flush(std::string* error) {
    if (encoding_ == RegFileEncoding::kUtf16Le) {
      const size_t at = pending_.size();
      pending_.resize(at + 2 * text_.size());
      EncodeUtf16Le(text_, &pending_[at]);
    } else {
      pending_.append(text_);
    }
    text_.clear();
    const bool ok = pending_.empty() || sink_(pending_, error);
    pending_.clear();
    return ok;
  }

 private:
  RegFileEncoding encoding_;
  const RegFileSink& sink_;
  std::string text_;
  std::string pending_;
};

// Writes the tree to `writer`, or with no writer only checks that it can be written.
bool AppendTree(const RegKey& root, const std::string& rootPath, bool rootLineAlways,
                RegFileWriter* writer, std::string* error) {
  std::string* const out = writer ? writer->text() : nullptr;
  // Iterative, so that a pathologically deep tree cannot exhaust the stack. Each
  // pending key notes how long its parent's path is: depth first, the parent's
  // path is always the start of the one built last.
  struct Pending {
    const RegKey* key;
    size_t parentPath;
  };
  std::vector<Pending> stack;
  stack.push_back({&root, 0});
  std::string path;
  std::vector<const RegKey*> children;
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    const RegKey& key = *p.key;
    if (&key == &root) {
      path = rootPath;
    } else {
      path.resize(p.parentPath);
      path += '\\';
      path += key.name;
      if (!Writable(key.name)) {
        if (error) *error = path + ": key name with control characters cannot be written";
        return false;
      }
    }
    if (&key != &root || rootLineAlways || !key.values.Empty()) {
      if (out) {
        out->append("\r\n[");
        out->append(path);
        out->append("]\r\n");
      }
      bool ok = true;
      key.values.ForEach([&](const std::string& name, const RegValue& value) {
        if (!ok) return;
        if (!Writable(name)) {
          if (error) *error = path + ": value name with control characters cannot be written";
          ok = false;
          return;
        }
        if (out) AppendValue(out, name, value);
      });
      if (!ok) return false;
      if (writer && !writer->FlushIfFull(error)) return false;
    }
    children.clear();
    key.subkeys.ForEach([&](const std::string&, const std::shared_ptr<RegKey>& child) {
      children.push_back(child.get());
    });
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      stack.push_back({*it, path.size()});
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

namespace {

bool WriteRegFile(const std::vector<const RegKey*>& roots, const std::string* exportPath,
                  RegFileEncoding encoding, const RegFileSink& sink, std::string* error) {
  RegFileWriter writer(encoding, sink);
  writer.text()->append(kHeader).append("\r\n");
  for (const RegKey* root : roots) {
    if (!AppendTree(*root, exportPath ? *exportPath : root->name, exportPath != nullptr, &writer,
                    error)) {
      return false;
    }
  }
  writer.text()->append("\r\n");
  return writer.Flush(error);
}

// Gathers the pieces into one string.
bool FormatInto(const std::vector<const RegKey*>& roots, const std::string* exportPath,
                RegFileEncoding encoding, std::string* out, std::string* error) {
  std::string text;
  const RegFileSink gather = [&](std::string_view piece, std::string*) {
    text.append(piece);
    return true;
  };
  if (!WriteRegFile(roots, exportPath, encoding, gather, error)) return false;
  *out = std::move(text);
  return true;
}

}  // namespace

bool WriteRegFile(const RegKey& root, RegFileEncoding encoding, const RegFileSink& sink,
                  std::string* error) {
  return WriteRegFile({&root}, nullptr, encoding, sink, error);
}

bool CheckRegFile(const RegKey& root, std::string* error) {
  return AppendTree(root, root.name, false, nullptr, error);
}

bool FormatRegFile(const std::vector<const RegKey*>& roots, RegFileEncoding encoding,
                   std::string* out, std::string* error) {
  return FormatInto(roots, nullptr, encoding, out, error);
}

bool FormatRegFile(const RegKey& root, RegFileEncoding encoding, std::string* out,
                   std::string* error) {
  return FormatInto({&root}, nullptr, encoding, out, error);
}

bool FormatRegExport(const RegKey& key, RegFileEncoding encoding, std::string* out,
                     std::string* error) {
  const std::string path = key.FullPath();
  return FormatInto({&key}, &path, encoding, out, error);
}

}  // namespace sim
