// A driver package folder of the host put on a simulated drive, the way a package
// disc or folder appears to Windows.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"

namespace winsim {

// One file or folder of a package as Windows will see it.
struct PackageEntry {
  std::string hostPath;     // "pkg/X86/Orrick.sys", for messages
  std::string windowsPath;  // "D:\X86\Orrick.sys"
  bool isFolder = false;
  std::string content;
};

// The one reader of a host package folder, for create --package, preview and check:
// the whole folder, depth first, each name checked as Windows and code page 1252 must
// hold it (two names differing only in case are refused), paths no longer than
// MAX_PATH, only regular files and folders (a link, FIFO or device is refused, not
// followed), each file and the whole within the sizes a simulated drive holds.
// `windowsFolder` is where the package goes: "D:" (a drive's root) or a folder such as
// "C:\Package".
bool ReadHostPackage(const std::string& hostFolder, const std::string& windowsFolder,
                     std::vector<PackageEntry>* entries, std::string* error);

// Copies the contents of `hostFolder` (files and folders, recursively) into
// `windowsFolder` ("D:" for the drive's root), and adds the installer's placeholder
// (Kestrolin.exe) there when the package has none, since packages are kept without it. Refuses
// names Windows or code page 1252 cannot hold, paths longer than MAX_PATH, and entries that are
// neither files nor folders; nothing is written to the machine then.
bool PutPackageInFolder(const std::string& hostFolder, const std::string& windowsFolder,
                        sim::Machine* machine, std::string* error);

}  // namespace winsim
