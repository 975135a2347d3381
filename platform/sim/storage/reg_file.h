// Registry files in the text format of Windows' registry editor ("Windows Registry
// Editor Version 5.00"), so that one fixture imports into the simulator, into Wine
// (`regedit /S`) and into a real Windows.
//
// The simulator keeps values as the ANSI functions see them; Windows and Wine keep
// strings as UTF-16 and convert at the ANSI boundary (code page 1252). The writer
// therefore emits "name"="text" only for a REG_SZ that is printable text with exactly
// one terminating NUL, and every other string value as hex(1)/hex(2)/hex(7) holding
// the UTF-16LE form of its ANSI bytes; the reader converts those back.
//
// Files are written as UTF-16LE with a byte-order mark, as regedit exports them. Wine's
// regedit reads hex(1)/hex(2)/hex(7) bytes of a file without the mark as ANSI text (one
// character a byte), so a code page 1252 file would turn "%SystemRoot%" written as
// 25,00,53,00,... into "%\0S\0..." there. Code page 1252 output stays available for
// people (winsim show) and for files that hold no string written as hex.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/machine/code_page.h"  // the conversions its strings go through
#include "platform/sim/machine/registry.h"

namespace sim {

// One statement of a registry file, in file order.
struct RegFileOp {
  enum Kind : uint8_t { kKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kKey;
  std::string keyPath;    // "HKEY_LOCAL_MACHINE\..." (hive name as the registry spells it)
  std::string valueName;  // "" is the default value (@)
  RegValue value;         // kSetValue only
  int line = 0;           // 1-based line of the statement
};

// Parses a registry file (code page 1252, or UTF-16LE with a byte-order mark).
// Errors read "<fileName>:<line>: <what>". HKEY_CLASSES_ROOT paths are rewritten to
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes, which is what the simulator's HKCR is.
bool ParseRegFile(std::string_view bytes, std::string_view fileName, std::vector<RegFileOp>* ops,
                  std::string* error);

// The same, handing each statement to `each` as soon as it is read (a file of a
// million keys need not be held as statements); `each` copies what it keeps. On a
// fault, the statements before it have been handed on.
typedef std::function<void(const RegFileOp&)> RegFileStatementFn;
bool ParseRegFileStatements(std::string_view bytes, std::string_view fileName,
                            const RegFileStatementFn& each, std::string* error);

// The same for a file read a piece at a time: `read` fills up to `size` bytes and
// sets `*got`, 0 at the end; false on a read error, with `*error` (reported as the
// file's first line). A UTF-16 file is decoded as it is read.
typedef std::function<bool(char* buffer, size_t size, size_t* got, std::string* error)>
    RegFileReader;
bool ParseRegFileStatements(const RegFileReader& read, std::string_view fileName,
                            const RegFileStatementFn& each, std::string* error);

// Applies parsed statements in order: key lines create keys (and the keys above them),
// [-KEY] removes a tree, "v"=- removes a value; removing what is not there is no error,
// as in regedit. The parser has already refused what the registry cannot carry out.
void ApplyRegFile(const std::vector<RegFileOp>& ops, Registry* registry);

// ApplyRegFile one statement at a time.
class RegFileApplier {
 public:
  explicit RegFileApplier(Registry* registry) : registry_(registry) {}
  void Apply(const RegFileOp& op);

 private:
  std::shared_ptr<RegKey> KeyFor(const std::string& path);

  Registry* registry_;
  std::shared_ptr<RegKey> current_;  // the key of the last key line, while it stands
  std::string lastPath_;             // that line's path
  // The keys along lastPath_, hive root first, each with the length of its path.
  std::vector<std::pair<size_t, std::shared_ptr<RegKey>>> chain_;
};

enum class RegFileEncoding {
  kUtf16Le,  // byte-order mark, then UTF-16LE: what regedit writes, and what Wine reads right
  kCp1252,   // no mark: for people to read
};

// Writes `root` and its whole subtree, depth-first in enumeration order, values in
// their order, CRLF line ends. The root's own line is written only when it has values.
// Fails (naming the key) on a name the format cannot hold.
bool FormatRegFile(const RegKey& root, RegFileEncoding encoding, std::string* out,
                   std::string* error);

// The same, handing the file to `sink` in pieces (of about a megabyte of text) as
// it is produced, so that a registry of millions of keys is never held as one
// text. A sink that returns false ends the writing, with its `error`.
typedef std::function<bool(std::string_view piece, std::string* error)> RegFileSink;
bool WriteRegFile(const RegKey& root, RegFileEncoding encoding, const RegFileSink& sink,
                  std::string* error);

// Whether FormatRegFile can write the tree; if not, the same error.
bool CheckRegFile(const RegKey& root, std::string* error);

// The same for several trees into one file (used by `winsim show`).
bool FormatRegFile(const std::vector<const RegKey*>& roots, RegFileEncoding encoding,
                   std::string* out, std::string* error);

// One key as the registry editor exports it: the key's own line always, under its full
// path, then its whole subtree as above.
bool FormatRegExport(const RegKey& key, RegFileEncoding encoding, std::string* out,
                     std::string* error);

// One value's line as a registry file holds it ("name"=data, @=data for the default
// value), without its line end; long hex data continues on further lines ("\\" then
// CRLF and two spaces), as regedit writes it.
std::string FormatRegValueLine(const std::string& name, const RegValue& value);

}  // namespace sim
