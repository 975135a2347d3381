// The folders a fresh installation of each Windows has: the programs Windows itself puts
// in Program Files (and, on 64-bit editions, in Program Files (x86)), and the other
// well-known folders of its drive. A customer name that names one of them must meet a
// folder that is there, with files in it, as on a real machine.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/machine/filesystem.h"
#include "platform/sim/machine/os_identity.h"

namespace sim {

// One folder a fresh installation has, and the file that stands for its contents (empty
// when Windows leaves that folder empty).
struct WellKnownFolder {
  std::string path;  // "C:\Program Files\Windows NT\Accessories"
  std::string file;  // "wordpad.exe", or empty
  bool hidden = false;
};

// Every such folder of the Windows `os` describes.
std::vector<WellKnownFolder> WellKnownFolders(const OsIdentity& os);

// Writes them, each file a placeholder with a size.
void WriteWellKnownFolders(FileSystem& files, const OsIdentity& os);

}  // namespace sim
