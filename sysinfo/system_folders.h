// The folders and paths the programs build their file names from, read through the
// calls' 260-character buffers; a name that does not fit is a failure, never cut.
#pragma once

#include <string>

#include "platform/win32.h"

// True when `path` fits a 260-character buffer with its terminator.
inline bool FitsMaxPath(const std::string& path) { return path.size() < MAX_PATH; }

// The folder names; false when the call fails or its answer does not fit.
bool CurrentFolder(std::string* folder);
bool WindowsFolder(std::string* folder);
bool SystemFolder(std::string* folder);
// The folder of the 32-bit system files on 64-bit Windows (SysWOW64), where a 32-bit
// program's System32 leads; false where there is none.
bool Wow64SystemFolder(std::string* folder);
// The running program's full path.
bool ProgramPath(std::string* path);
