// Deleting a file the way every file pass does: its read-only, hidden and system bits
// are cleared first so that they cannot keep it; a failure leaves it in place, unreported.
#pragma once

#include "platform/win32.h"

inline void DeleteFileClearingAttributes(const char* path) {
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path);
}
