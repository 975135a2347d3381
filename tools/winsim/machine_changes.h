// What differs between two states of a machine, in the three groups people look for
// after a driver installation: files and folders, registry keys and values, and the INF
// files staged with the device installer (%windir%\inf\oemN.inf and .pnf), each staged
// file with the package INF it came from. As text for people and as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_diff.h"

namespace winsim {

// JSON documents for machine readers: objects keep their keys in the order they were
// set, so that a report's layout is stable.
using Json = nlohmann::ordered_json;

struct StagedInfChange {
  sim::MachineChange change;
  std::string origin;  // the package INF whose text the file holds; empty when none does
};

struct MachineChanges {
  std::vector<sim::MachineChange> files;     // folders and files, staged INF files aside
  std::vector<sim::MachineChange> registry;  // keys and values
  std::vector<StagedInfChange> stagedInfs;
  bool Empty() const { return files.empty() && registry.empty() && stagedInfs.empty(); }
};

// The INF files of a package drive, by full path, with their text: where staged files
// come from.
using PackageInfs = std::vector<std::pair<std::string, std::string>>;
PackageInfs PackageInfsOn(const std::vector<sim::MachineItem>& inventory, char drive);

// Sorts `changes` (pointing into two inventories that must outlive the result) into
// the groups. `windowsFolder` locates the INF folder.
MachineChanges GroupChanges(const std::vector<sim::MachineChange>& changes,
                            const std::string& windowsFolder, const PackageInfs& packageInfs);

// One block per group, each line indented by `indent`; an empty group reads "none".
// Paths and texts are code page 1252 turned into UTF-8.
std::string ChangesText(const MachineChanges& changes, const std::string& indent);

// {"files": [...], "registry": [...], "staged_inf_files": [...]}, entries as the help
// of winsim preview describes them.
Json ChangesJson(const MachineChanges& changes);

// The registry group alone: its lines as ChangesText writes them, and its entries.
std::string RegistryChangesText(const std::vector<sim::MachineChange>& changes,
                                const std::string& indent);
Json RegistryChangesJson(const std::vector<sim::MachineChange>& changes);

}  // namespace winsim
