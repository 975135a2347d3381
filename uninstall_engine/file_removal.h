// Deleting a file the way every file pass does: its read-only, hidden and system bits
// are cleared first so that they cannot keep it; a failure leaves it in place, unreported.
#pragma once

#include <string>

#include "platform/win32.h"

inline void DeleteFileClearingAttributes(const char* path) {
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path);
}

// Deletes `path` now or, when it is still there afterwards (the image of the running
// uninstaller, which Windows will not delete), has Windows delete it at its next start.
// `atRestart` is the file's name as the system will see it then, without WOW64's
// redirection.
inline void DeleteNowOrAtRestart(const std::string& path, const std::string& atRestart) {
  DeleteFileClearingAttributes(path.c_str());
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  MoveFileExA(atRestart.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
