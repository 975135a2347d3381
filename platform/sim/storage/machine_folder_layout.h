// What a machine folder's load and save agree on besides the formats of its files: the
// registry files of each hive, and the end line that closes each of its own files (so
// that a file cut short at a line boundary is refused).
#pragma once

#include <string>
#include <string_view>

#include "platform/sim/storage/machine_folder.h"

namespace sim {
namespace folder_layout {

struct HiveFiles {
  const char* base;  // "HKLM"
  const char* hive;  // "HKEY_LOCAL_MACHINE"
  bool required;
};
inline constexpr HiveFiles kHiveFiles[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", true},
    {"HKCU", "HKEY_CURRENT_USER", false},
    {"HKU", "HKEY_USERS", false},
};

// A file's bytes begin with the UTF-16LE byte-order mark.
bool IsUtf16(std::string_view bytes);

// The end line with `lineEnd` after it, as the file's encoding writes it.
std::string EndLine(const char* lineEnd, bool utf16);

// Appends the end line in the encoding the bytes begin with.
void AddEndLine(std::string* bytes, const char* lineEnd);

// The last line is the end line, whole (a line end before it, CRLF or LF after it).
bool HasEndLine(std::string_view bytes, bool utf16);

// Which of a folder's machine files end in the end line. Folders written before the
// files were marked have none; they are read as they are, and their next save marks
// them. Once one file of a folder has its end line, every file must.
struct EndLineTally {
  bool seen = false;
  std::string firstWithout;  // the first file read without one

  // The file's last bytes (or all of them), and whether it began with a UTF-16 mark.
  void Note(const std::string& name, std::string_view lastBytes, bool utf16) {
    if (HasEndLine(lastBytes, utf16)) {
      seen = true;
    } else if (firstWithout.empty()) {
      firstWithout = name;
    }
  }

  bool Check(std::string* error) const {
    if (!seen || firstWithout.empty()) return true;
    if (error) {
      *error = firstWithout + ": the last line is not '" + kMachineFileEndLine +
               "': the file was cut short";
    }
    return false;
  }
};

}  // namespace folder_layout
}  // namespace sim
