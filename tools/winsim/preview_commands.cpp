// winsim preview: what a driver package does to a fresh machine of an edition. The
// installer runs from the package through its dialog, the uninstaller through the
// command of the Uninstall entry the installer wrote, as Windows' list of installed
// programs starts it; the preview lists what the installer changed and what is left
// afterwards compared with the fresh machine. The machine lives in memory only.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_diff.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/pending_file_operations.h"
#include "resources/kestrolin_resource.h"
#include "resources/program_resources.h"
#include "tools/winsim/commands.h"
#include "tools/winsim/customer_preview.h"
#include "tools/winsim/customer_report.h"
#include "tools/winsim/machine_changes.h"
#include "tools/winsim/machine_setup.h"
#include "tools/winsim/program_launch.h"
#include "tools/winsim/scripted_run.h"
#include "tools/winsim/uninstall_entries.h"

namespace winsim {

namespace {

constexpr const char* kHelp =
    R"(usage: winsim preview PACKAGE_DIR --edition NAME [--format text|json]
       winsim preview PACKAGE_DIR --edition NAME --registry FILE.reg [--registry ...]
                      [--format text|json]

Puts the driver package PACKAGE_DIR on drive D: of a fresh machine of edition NAME
(winsim editions lists them), held in memory only. Runs D:\Kestrolin.exe through its
dialog (Install, OK to every message box it shows, then Exit once it has finished),
then the command of every Uninstall entry it wrote that starts the uninstaller (OK,
then Exit or Reboot Later). Prints every message box each program showed, what the
installer changed, what the programs left to the next start of Windows (carried out
then, as Windows does), and what is left afterwards compared with the fresh machine,
in three groups: files and folders (with sizes), registry keys and values (values in
the notation of registry files, with their type), and the INF files staged in
%windir%\inf (oemN.inf, oemN.pnf) with the package INF each holds. When the installer
refuses (it changed nothing), that is the result: "nothing installed" and why.

--format json prints one JSON document (UTF-8) instead, keys always in this order:
  {"package": PACKAGE_DIR, "edition": NAME,
   "installer": {"command": "D:\\Kestrolin.exe", "output": what it printed,
                 "messages": [the texts of every message box it showed, in order],
                 "status": its dialog's last text,
                 "completed": true when it ended with "Installation completed",
                 "changed_nothing": true when it left the machine as it was,
                 "nothing_installed": null | why (it refused, or wrote no Uninstall entry),
                 "uninstall_entries": [key paths of the Uninstall entries it wrote that
                                       start the uninstaller],
                 "changes": CHANGES (what it left)},
   "uninstallers": [{"entry": key path, "command": UninstallString,
                     "messages": [...], "status": its dialog's last text,
                     "changed_nothing": true|false}],
   "at_next_start": ["deleted PATH", ...],
   "left": CHANGES (compared with the fresh machine), "nothing_left": true|false}
  CHANGES = {"files": [FILE], "registry": [REG], "staged_inf_files": [INF]}
  FILE = {"change": "added"|"removed"|"changed", "type": "file"|"folder", "path",
          "size", "size_before", "attributes", "attributes_before"}
  REG  = {"change", "type": "key"|"value", "key", "name", "value_type", "reg", "text",
          "value_type_before", "reg_before", "access", "access_before"}
  INF  = {"change", "path", "size", "from": package INF path | null}
  Members that do not apply to an entry are null: sizes of folders, value fields of
  keys, "access" of values, the "_before" members of what was not changed.

With --registry, the machine is a customer's, as the registry editor's export of it
shows it (regedit /e, UTF-16 "Windows Registry Editor Version 5.00", or /a, ANSI
"REGEDIT4"; several files are imported in order): a fresh machine of edition NAME with
the package on D: and the exports imported over it, held in memory only. A bad line of
an export is an error naming its file and line, and nothing is previewed. The product
is the package's customer's: the Uninstall entry (in the view the edition's 32-bit
programs use, Wow6432Node on 64-bit Windows) whose command starts that customer's
uninstaller copy. The package's uninstaller for the edition is put where the command
points and run as the command starts it (OK, OK to each message box, then Exit or Reboot
Later). Printed: the export's Windows and how it differs from NAME, the places the
uninstaller works on that the export does not hold (and so unknown), the product records
and Uninstall entries removed and kept, the messages the uninstaller showed and whether
it asks for a restart, the devices removed and kept (instance ids; of those kept, the
ports, multifunction devices and the card vendor's), the COM numbers released and kept
and why a number stays (ComDB Merge, another device names it, not recorded: no device
names it), and the registry keys and values removed and changed. Files and access lists
are in no export: they are unknown, and not reported. --format json gives:
)";

constexpr const char* kHelpEnd = R"(
exit status: 0 the preview was made (also when the installer refused or nothing was
installed, or no uninstaller ran on the customer's machine); 1 a program or a script
step failed, the package cannot be put on the machine, or an export cannot be read (the
reason on stderr); 2 the command line is wrong.
)";

// The installer played as a user who presses Install and answers each of `boxes` with
// OK (in the script's notation: \\, \" and \n escaped), then presses the button with
// Exit's id once the worker has ended and it is enabled again.
std::string InstallerScript(const std::vector<std::string>& boxes) {
  std::string script = "press \"Install\"\n";
  for (const std::string& box : boxes) script += "box " + ScriptQuoted(box) + " answer OK\n";
  return script + "expect-state 2 enabled\npress 2\nwait-closed\n";
}

std::string Utf8(const std::string& ansi) { return sim::Cp1252ToUtf8(ansi); }

struct Preview {
  std::string package;
  std::string edition;
  ScriptedRun installer;
  bool completed = false;        // it ended with "Installation completed"
  std::string nothingInstalled;  // why, when it refused or wrote no Uninstall entry
  std::vector<UninstallEntry> entriesWritten;
  MachineChanges installChanges;
  std::vector<std::pair<UninstallEntry, ScriptedRun>> uninstallers;
  std::vector<std::string> atNextStart;  // what Windows carries out when it starts again
  MachineChanges left;
};

void PrintMessages(const ScriptedRun& run) {
  for (const std::string& text : run.messages)
    std::printf("It showed the message: %s\n", Utf8(text).c_str());
}

Json MessagesJson(const ScriptedRun& run) {
  Json messages = Json::array();
  for (const std::string& text : run.messages) messages.push_back(Utf8(text));
  return messages;
}

std::string Indented(const std::string& text, const std::string& indent) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    out += indent + text.substr(at, end == std::string::npos ? std::string::npos : end - at) + "\n";
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

void PrintText(const Preview& p) {
  std::printf("Preview of %s on a fresh %s machine (the package on %c:)\n", p.package.c_str(),
              p.edition.c_str(), kPackageDrive);
  std::printf("\n== The installer: %s\n", Utf8(p.installer.command).c_str());
  if (!p.installer.output.empty()) {
    std::printf("It printed:\n%s", Indented(p.installer.output, "  ").c_str());
  }
  PrintMessages(p.installer);
  std::printf("It ended with: %s\n", Utf8(p.installer.status).c_str());
  if (!p.completed) std::printf("The installation did not complete.\n");
  if (!p.nothingInstalled.empty())
    std::printf("nothing installed: %s\n", Utf8(p.nothingInstalled).c_str());
  if (p.installChanges.Empty()) {
    std::printf("It changed nothing.\n");
  } else {
    std::printf("What it changed:\n%s", ChangesText(p.installChanges, "  ").c_str());
  }
  for (const auto& [entry, run] : p.uninstallers) {
    std::printf("\n== The uninstaller: %s (UninstallString of %s)\n", Utf8(run.command).c_str(),
                Utf8(entry.keyPath).c_str());
    PrintMessages(run);
    std::printf("It ended with: %s\n", Utf8(run.status).c_str());
    if (run.changedNothing) std::printf("It changed nothing.\n");
  }
  std::printf("\n");
  if (!p.atNextStart.empty()) {
    std::printf("At its next start Windows carries out what the programs left to it:\n");
    for (const std::string& line : p.atNextStart) std::printf("  %s\n", Utf8(line).c_str());
  }
  if (p.left.Empty()) {
    std::printf("Left compared with the fresh machine: nothing left\n");
  } else {
    std::printf("Left compared with the fresh machine:\n%s", ChangesText(p.left, "  ").c_str());
  }
}

void PrintJson(const Preview& p) {
  Json installer = Json::object();
  installer["command"] = Utf8(p.installer.command);
  installer["output"] = Utf8(p.installer.output);
  installer["messages"] = MessagesJson(p.installer);
  installer["status"] = Utf8(p.installer.status);
  installer["completed"] = p.completed;
  installer["changed_nothing"] = p.installChanges.Empty();
  installer["nothing_installed"] =
      p.nothingInstalled.empty() ? Json() : Json(Utf8(p.nothingInstalled));
  Json entries = Json::array();
  for (const UninstallEntry& entry : p.entriesWritten) entries.push_back(Utf8(entry.keyPath));
  installer["uninstall_entries"] = std::move(entries);
  installer["changes"] = ChangesJson(p.installChanges);
  Json uninstallers = Json::array();
  for (const auto& [entry, run] : p.uninstallers) {
    Json u = Json::object();
    u["entry"] = Utf8(entry.keyPath);
    u["command"] = Utf8(run.command);
    u["messages"] = MessagesJson(run);
    u["status"] = Utf8(run.status);
    u["changed_nothing"] = run.changedNothing;
    uninstallers.push_back(std::move(u));
  }
  Json document = Json::object();
  document["package"] = p.package;
  document["edition"] = p.edition;
  document["installer"] = std::move(installer);
  document["uninstallers"] = std::move(uninstallers);
  Json atNextStart = Json::array();
  for (const std::string& line : p.atNextStart) atNextStart.push_back(Utf8(line));
  document["at_next_start"] = std::move(atNextStart);
  document["left"] = ChangesJson(p.left);
  document["nothing_left"] = p.left.Empty();
  // The package's host path is as the command line gave it: bytes that are no UTF-8
  // are replaced rather than refused.
  std::printf("%s\n", document.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

// The installer's final text when it completed, with or without a restart offer.
bool CompletedStatus(const std::string& status) {
  const auto& strings = KestrolinResources().strings;
  for (unsigned id : {IDS_INSTALLED_RESTART, IDS_INSTALLED_NO_RESTART}) {
    const auto it = strings.find(id);
    if (it != strings.end() && it->second == status) return true;
  }
  return false;
}

// At most this many message boxes are answered in one run of the installer.
constexpr size_t kMaxBoxes = 8;

int RunPreview(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kHelp, stdout);
    std::fputs(kCustomerJsonHelp, stdout);
    std::fputs(kHelpEnd, stdout);
    return kOk;
  }
  const ParsedArgs parsed = ParseArgs(args, {"edition", "format", "registry"}, {}, {"registry"});
  if (!parsed.error.empty()) return BadUsage("preview", parsed.error);
  if (parsed.positional.size() != 1) {
    return BadUsage("preview", "expected the folder of one driver package");
  }
  const std::string* edition = parsed.Option("edition");
  if (!edition) return BadUsage("preview", "--edition NAME is needed (winsim editions lists them)");
  if (!IsEdition(*edition)) return BadUsage("preview", UnknownEditionMessage(*edition));
  const std::string* format = parsed.Option("format");
  if (format && *format != "text" && *format != "json") {
    return BadUsage("preview", "--format is text or json, not '" + *format + "'");
  }
  const bool json = format && *format == "json";
  if (parsed.Has("registry")) {
    return RunCustomerPreview(parsed.positional[0], *edition, parsed.Values("registry"), json);
  }

  Preview p;
  p.package = parsed.positional[0];
  p.edition = *edition;
  const std::string installer =
      std::string(1, kPackageDrive) + ":\\" + ProgramFileName(ProgramKind::kInstaller);
  std::unique_ptr<sim::Machine> machine;
  std::vector<sim::MachineItem> fresh;
  std::vector<UninstallEntry> entriesBefore;
  // The installer may stop at a message box: the user answers it with OK. The script
  // answers the boxes an earlier run showed, so each run from a fresh machine goes one
  // box further; the machine is the same each time.
  std::vector<std::string> answered;
  for (;;) {
    std::string error;
    machine = NewMachine(p.edition, p.package, &error);
    if (!machine) return Fail("preview: " + error);
    fresh = sim::TakeInventory(*machine);
    entriesBefore = OurUninstallEntries(*machine);
    const TempScript script(InstallerScript(answered));
    if (script.path().empty()) return Fail("preview: no temporary script file can be written");
    ScriptedRun run;
    if (RunScripted(*machine, installer, script.path(), &run, &error)) {
      p.installer = std::move(run);
      break;
    }
    if (run.messages.size() <= answered.size() || run.messages.size() > kMaxBoxes) {
      return Fail("preview: " + Utf8(error));
    }
    answered = run.messages;
  }
  const PackageInfs packageInfs = PackageInfsOn(fresh, kPackageDrive);
  const std::string windowsFolder = machine->os.windowsFolder;
  const std::vector<sim::MachineItem> installed = sim::TakeInventory(*machine);
  p.installChanges =
      GroupChanges(sim::CompareInventories(fresh, installed), windowsFolder, packageInfs);
  p.completed = CompletedStatus(p.installer.status);

  p.entriesWritten = EntriesToRemove(entriesBefore, OurUninstallEntries(*machine));
  if (p.installChanges.Empty()) {
    // A refusal is a result: the installer said why, or ended without a word.
    p.nothingInstalled =
        p.installer.messages.empty()
            ? "the installer changed nothing; it ended with \"" + p.installer.status + "\""
            : "the installer refused: " + p.installer.messages.back();
  } else if (p.entriesWritten.empty()) {
    p.nothingInstalled =
        "the installer wrote no Uninstall entry that starts the uninstaller; it ended with \"" +
        p.installer.status + "\"";
  }
  const char* script = UninstallScriptFor(machine->os);
  for (const UninstallEntry& entry : p.entriesWritten) {
    ScriptedRun run;
    std::string error;
    const std::vector<sim::MachineItem> beforeRun = sim::TakeInventory(*machine);
    if (!RunScripted(*machine, entry.command, DemoScript(script), &run, &error)) {
      return Fail("preview: " + Utf8(entry.command) + " (UninstallString of " +
                  Utf8(entry.keyPath) + "): " + Utf8(error));
    }
    run.changedNothing = sim::CompareInventories(beforeRun, sim::TakeInventory(*machine)).empty();
    p.uninstallers.emplace_back(entry, std::move(run));
  }
  p.atNextStart = sim::CarryOutPendingFileOperations(*machine);
  const std::vector<sim::MachineItem> after = sim::TakeInventory(*machine);
  p.left = GroupChanges(sim::CompareInventories(fresh, after), windowsFolder, packageInfs);

  if (json) {
    PrintJson(p);
  } else {
    PrintText(p);
  }
  return kOk;
}

}  // namespace

std::vector<Command> PreviewCommands() {
  return {{"preview", "PACKAGE_DIR --edition NAME [--registry FILE.reg ...] [--format json]",
           "what a package installs on a fresh machine and what its uninstall leaves (--help)",
           RunPreview}};
}

}  // namespace winsim
