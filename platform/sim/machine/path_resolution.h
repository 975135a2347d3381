// How the simulated file calls turn the name a program passes into a place on the
// machine's drives: the full-path rules of GetFullPathNameA, the ANSI length limits,
// WOW64 file-system redirection and FindFirstFileA's wildcards. Every file call goes
// through here, so that all of them agree on what a name means.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine/filesystem.h"
#include "platform/sim/machine/os_identity.h"

namespace sim {

class Process;

// Limits of the ANSI file functions, in characters.
constexpr size_t kMaxAnsiName = 260;       // longest name the ANSI-to-UTF-16 step converts
constexpr size_t kMaxFullPath = 259;       // longest full path: MAX_PATH less the NUL
constexpr size_t kMaxDirectoryPath = 247;  // CreateDirectoryA keeps room for "\" + an 8.3 name
constexpr size_t kMaxComponent = 255;      // longest single name on NTFS

// GetFullPathNameA's result for `input` against `currentDirectory` ("C:\a"):
// separators become '\', repeated separators collapse, "." and ".." are applied
// (never above the root), one trailing dot leaves each folder name and all trailing
// dots and spaces leave the last name; names keep the case they were written in and a
// trailing separator stays. "X:name" is relative to the current folder when X is its
// drive, "\name" to the current drive's root. Returns false for an empty name and for
// names this Windows has no drive letter for (UNC and device names).
bool FullPathName(std::string_view input, std::string_view currentDirectory, std::string* full);

// The place a 32-bit process on a 64-bit Windows reaches for `full` while redirection
// is on: %windir%\system32 and everything below it becomes %windir%\SysWOW64 (and
// %windir%\lastgood\system32 becomes %windir%\lastgood\SysWOW64), except the folders
// Windows keeps shared: system32\catroot, catroot2, drivers\etc, LogFiles and spool.
// Returns `full` unchanged when it is not redirected.
std::string RedirectSystem32(const std::string& full, const OsIdentity& os);

// True for the calling thread of a WOW64 process that has not turned redirection off.
bool RedirectsFileSystem(const Process& process);

struct ResolvedPath {
  std::string full;                 // as GetFullPathNameA gives it, in the program's view
  std::string target;               // the place on the drives, after redirection
  char drive = 0;                   // target's drive letter, upper case
  std::vector<std::string> parts;   // target's names below the drive root
  bool trailingSeparator = false;   // the name ended in '\' or '/'
  bool wildcardInLastName = false;  // '*' or '?' in the last name
};

// Applies the ANSI length limits, the full-path rules, the name rules and redirection
// for the calling thread of `process`. '*' and '?' are accepted in the last name only
// (FindFirstFileA wants them; the other calls refuse them with ERROR_INVALID_NAME).
// Returns false with the Win32 error the call fails with.
bool ResolvePath(const Process& process, const char* input, ResolvedPath* out, uint32_t* error);

// Where a resolved path leads on the drives.
struct PathLookup {
  bool wayExists = false;          // the drive and every folder before the last name exist
  std::shared_ptr<FsNode> folder;  // the folder that holds the last name (null for a root)
  std::shared_ptr<FsNode> node;    // the named file or folder; null when it does not exist
  std::string name;                // the last name as written (empty for a drive root)
};

PathLookup LookUp(const FileSystem& files, const ResolvedPath& path);

// A name Windows accepts for a file or folder: no control characters, none of
// < > : " | ? * / \, and no longer than an NTFS name.
bool IsValidName(std::string_view name);

// FindFirstFileA's matching of a name against the last part of its pattern, the way
// Windows does it: case is ignored, "*.*" matches every name, '*' any run of
// characters, '?' one character but nothing at a '.' or at the end of the name,
// ".*" / ".?" may match the end of a name without a dot, and "*." before the last dot
// stops at the name's last dot.
bool MatchesFilePattern(std::string_view pattern, std::string_view name);

// The same matching, with the pattern read once for the many names of a folder: a
// search holds one. Matching walks the name once, keeping the set of pattern places
// reached so far, and allocates nothing.
class FilePattern {
 public:
  explicit FilePattern(std::string_view pattern = "*");
  bool Matches(std::string_view name) const;

 private:
  // Patterns of up to 63 places keep the set as bits of one word (bit p: place p).
  bool MatchesByBits(std::string_view name) const;
  bool MatchesByRows(std::string_view name) const;

  std::vector<int> tokens_;  // the pattern's characters upper-cased, or a wildcard kind
  bool everything_ = false;  // "*" or "*.*"
  // For MatchesByBits: the places of each wildcard kind, and of each upper-cased byte.
  uint64_t stars_ = 0, dosStars_ = 0, dosQms_ = 0, dosDots_ = 0;
  std::vector<uint64_t> characters_;  // 256 words, empty for longer patterns
};

}  // namespace sim
