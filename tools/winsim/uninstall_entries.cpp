#include "tools/winsim/uninstall_entries.h"

#include <memory>

#include "tools/winsim/program_launch.h"
#include "tools/winsim/registry_text.h"

namespace winsim {

namespace {

// The 32-bit installer's view of HKLM\SOFTWARE is Wow6432Node on a 64-bit Windows.
std::string UninstallKeyPath(const sim::Machine& machine) {
  return machine.os.Is64Bit()
             ? "HKEY_LOCAL_"
               "MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
             : "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
}

}  // namespace

std::vector<UninstallEntry> OurUninstallEntries(const sim::Machine& machine) {
  std::vector<UninstallEntry> entries;
  const auto uninstall = machine.registry.FindFull(UninstallKeyPath(machine));
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
