#include "tools/winsim/scripted_run.h"

#include <unistd.h>

#include "platform/sim/ui/front_end.h"
#include "tools/winsim/held_stdout.h"
#include "tools/winsim/program_launch.h"
#include "tools/winsim/program_status.h"

namespace winsim {

bool RunScripted(sim::Machine& machine, const std::string& command, const std::string& scriptPath,
                 ScriptedRun* run, std::string* failure) {
  run->command = command;
  ProgramFile program;
  if (!FindProgram(machine, command, &program, failure)) return false;
  LaunchOptions options;
  options.scriptPath = scriptPath;
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

TempScript::TempScript(const std::string& text) {
  char name[] = "/tmp/winsim-preview-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return;
  path_ = name;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written) {
    unlink(path_.c_str());
    path_.clear();
  }
}

TempScript::~TempScript() {
  if (!path_.empty()) unlink(path_.c_str());
}

std::string ScriptQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return quoted + "\"";
}

}  // namespace winsim
