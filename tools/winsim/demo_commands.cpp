// The demo: the sample package installed on the default machine through the
// installer's dialog, then removed through the command of the Uninstall entry it wrote,
// as Windows' list of installed programs starts it. In a terminal the user plays both
// dialogs, told the keys to use, and the demo's words are wrapped to the terminal and its
// summary kept within one screen; without one the demo scripts play, every dialog state
// is printed and the summary is whole.
#include <unistd.h>

#include <cstdio>
#include <fstream>
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
#include "tools/winsim/demo_summary.h"
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

// The demo's words: as they are without a terminal; in one, broken at spaces to its
// width (read at each call: it may have been resized).
class DemoOutput {
 public:
  explicit DemoOutput(bool terminal) : terminal_(terminal) {}
  bool terminal() const { return terminal_; }
  // `hanging`: the indentation of continuation lines (see WrapForTerminal).
  void Print(const std::string& text, int hanging = 0) const {
    if (terminal_) {
      int columns = 0, rows = 0;
      TerminalSize(&columns, &rows);
      const std::vector<std::string> lines = WrapForTerminal(text, columns, hanging);
      for (size_t i = 0; i < lines.size(); ++i) {
        // A text that does not end its line (a prompt) leaves the cursor after it.
        const bool ended = i + 1 < lines.size() || (!text.empty() && text.back() == '\n');
        std::printf("%s%s", lines[i].c_str(), ended ? "\n" : "");
      }
    } else {
      std::fwrite(text.data(), 1, text.size(), stdout);
    }
    std::fflush(stdout);
  }

 private:
  bool terminal_;
};

// An entry's key path may hold spaces (the product's name): its continuation is indented.
constexpr int kEntryHanging = 2;

std::string EntriesText(const char* when, const std::vector<UninstallEntry>& entries) {
  std::string text =
      std::string("Uninstall entry ") + when + ":" + (entries.empty() ? " none" : "") + "\n";
  for (const UninstallEntry& entry : entries) text += sim::Cp1252ToUtf8(entry.text);
  return text;
}

// One program run as the user starts it: the machine loaded from its folder, the
// program run, the machine saved.
bool RunOnMachineFolder(const DemoOutput& out, const std::string& folder,
                        const std::string& programPath, const LaunchOptions& options,
                        std::string* failure) {
  std::unique_ptr<sim::Machine> machine = sim::LoadMachineToChange(folder, failure);
  if (!machine) return false;
  ProgramFile program;
  if (!FindProgram(*machine, programPath, &program, failure)) return false;
  out.Print(std::string("\n== ") + ProgramFileName(program.kind) +
            " started: " + sim::Cp1252ToUtf8(program.modulePath) + "\n");
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
  bool kept = false;  // the default machine as the last demo left it
};

// The default machine, made on first use (or again with --fresh); with --edition a
// fresh machine of that edition in its own folder beside it.
bool PrepareMachine(const DemoOutput& out, const ParsedArgs& parsed, DemoMachine* demo,
                    std::string* error) {
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
    demo->kept = true;
    out.Print("Machine: " + demo->folder + " (" + demo->edition + "), kept from the last demo\n");
    return true;
  }
  std::unique_ptr<sim::Machine> machine = NewMachine(demo->edition, SamplePackageFolder(), error);
  if (!machine || !sim::SaveMachine(*machine, demo->folder, error)) return false;
  out.Print("Machine: " + demo->folder + " (" + demo->edition +
            "), made fresh, sample package on " + kPackageDrive + ":\n");
  return true;
}

// What to run to play the demo again: the default machine is kept as it is, a machine of
// a named edition is made fresh.
std::string AgainText(const ParsedArgs& parsed) {
  if (const std::string* edition = parsed.Option("edition")) {
    return "Run scripts/demo --edition " + *edition + " to play it again on a fresh machine.\n";
  }
  return "Run scripts/demo to play it again: it goes on with this machine as it is now.\n";
}

// A program the user closed at once: it showed no message and changed no file or key.
bool ClosedAtOnce(const std::set<std::string>& before, const std::set<std::string>& after,
                  const std::vector<std::string>& messages) {
  return before == after && messages.empty();
}

