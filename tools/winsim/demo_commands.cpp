// The demo: the sample package installed on the default machine through the
// installer's dialog, then removed through the command of the Uninstall entry it wrote,
// as Windows' list of installed programs starts it. In a terminal the user plays both
// dialogs; without one the demo scripts do, and every dialog state is printed.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_diff.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/pending_file_operations.h"
#include "tools/winsim/commands.h"
#include "tools/winsim/machine_setup.h"
#include "tools/winsim/program_launch.h"
#include "tools/winsim/uninstall_entries.h"

namespace winsim {

namespace {

// Every file and registry key below HKEY_LOCAL_MACHINE, for what the programs added
// and left.
std::set<std::string> Inventory(const sim::Machine& machine) {
  std::set<std::string> items;
  for (const sim::MachineItem& item : sim::TakeInventory(machine)) {
    if (item.kind == sim::MachineItem::Kind::kFile) {
      items.insert("file " + item.path);
    } else if (item.kind == sim::MachineItem::Kind::kKey &&
               item.path.rfind("HKEY_LOCAL_MACHINE\\", 0) == 0) {
      items.insert("key  " + item.path);
    }
  }
  return items;
}

std::vector<std::string> Minus(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::vector<std::string> out;
  for (const std::string& item : a) {
    if (!b.count(item)) out.push_back(item);
  }
  return out;
}

// "12 files and 4 registry keys" of an inventory difference.
std::string Counted(const std::vector<std::string>& items) {
  size_t files = 0;
  for (const std::string& item : items) files += item.compare(0, 5, "file ") == 0;
  const size_t keys = items.size() - files;
  return std::to_string(files) + (files == 1 ? " file" : " files") + " and " +
         std::to_string(keys) + (keys == 1 ? " registry key" : " registry keys");
}

void PrintEntries(const char* when, const std::vector<UninstallEntry>& entries) {
  std::printf("Uninstall entry %s:%s\n", when, entries.empty() ? " none" : "");
  for (const UninstallEntry& entry : entries) {
    std::printf("%s", sim::Cp1252ToUtf8(entry.text).c_str());
  }
}

// One program run as the user starts it: the machine loaded from its folder, the
// program run, the machine saved.
bool RunOnMachineFolder(const std::string& folder, const std::string& programPath,
                        const LaunchOptions& options, std::string* failure) {
  std::unique_ptr<sim::Machine> machine = sim::LoadMachineToChange(folder, failure);
  if (!machine) return false;
  ProgramFile program;
  if (!FindProgram(*machine, programPath, &program, failure)) return false;
  std::printf("\n== %s started: %s\n", ProgramFileName(program.kind),
              sim::Cp1252ToUtf8(program.modulePath).c_str());
  std::fflush(stdout);
  const bool ran = LaunchProgram(*machine, program, options, failure);
  std::string error;
  if (!sim::SaveMachine(*machine, folder, &error)) {
    *failure = error;
    return false;
  }
  return ran;
}

struct DemoMachine {
  std::string folder;
  std::string edition;
};

// The default machine, made on first use (or again with --fresh); with --edition a
// fresh machine of that edition in its own folder beside it.
bool PrepareMachine(const ParsedArgs& parsed, DemoMachine* demo, std::string* error) {
  std::string machines;
  if (!MachinesFolder(&machines, error) || !MakeHostFolders(machines, error)) return false;
  const std::string* edition = parsed.Option("edition");
  demo->edition = edition ? *edition : kDefaultEdition;
  demo->folder = machines + "/" + (edition ? *edition : std::string("default"));
  const bool exists = ::access((demo->folder + "/machine.ini").c_str(), F_OK) == 0;
  if (exists && !edition && !parsed.Has("fresh")) {
    std::unique_ptr<sim::Machine> machine = sim::LoadMachine(demo->folder, error);
    if (!machine) {
      *error += "\n(winsim demo --fresh makes the default machine again)";
      return false;
    }
    demo->edition = machine->os.edition;
    std::printf("Machine: %s (%s), kept from the last demo\n", demo->folder.c_str(),
                demo->edition.c_str());
    return true;
  }
  std::unique_ptr<sim::Machine> machine = NewMachine(demo->edition, SamplePackageFolder(), error);
  if (!machine || !sim::SaveMachine(*machine, demo->folder, error)) return false;
  std::printf("Machine: %s (%s), made fresh, sample package on %c:\n", demo->folder.c_str(),
              demo->edition.c_str(), kPackageDrive);
  return true;
}

int Demo(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {"edition"}, {"fresh"});
  if (!parsed.error.empty()) return BadUsage("demo", parsed.error);
  if (!parsed.positional.empty()) return BadUsage("demo", "takes no folder");
  if (parsed.Option("edition") && !IsEdition(*parsed.Option("edition"))) {
    return BadUsage("demo", UnknownEditionMessage(*parsed.Option("edition")));
  }
  const bool interactive = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  DemoMachine demo;
  std::string error;
  if (!PrepareMachine(parsed, &demo, &error)) return Fail(error);

