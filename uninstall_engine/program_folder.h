// The program folder under Program Files: what may be found in it, and its deletion.
// The folder is named after the customer, so the name may be that of a folder that
// other software owns ("Common Files", "Windows NT"); such a folder is never deleted.
#pragma once

#include <string>

enum class ProgramFolderState {
  kAbsent,   // nothing stands at the path
  kOwn,      // a folder holding nothing but what the installer puts there
  kForeign,  // a file, or a folder holding anything else (or one that cannot be listed)
};

// What stands at `folder`, the program folder of `customerName`'s installation. Its own
// contents: Sabrelune.inf, Dovrik.inf and the platform folders X86, AMD64 and IA64, each
// holding the five driver files and the uninstaller copy `customerName`_Wendmarrow.exe.
ProgramFolderState InspectProgramFolder(const std::string& folder, const std::string& customerName);

// When `folder` is the installation's own, deletes the files the installer put there, by
// name, and then each folder that this leaves empty; anything else stays as it is. A
// reparse point at any level makes the folder foreign.
void DeleteOwnProgramFolder(const std::string& folder, const std::string& customerName);
