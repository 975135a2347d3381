// A driver package folder of the host put on a simulated drive, the way a package
// disc or folder appears to Windows.
#pragma once

#include <string>

#include "platform/sim/machine.h"

namespace winsim {

// Copies the contents of `hostFolder` (files and folders, recursively) to the root of
// `drive`, and adds the installer's placeholder (Kestrolin.exe) at the root when the
// package has none, since packages are kept without it. Refuses names Windows or code
// page 1252 cannot hold, paths longer than MAX_PATH, and entries that are neither files
// nor folders; nothing is written to the machine then.
bool PutPackageOnDrive(const std::string& hostFolder, char drive, sim::Machine* machine,
                       std::string* error);

}  // namespace winsim
