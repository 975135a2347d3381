#include "tools/winsim/uninstall_entries.h"

#include <memory>

#include "platform/sim/machine/registry_view.h"
#include "tools/winsim/program_launch.h"
#include "tools/winsim/registry_text.h"
#include "uninstall_engine/uninstall_context.h"

namespace winsim {

std::string ThirtyTwoBitKeyPath(const sim::Machine& machine, const std::string& belowHklm) {
  std::vector<std::string> parts;
  sim::SplitKeyPath(belowHklm, &parts);
  const bool software = !parts.empty() && sim::NamesEqual(parts[0], "SOFTWARE");
  if (!software || !machine.os.Is64Bit()) return "HKEY_LOCAL_MACHINE\\" + belowHklm;
  parts.erase(parts.begin());
  if (sim::IsSharedSoftwareKey(parts)) return "HKEY_LOCAL_MACHINE\\" + belowHklm;
  return "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node" +
         belowHklm.substr(std::string("SOFTWARE").size());
}

std::vector<UninstallEntry> OurUninstallEntries(const sim::Machine& machine) {
  std::vector<UninstallEntry> entries;
  const auto uninstall =
      machine.registry.FindFull(ThirtyTwoBitKeyPath(machine, kUninstallEntriesKey));
  if (!uninstall) return entries;
  uninstall->subkeys.ForEach([&](const std::string&, const std::shared_ptr<sim::RegKey>& key) {
    const sim::RegValue* command = key->values.Find("UninstallString");
    if (!command) return;
    UninstallEntry entry{key->FullPath(), QueryText(*key), ValueText(*command)};
    ProgramFile program;
    std::string ignored;
    if (FindProgram(machine, entry.command, &program, &ignored) &&
        program.kind == ProgramKind::kUninstaller) {
      entries.push_back(std::move(entry));
    }
  });
  return entries;
}

std::vector<UninstallEntry> EntriesToRemove(const std::vector<UninstallEntry>& before,
                                            const std::vector<UninstallEntry>& after) {
  std::vector<UninstallEntry> fresh;
  for (const UninstallEntry& entry : after) {
    bool existed = false;
    for (const UninstallEntry& old : before) existed = existed || old.keyPath == entry.keyPath;
    if (!existed) fresh.push_back(entry);
  }
  return fresh.empty() ? after : fresh;
}

}  // namespace winsim