// The summary, and the failure after it if there is one: the exit status. In the
// terminal both are kept within one screen (a line left for the shell's prompt), and
// lists cut short there are all in a file beside the machine folder.
int EndWithSummary(const DemoOutput& out, const std::vector<SummaryPart>& parts,
                   const std::string& folder, const std::string& failure) {
  if (!out.terminal()) {
    out.Print(SummaryText(parts));
    return failure.empty() ? kOk : Fail(failure);
  }
  int columns = 0, rows = 0;
  TerminalSize(&columns, &rows);
  const std::vector<std::string> failed = failure.empty()
                                              ? std::vector<std::string>()
                                              : WrapForTerminal("winsim: " + failure, columns, 0);
  const std::string whole = folder + ".summary.txt";
  bool cut = false;
  std::vector<std::string> lines =
      FitSummary(parts, columns, rows - 1 - static_cast<int>(failed.size()), whole, &cut);
  if (cut) {
    std::ofstream file(whole, std::ios::trunc);
    file << SummaryText(parts);
    file.close();
    if (!file) lines.push_back("(" + whole + " could not be written: the lists are cut)");
  }
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  for (const std::string& line : failed) std::fprintf(stderr, "%s\n", line.c_str());
  return failure.empty() ? kOk : kFailed;
}

std::vector<std::string> InUtf8(const std::vector<std::string>& items) {
  std::vector<std::string> out;
  for (const std::string& item : items) out.push_back(sim::Cp1252ToUtf8(item));
  return out;
}

