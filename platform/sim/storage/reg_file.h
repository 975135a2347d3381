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

// What reading an export of a real machine took otherwise than written. Such a file may
// hold what code page 1252 cannot (a device or program named in another script) and
// string data of odd length; the simulator keeps strings as the ANSI functions of a code
// page 1252 Windows return them, and those return such a character as '?' and leave
// the odd byte out. The machine folders' own files are read strictly instead: what the
// writer wrote comes back byte for byte, and anything else is refused.
struct RegFileLosses {
  size_t characters = 0;  // characters code page 1252 lacks, read as '?'
  int firstCharacterLine = 0;
  size_t oddStrings = 0;  // string values of odd length, their last byte left out
  int firstOddLine = 0;
};

// Parses a registry file: "Windows Registry Editor Version 5.00" (code page 1252, or
// UTF-16LE with a byte-order mark; strings written as hex hold UTF-16LE) or "REGEDIT4"
// (the registry editor's ANSI export, /a: strings written as hex hold ANSI bytes).
// Errors read "<fileName>:<line>: <what>". HKEY_CLASSES_ROOT paths are rewritten to
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes and HKEY_CURRENT_CONFIG paths to
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current, which is what
// Windows links them to. With `asAnsiSees`, the file is an export of a real machine, read
// as RegFileLosses says and the losses counted there.
bool ParseRegFile(std::string_view bytes, std::string_view fileName, std::vector<RegFileOp>* ops,
                  std::string* error, RegFileLosses* asAnsiSees = nullptr);

// The same, handing each statement to `each` as soon as it is read (a file of a
// million keys need not be held as statements); `each` copies what it keeps. On a
// fault, the statements before it have been handed on.
typedef std::function<void(const RegFileOp&)> RegFileStatementFn;
bool ParseRegFileStatements(std::string_view bytes, std::string_view fileName,
                            const RegFileStatementFn& each, std::string* error,
                            RegFileLosses* asAnsiSees = nullptr);

// The same for a file read a piece at a time: `read` fills up to `size` bytes and
// sets `*got`, 0 at the end; false on a read error, with `*error` (reported as the
// file's first line). A UTF-16 file is decoded as it is read.
typedef std::function<bool(char* buffer, size_t size, size_t* got, std::string* error)>
    RegFileReader;
bool ParseRegFileStatements(const RegFileReader& read, std::string_view fileName,
                            const RegFileStatementFn& each, std::string* error,
                            RegFileLosses* asAnsiSees = nullptr);

// Applies parsed statements in order: key lines create keys (and the keys above them),
// [-KEY] removes a tree, "v"=- removes a value; removing what is not there is no error,
// as in regedit. The parser has already refused what the registry cannot carry out.
void ApplyRegFile(const std::vector<RegFileOp>& ops, Registry* registry);

// ApplyRegFile one statement at a time.
class RegFileApplier {
 public:
  explicit RegFileApplier(Registry* registry);
  // The file is an export of a real machine: the registry editor writes every key of
  // what it exports, empty ones too, each with all its values. So a key the file holds
  // is the file's whole: what the registry held there before goes, its values at the
  // key's line and its subkeys the file does not hold at Finish.
  void ReplaceHeldKeys() { replace_ = true; }
  void Apply(const RegFileOp& op);
  void Finish();

 private:
  std::shared_ptr<RegKey> KeyFor(const std::string& path);

  Registry* registry_;
  bool replace_ = false;
  uint64_t mark_;                              // this applier's RegKey::fileMark
  std::vector<std::shared_ptr<RegKey>> held_;  // the keys of the file's key lines, once each
  std::shared_ptr<RegKey> current_;            // the key of the last key line, while it stands
  std::string lastPath_;                       // that line's path
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