  std::unique_ptr<sim::Machine> before = sim::LoadMachine(demo.folder, &error);
  if (!before) return Fail(error);
  const sim::OsIdentity os = before->os;
  const size_t restartsBefore = before->restartRequests.size();
  const std::vector<UninstallEntry> entriesBefore = OurUninstallEntries(*before);
  const std::set<std::string> inventoryBefore = Inventory(*before);
  before.reset();
  PrintEntries("before", entriesBefore);

  LaunchOptions install;
  install.echoScreens = true;
  if (!interactive) {
    install.scriptPath = DemoScript(entriesBefore.empty() ? "install.script" : "reinstall.script");
  }
  const std::string installer = std::string(1, kPackageDrive) + ":\\Kestrolin.exe";
  if (!RunOnMachineFolder(demo.folder, installer, install, &error)) {
    return Fail(sim::Cp1252ToUtf8(error));
  }

  std::unique_ptr<sim::Machine> installed = sim::LoadMachine(demo.folder, &error);
  if (!installed) return Fail(error);
  const std::vector<UninstallEntry> entriesInstalled = OurUninstallEntries(*installed);
  const std::set<std::string> inventoryInstalled = Inventory(*installed);
  installed.reset();
  std::printf("\n");
  PrintEntries("after the installer", entriesInstalled);
  if (entriesInstalled.empty()) {
    return Fail(
        "the installer wrote no Uninstall entry that starts the uninstaller; nothing to "
        "uninstall");
  }
  if (interactive) {
    std::printf(
        "\nPress Enter to start the Uninstall entry's command (as Windows' list of "
        "installed programs does)...");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
  }

  LaunchOptions uninstall;
  uninstall.echoScreens = true;
  if (!interactive) {
    uninstall.scriptPath = DemoScript(UninstallScriptFor(os));
  }
  const std::vector<UninstallEntry> removing = EntriesToRemove(entriesBefore, entriesInstalled);
  for (const UninstallEntry& entry : removing) {
    if (!RunOnMachineFolder(demo.folder, entry.command, uninstall, &error)) {
      return Fail(sim::Cp1252ToUtf8(error));
    }
  }

  std::unique_ptr<sim::Machine> after = sim::LoadMachine(demo.folder, &error);
  if (!after) return Fail(error);
  const std::vector<UninstallEntry> entriesAfter = OurUninstallEntries(*after);
  // What is left is counted as Windows leaves it at its next start, when it carries out
  // the deletions the uninstaller left to it (its own running copy); the machine folder
  // keeps them waiting.
  const std::vector<std::string> atNextStart = sim::CarryOutPendingFileOperations(*after);
  const std::set<std::string> inventoryAfter = Inventory(*after);

  std::printf("\n== Summary (machine %s, %s)\n", demo.folder.c_str(), demo.edition.c_str());
  PrintEntries("before", entriesBefore);
  PrintEntries("after the installer", entriesInstalled);
  PrintEntries("after the uninstaller", entriesAfter);
  const std::vector<std::string> added = Minus(inventoryInstalled, inventoryBefore);
  const std::vector<std::string> left = Minus(inventoryAfter, inventoryBefore);
  const std::vector<std::string> taken = Minus(inventoryBefore, inventoryAfter);
  if (!atNextStart.empty()) {
    std::printf("Left to the next start of Windows, which carries it out:\n");
    for (const std::string& line : atNextStart)
      std::printf("  %s\n", sim::Cp1252ToUtf8(line).c_str());
  }
  std::printf("The installer added %s; after the uninstaller%s %s left%s\n", Counted(added).c_str(),
              atNextStart.empty() ? "" : " and that start",
              left.empty() ? "none of them is" : (Counted(left) + " are").c_str(),
              left.empty() ? "." : ":");
  for (const std::string& item : left) std::printf("  %s\n", sim::Cp1252ToUtf8(item).c_str());
  if (!taken.empty()) {
    std::printf("Removed that was there before the demo (an earlier installation):\n");
    for (const std::string& item : taken) std::printf("  %s\n", sim::Cp1252ToUtf8(item).c_str());
  }
  if (after->restartRequests.size() > restartsBefore) {
    std::printf("A restart was requested (the simulated machine records it and goes on).\n");
  }
  for (const UninstallEntry& entry : removing) {
    if (after->registry.FindFull(entry.keyPath)) {
      return Fail(sim::Cp1252ToUtf8(entry.keyPath) + ": still there after the uninstaller ran");
    }
  }
  std::printf("Demo done: installed and uninstalled.\n");
  return kOk;
}

}  // namespace

std::vector<Command> DemoCommands() {
  return {{"demo", "[--edition NAME] [--fresh]",
           "install the sample package on ~/.kestrolin/machines/default (xp) and uninstall it",
           Demo}};
}

}  // namespace winsim
