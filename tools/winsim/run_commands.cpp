// Running the programs on a machine folder, and starting the machine again: run, restart.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/pending_file_operations.h"
#include "platform/sim/storage/machine_folder.h"
#include "tools/winsim/commands.h"
#include "tools/winsim/program_launch.h"

namespace winsim {

namespace {

// The machine is loaded before the program starts and saved when it has ended, also
// when the script failed: what the program did stays done, as on Windows.
int Run(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {"cwd", "script"});
  if (!parsed.error.empty()) return BadUsage("run", parsed.error);
  if (parsed.positional.size() != 2) {
    return BadUsage("run", "expected a machine folder and the Windows path of a program");
  }
  const std::string& dir = parsed.positional[0];
  LaunchOptions options;
  if (const std::string* script = parsed.Option("script")) {
    options.scriptPath = *script;
  } else if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    return Fail(
        "run: no terminal to show the program in; give --script FILE to play the user "
        "(see platform/sim/ui/front_end_script.h for its steps)");
  }
  std::string programPath, error;
  if (!sim::Utf8ToCp1252(parsed.positional[1], &programPath)) {
    return Fail(parsed.positional[1] + ": not code page 1252 text");
  }
  std::unique_ptr<sim::Machine> machine = sim::LoadMachineToChange(dir, &error);
  if (!machine) return Fail(error);
  ProgramFile program;
  if (!FindProgram(*machine, programPath, &program, &error)) return Fail(sim::Cp1252ToUtf8(error));
  if (const std::string* cwd = parsed.Option("cwd")) {
    std::string ansi;
    if (!sim::Utf8ToCp1252(*cwd, &ansi)) return Fail(*cwd + ": not code page 1252 text");
    if (!FindFolder(*machine, ansi, &options.currentDirectory, &error)) {
      return Fail(sim::Cp1252ToUtf8(error));
    }
  }
  std::string failure;
  const bool ran = LaunchProgram(*machine, program, options, &failure);
  if (!sim::SaveMachine(*machine, dir, &error)) return Fail(error);
  return ran ? kOk : Fail(failure);
}

// What Windows does at its next start, as far as the machine keeps it: the file operations
// the programs left to it, and the restart they asked for.
int Restart(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  if (!parsed.error.empty()) return BadUsage("restart", parsed.error);
  if (parsed.positional.size() != 1) return BadUsage("restart", "expected one machine folder");
  const std::string& dir = parsed.positional[0];
  std::string error;
  std::unique_ptr<sim::Machine> machine = sim::LoadMachineToChange(dir, &error);
  if (!machine) return Fail(error);
  const std::vector<std::string> done = sim::Restart(*machine);
  if (!sim::SaveMachine(*machine, dir, &error)) return Fail(error);
  std::printf("%s: started again%s\n", dir.c_str(),
              done.empty() ? "; nothing was left to the start" : "");
  for (const std::string& line : done) std::printf("  %s\n", sim::Cp1252ToUtf8(line).c_str());
  return kOk;
}

}  // namespace

std::vector<Command> RunCommands() {
  return {
      {"run", "DIR [--cwd WINPATH] [--script FILE] PROGRAM",
       "start a program file of the machine (D:\\Kestrolin.exe, an uninstall command)", Run},
      {"restart", "DIR",
       "start the machine again: carry out what the programs left to the next start", Restart},
  };
}

}  // namespace winsim
