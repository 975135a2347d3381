// Making machines: a fresh machine of an edition, with a driver package of the host on
// its D: drive, and the default machine the demo and people start from.
#pragma once

#include <memory>
#include <string>

#include "platform/sim/machine/machine.h"

namespace winsim {

// The drive a package is put on: the computer's CD drive or second disk.
constexpr char kPackageDrive = 'D';

// The default machine: XP, 32-bit, with the sample package on D:.
constexpr const char* kDefaultEdition = "xp";

// Null with a usage-level message for an unknown edition (the list of editions).
// The package goes into `packageFolder`: the root of D: unless told otherwise.
std::unique_ptr<sim::Machine> NewMachine(const std::string& edition,
                                         const std::string& hostPackageFolder, std::string* error,
                                         const std::string& packageFolder = "D:");
bool IsEdition(const std::string& name);
std::string UnknownEditionMessage(const std::string& name);

// The sample package in the source tree this winsim was built from.
std::string SamplePackageFolder();

// A script of tools/winsim/demo in that source tree ("install.script").
std::string DemoScript(const char* name);
// The script that plays the uninstaller to its end on `os`: it offers a restart on
// 64-bit NT 5, refuses on 64-bit Windows after it, and needs no restart elsewhere.
const char* UninstallScriptFor(const sim::OsIdentity& os);

// Where the machines of the demo live: $HOME/.kestrolin/machines (the user database's
// home folder when HOME is unset); the default machine is its "default" folder.
bool MachinesFolder(std::string* folder, std::string* error);

// Creates `folder` and the folders above it, like mkdir -p.
bool MakeHostFolders(const std::string& folder, std::string* error);

}  // namespace winsim