int Demo(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {"edition"}, {"fresh"});
  if (!parsed.error.empty()) return BadUsage("demo", parsed.error);
  if (!parsed.positional.empty()) return BadUsage("demo", "takes no folder");
  if (parsed.Option("edition") && !IsEdition(*parsed.Option("edition"))) {
    return BadUsage("demo", UnknownEditionMessage(*parsed.Option("edition")));
  }
  const bool interactive = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  const DemoOutput out(interactive);
  DemoMachine demo;
  std::string error;
  if (!PrepareMachine(out, parsed, &demo, &error)) return Fail(error);

  std::unique_ptr<sim::Machine> before = sim::LoadMachine(demo.folder, &error);
  if (!before) return Fail(error);
  const sim::OsIdentity os = before->os;
  const size_t restartsBefore = before->restartRequests.size();
  const std::vector<UninstallEntry> entriesBefore = OurUninstallEntries(*before);
  const std::set<std::string> inventoryBefore = Inventory(*before);
  before.reset();
  out.Print(EntriesText("before", entriesBefore), kEntryHanging);

  LaunchOptions install;
  install.echoScreens = true;
  std::vector<std::string> installerMessages;
  install.messageBoxes = &installerMessages;
  if (!interactive) {
    install.scriptPath = DemoScript(entriesBefore.empty() ? "install.script" : "reinstall.script");
  }
  const std::string installer = std::string(1, kPackageDrive) + ":\\Kestrolin.exe";
  if (!RunOnMachineFolder(out, demo.folder, installer, install, &error)) {
    return Fail(sim::Cp1252ToUtf8(error));
  }

  std::unique_ptr<sim::Machine> installed = sim::LoadMachine(demo.folder, &error);
  if (!installed) return Fail(error);
  const std::vector<UninstallEntry> entriesInstalled = OurUninstallEntries(*installed);
  const std::set<std::string> inventoryInstalled = Inventory(*installed);
  installed.reset();
  if (entriesInstalled.empty() && interactive &&
      ClosedAtOnce(inventoryBefore, inventoryInstalled, installerMessages)) {
    out.Print(
        "\nThe installer was closed without installing: it changed nothing, so there is "
        "nothing to uninstall. " +
        AgainText(parsed));
    return kFailed;
  }
  out.Print("\n" + EntriesText("after the installer", entriesInstalled), kEntryHanging);
  if (entriesInstalled.empty()) {
    return Fail(
        "the installer wrote no Uninstall entry that starts the uninstaller; nothing to "
        "uninstall");
  }
  if (interactive) {
    // The uninstaller's dialog opens with the focus on Exit, while Enter is its OK
    // command: said before it opens, as the key help under it says which button each
    // key presses.
    out.Print(
        "\nNext, the uninstaller, started by the Uninstall entry's command as Windows' list "
        "of installed programs starts it. Its dialog opens with the focus on Exit, which "
        "Space presses; Enter presses OK and uninstalls. Under each dialog, the keys it "
        "takes are named.\n"
        "Press Enter to start the Uninstall entry's command...");
    std::string line;
    std::getline(std::cin, line);
  }

  LaunchOptions uninstall;
  uninstall.echoScreens = true;
  std::vector<std::string> uninstallerMessages;
  uninstall.messageBoxes = &uninstallerMessages;
  if (!interactive) {
    uninstall.scriptPath = DemoScript(UninstallScriptFor(os));
  }
  const std::vector<UninstallEntry> removing = EntriesToRemove(entriesBefore, entriesInstalled);
  for (const UninstallEntry& entry : removing) {
    if (!RunOnMachineFolder(out, demo.folder, entry.command, uninstall, &error)) {
      return Fail(sim::Cp1252ToUtf8(error));
    }
  }

  std::unique_ptr<sim::Machine> after = sim::LoadMachine(demo.folder, &error);
  if (!after) return Fail(error);
  const std::vector<UninstallEntry> entriesAfter = OurUninstallEntries(*after);
  const bool closedAtOnce =
      interactive && ClosedAtOnce(inventoryInstalled, Inventory(*after), uninstallerMessages);
  // What is left is counted as Windows leaves it at its next start, when it carries out
  // the deletions the uninstaller left to it (its own running copy); the machine folder
  // keeps them waiting.
  const std::vector<std::string> atNextStart = sim::CarryOutPendingFileOperations(*after);
  const std::set<std::string> inventoryAfter = Inventory(*after);

  std::vector<SummaryPart> summary = {
      {"\n== Summary (machine " + demo.folder + ", " + demo.edition + ")\n", {}},
      {EntriesText("before", entriesBefore), {}, kEntryHanging},
      {EntriesText("after the installer", entriesInstalled), {}, kEntryHanging},
      {EntriesText("after the uninstaller", entriesAfter), {}, kEntryHanging},
  };
  if (closedAtOnce) {
    // Nothing was uninstalled: what is left is all the installer added.
    summary.push_back(
        {"The uninstaller was closed without uninstalling: it changed nothing, "
         "and the product stays installed. " +
             AgainText(parsed),
         {}});
    EndWithSummary(out, summary, demo.folder, "");
    return kFailed;
  }
  const std::vector<std::string> added = Minus(inventoryInstalled, inventoryBefore);
  const std::vector<std::string> left = Minus(inventoryAfter, inventoryBefore);
  const std::vector<std::string> taken = Minus(inventoryBefore, inventoryAfter);
  if (!atNextStart.empty()) {
    summary.push_back(
        {"Left to the next start of Windows, which carries it out:\n", InUtf8(atNextStart)});
  }
  summary.push_back({"The installer added " + Counted(added) + "; after the uninstaller" +
                         (atNextStart.empty() ? "" : " and that start") + " " +
                         (left.empty() ? "none of them is" : Counted(left) + " are") + " left" +
                         (left.empty() ? "." : ":") + "\n",
                     InUtf8(left)});
  if (!taken.empty()) {
    summary.push_back(
        {"Removed that was there before the demo (an earlier installation):\n", InUtf8(taken)});
  }
  if (after->restartRequests.size() > restartsBefore) {
    summary.push_back(
        {"A restart was requested (the simulated machine records it and goes on).\n", {}});
  }
  std::string stillThere;
  for (const UninstallEntry& entry : removing) {
    if (stillThere.empty() && after->registry.FindFull(entry.keyPath)) {
      stillThere = sim::Cp1252ToUtf8(entry.keyPath) + ": still there after the uninstaller ran";
    }
  }
  if (stillThere.empty()) summary.push_back({"Demo done: installed and uninstalled.\n", {}});
  return EndWithSummary(out, summary, demo.folder, stillThere);
}

}  // namespace

std::vector<Command> DemoCommands() {
  return {{"demo", "[--edition NAME] [--fresh]",
           "install the sample package on ~/.kestrolin/machines/default (xp) and uninstall it",
           Demo}};
}

}  // namespace winsim
