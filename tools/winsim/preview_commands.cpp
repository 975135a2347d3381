// winsim preview: what a driver package does to a fresh machine of an edition. The
// installer runs from the package through its dialog, the uninstaller through the
// command of the Uninstall entry the installer wrote, as Windows' list of installed
// programs starts it; the preview lists what the installer changed and what is left
// afterwards compared with the fresh machine. The machine lives in memory only.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/ui/front_end.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_diff.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/pending_file_operations.h"
#include "tools/winsim/commands.h"
#include "tools/winsim/held_stdout.h"
#include "tools/winsim/json_text.h"
#include "tools/winsim/machine_changes.h"
#include "tools/winsim/machine_setup.h"
#include "tools/winsim/program_launch.h"
#include "tools/winsim/program_status.h"
#include "tools/winsim/uninstall_entries.h"

namespace winsim {

namespace {

constexpr const char* kHelp =
    R"(usage: winsim preview PACKAGE_DIR --edition NAME [--format text|json]

Puts the driver package PACKAGE_DIR on drive D: of a fresh machine of edition NAME
(winsim editions lists them), held in memory only. Runs D:\Kestrolin.exe through its
dialog (Install, then Exit once it has finished), then the command of every Uninstall
entry it wrote that starts the uninstaller (OK, then Exit or Reboot Later). Prints what
the installer changed, what the programs left to the next start of Windows (carried
out then, as Windows does), and what is left afterwards compared with the fresh
machine, in three groups: files and folders (with sizes), registry keys and values (values in the
notation of registry files, with their type), and the INF files staged in
%windir%\inf (oemN.inf, oemN.pnf) with the package INF each holds. When the installer
writes no Uninstall entry, nothing was installed and the reason is its last words.

--format json prints one JSON document (UTF-8) instead, keys always in this order:
  {"package": PACKAGE_DIR, "edition": NAME,
   "installer": {"command": "D:\\Kestrolin.exe", "output": what it printed,
                 "messages": [its message boxes' texts],
                 "status": its dialog's last text, "installed": true|false,
                 "nothing_installed": null | why, "changes": CHANGES},
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

exit status: 0 the preview was made (also when nothing was installed); 1 a program or
a script step failed, or the package cannot be put on the machine (the reason on
stderr); 2 the command line is wrong.
)";

// One program started on the machine as Windows starts a file, a script playing the
// user; what it printed and its dialog's last status text are kept.
struct ScriptedRun {
  std::string command;
  std::string output;
  std::string status;
  std::vector<std::string> messages;  // the message boxes it showed
  bool changedNothing = false;
};

bool RunScripted(sim::Machine& machine, const std::string& command, const char* script,
                 ScriptedRun* run, std::string* failure) {
  run->command = command;
  ProgramFile program;
  if (!FindProgram(machine, command, &program, failure)) return false;
  LaunchOptions options;
  options.scriptPath = DemoScript(script);
  options.messageBoxes = &run->messages;
  const int statusId = StatusControlId(program.kind);
  std::string* status = &run->status;
  options.watchScreens = [statusId, status](const sim::Screen& screen) {
    const sim::WindowView* dialog = screen.TopDialog();
    const sim::ControlView* control = dialog ? sim::FindControl(*dialog, statusId) : nullptr;
    if (control) *status = control->text;
  };
  // The installer describes Windows on standard output, which is the report's.
  HeldStdout held;
  const bool ran = LaunchProgram(machine, program, options, failure);
  run->output = held.Release();
  return ran;
}

std::string Utf8(const std::string& ansi) { return sim::Cp1252ToUtf8(ansi); }

struct Preview {
  std::string package;
  std::string edition;
  ScriptedRun installer;
  std::string nothingInstalled;  // why, when no Uninstall entry was written
  MachineChanges installChanges;
  std::vector<std::pair<UninstallEntry, ScriptedRun>> uninstallers;
  std::vector<std::string> atNextStart;  // what Windows carries out when it starts again
  MachineChanges left;
};

void PrintMessages(const ScriptedRun& run) {
  for (const std::string& text : run.messages)
    std::printf("It showed the message: %s\n", Utf8(text).c_str());
}

JsonValue MessagesJson(const ScriptedRun& run) {
  JsonValue messages = JsonValue::Array();
  for (const std::string& text : run.messages) messages.Push(JsonValue::String(Utf8(text)));
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
  if (!p.nothingInstalled.empty())
    std::printf("nothing installed: %s\n", p.nothingInstalled.c_str());
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
  JsonValue installer = JsonValue::Object();
  installer.Set("command", JsonValue::String(Utf8(p.installer.command)));
  installer.Set("output", JsonValue::String(Utf8(p.installer.output)));
  installer.Set("messages", MessagesJson(p.installer));
  installer.Set("status", JsonValue::String(Utf8(p.installer.status)));
  installer.Set("installed", JsonValue::Bool(p.nothingInstalled.empty()));
  installer.Set("nothing_installed",
                p.nothingInstalled.empty() ? JsonValue() : JsonValue::String(p.nothingInstalled));
  installer.Set("changes", ChangesJson(p.installChanges));
  JsonValue uninstallers = JsonValue::Array();
  for (const auto& [entry, run] : p.uninstallers) {
    JsonValue u = JsonValue::Object();
    u.Set("entry", JsonValue::String(Utf8(entry.keyPath)));
    u.Set("command", JsonValue::String(Utf8(run.command)));
    u.Set("messages", MessagesJson(run));
    u.Set("status", JsonValue::String(Utf8(run.status)));
    u.Set("changed_nothing", JsonValue::Bool(run.changedNothing));
    uninstallers.Push(std::move(u));
  }
  JsonValue document = JsonValue::Object();
  document.Set("package", JsonValue::String(p.package));
  document.Set("edition", JsonValue::String(p.edition));
  document.Set("installer", std::move(installer));
  document.Set("uninstallers", std::move(uninstallers));
  JsonValue atNextStart = JsonValue::Array();
  for (const std::string& line : p.atNextStart) atNextStart.Push(JsonValue::String(Utf8(line)));
  document.Set("at_next_start", std::move(atNextStart));
  document.Set("left", ChangesJson(p.left));
  document.Set("nothing_left", JsonValue::Bool(p.left.Empty()));
  std::printf("%s\n", document.Text().c_str());
}

int RunPreview(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kHelp, stdout);
    return kOk;
  }
  const ParsedArgs parsed = ParseArgs(args, {"edition", "format"});
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

