// The entries of Windows' list of installed programs that start our uninstaller: what
// the installer registered, and the commands Windows runs to remove it.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"

namespace winsim {

struct UninstallEntry {
  std::string keyPath;
  std::string text;     // as reg query shows it
  std::string command;  // UninstallString
};

// The full path of the key that `belowHklm` names below HKEY_LOCAL_MACHINE for a 32-bit
// program: a key of SOFTWARE lies under Wow6432Node on a 64-bit Windows, unless Windows
// shares it between the views.
std::string ThirtyTwoBitKeyPath(const sim::Machine& machine, const std::string& belowHklm);

// The entries whose UninstallString names a file that stands for the uninstaller. A
// 32-bit installer's entries on a 64-bit Windows are under Wow6432Node.
std::vector<UninstallEntry> OurUninstallEntries(const sim::Machine& machine);

// The entries the installer wrote: those that were not there before it ran; when it
// replaced an earlier installation, the entries that are there now.
std::vector<UninstallEntry> EntriesToRemove(const std::vector<UninstallEntry>& before,
                                            const std::vector<UninstallEntry>& after);

}  // namespace winsim
