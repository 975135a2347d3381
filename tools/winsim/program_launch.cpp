#include "tools/winsim/program_launch.h"

#include <cctype>
#include <iostream>
#include <memory>
#include <utility>

#include "installer/installer_app.h"
#include "platform/sim/ui/front_end_script.h"
#include "platform/sim/ui/front_end_terminal.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/ui/window_manager.h"
#include "resources/program_resources.h"
#include "tools/winsim/held_stdout.h"
#include "uninstaller/uninstaller_app.h"

namespace winsim {

namespace {

// A full path with a drive letter, normalised as GetFullPathNameA does it.
bool FullWindowsPath(const std::string& input, std::string* full, std::string* error) {
  const bool hasDrive = input.size() >= 3 && std::isalpha(static_cast<unsigned char>(input[0])) &&
                        input[1] == ':' && (input[2] == '\\' || input[2] == '/');
  if (!hasDrive || !sim::FullPathName(input, "C:\\", full)) {
    *error = "'" + input + "' is not a full Windows path (such as D:\\Kestrolin.exe)";
    return false;
  }
  if (full->size() > sim::kMaxFullPath) {
    *error = input + ": longer than MAX_PATH";
    return false;
  }
  return true;
}

// A front end that lets a watcher see the screens on their way to the real one.
class WatchedFrontEnd : public sim::FrontEnd {
 public:
  WatchedFrontEnd(sim::FrontEnd& shown, std::function<void(const sim::Screen&)> watch)
      : shown_(shown), watch_(std::move(watch)) {}
  void Attach(sim::WindowManager& windows) override { shown_.Attach(windows); }
  void Show(const sim::Screen& screen) override {
    watch_(screen);
    shown_.Show(screen);
  }
  void Detach() override { shown_.Detach(); }

 private:
  sim::FrontEnd& shown_;
  std::function<void(const sim::Screen&)> watch_;
};

}  // namespace

bool FindProgram(const sim::Machine& machine, const std::string& windowsPath, ProgramFile* program,
                 std::string* error) {
  std::string full;
  if (!FullWindowsPath(windowsPath, &full, error)) return false;
  const std::shared_ptr<sim::FsNode> file = machine.files.Find(full);
  if (!file) {
    *error = full + ": no such file on the machine";
    return false;
  }
  const std::optional<ProgramKind> kind =
      file->isDirectory ? std::nullopt : ProgramNamedBy(file->content);
  if (!kind) {
    *error = full + ": not a program the simulator can run (it runs the files that stand for " +
             ProgramFileName(ProgramKind::kInstaller) + " and " +
             ProgramFileName(ProgramKind::kUninstaller) + ")";
    return false;
  }
  program->kind = *kind;
  program->modulePath = full;
  return true;
}

bool FindFolder(const sim::Machine& machine, const std::string& windowsPath, std::string* folder,
                std::string* error) {
  std::string full;
  if (!FullWindowsPath(windowsPath, &full, error)) return false;
  const std::shared_ptr<sim::FsNode> node = machine.files.Find(full);
  if (!node || !node->isDirectory) {
    *error = full + ": no such folder on the machine";
    return false;
  }
  *folder = full;
  return true;
}

bool LaunchProgram(sim::Machine& machine, const ProgramFile& program, const LaunchOptions& options,
                   std::string* failure) {
  const bool installer = program.kind == ProgramKind::kInstaller;
  std::unique_ptr<sim::ScriptFrontEnd> script;
  if (!options.scriptPath.empty()) {
    sim::ScriptFrontEnd::Options scriptOptions;
    scriptOptions.echo = options.echoScreens ? &std::cout : nullptr;
    script = sim::ScriptFrontEnd::FromFile(options.scriptPath, scriptOptions, failure);
    if (!script) return false;
  }
  // The terminal front end draws on the real terminal while the program's own output
  // waits for the end of the run.
  std::unique_ptr<HeldStdout> held;
  std::unique_ptr<sim::TerminalFrontEnd> terminal;
  if (!script) {
    held = std::make_unique<HeldStdout>();
    terminal = std::make_unique<sim::TerminalFrontEnd>(0, held->TerminalFd());
  }

  sim::ProcessOptions process;
  process.modulePath = program.modulePath;
  process.currentDirectory = options.currentDirectory;
  process.is64BitProcess = false;
  process.resources = installer ? &KestrolinResources() : &WendmarrowResources();
  sim::FrontEnd* shown = script ? static_cast<sim::FrontEnd*>(script.get()) : terminal.get();
  std::unique_ptr<WatchedFrontEnd> watched;
  if (options.watchScreens)
    watched = std::make_unique<WatchedFrontEnd>(*shown, options.watchScreens);
  process.frontEnd = watched ? watched.get() : shown;
  int exitCode = 0;
  std::string abandoned;
  {
    sim::ProcessScope scope(machine, process);
    exitCode = installer ? KestrolinMain() : WendmarrowMain();
    if (scope.process().windows().Abandoned()) {
      abandoned = scope.process().windows().AbandonReason();
    }
    if (options.messageBoxes) {
      for (const sim::MessageBoxRecord& box : scope.process().messageBoxes)
        options.messageBoxes->push_back(box.text);
    }
  }  // the process ends here: its threads are joined and the front end detached
  terminal.reset();
  held.reset();
  std::cout.flush();

  const std::string name = ProgramFileName(program.kind);
  if (script && !script->Finish()) {
    *failure = name + ": the script failed\n" + script->Report();
    return false;
  }
  if (!script && !abandoned.empty()) {
    *failure = name + ": " + abandoned;
    return false;
  }
  if (exitCode != 0) {
    *failure = name + ": ended with exit code " + std::to_string(exitCode);
    return false;
  }
  return true;
}

}  // namespace winsim