  Preview p;
  p.package = parsed.positional[0];
  p.edition = *edition;
  std::string error;
  std::unique_ptr<sim::Machine> machine = NewMachine(p.edition, p.package, &error);
  if (!machine) return Fail("preview: " + error);
  const std::vector<sim::MachineItem> fresh = sim::TakeInventory(*machine);
  const PackageInfs packageInfs = PackageInfsOn(fresh, kPackageDrive);
  const std::string windowsFolder = machine->os.windowsFolder;
  const std::vector<UninstallEntry> entriesBefore = OurUninstallEntries(*machine);

  const std::string installer =
      std::string(1, kPackageDrive) + ":\\" + ProgramFileName(ProgramKind::kInstaller);
  if (!RunScripted(*machine, installer, "preview-install.script", &p.installer, &error)) {
    return Fail("preview: " + Utf8(error));
  }
  const std::vector<sim::MachineItem> installed = sim::TakeInventory(*machine);
  p.installChanges =
      GroupChanges(sim::CompareInventories(fresh, installed), windowsFolder, packageInfs);

  const std::vector<UninstallEntry> entriesInstalled = OurUninstallEntries(*machine);
  if (entriesInstalled.size() == entriesBefore.size()) {
    p.nothingInstalled =
        "the installer wrote no Uninstall entry that starts the uninstaller; it "
        "ended with \"" +
        Utf8(p.installer.status) + "\"";
  } else {
    const char* script = UninstallScriptFor(machine->os);
    for (const UninstallEntry& entry : EntriesToRemove(entriesBefore, entriesInstalled)) {
      ScriptedRun run;
      const std::vector<sim::MachineItem> beforeRun = sim::TakeInventory(*machine);
      if (!RunScripted(*machine, entry.command, script, &run, &error)) {
        return Fail("preview: " + Utf8(entry.command) + " (UninstallString of " +
                    Utf8(entry.keyPath) + "): " + Utf8(error));
      }
      run.changedNothing = sim::CompareInventories(beforeRun, sim::TakeInventory(*machine)).empty();
      p.uninstallers.emplace_back(entry, std::move(run));
    }
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
  return {{"preview", "PACKAGE_DIR --edition NAME [--format json]",
           "what a package installs on a fresh machine and what its uninstall leaves (--help)",
           RunPreview}};
}

}  // namespace winsim
