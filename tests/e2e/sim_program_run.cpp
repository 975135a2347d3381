// e2e_sim_run: the simulator's side of an end-to-end scenario. Starts one of the programs
// on a machine folder, as a 32-bit or a 64-bit process, with a scenario script playing the
// user, and saves the machine afterwards (also when the script failed).
//
//   e2e_sim_run MACHINE --bits 32|64 --script FILE --run WINPATH [--cwd WINPATH]
//   e2e_sim_run MACHINE --bits 32|64 --script FILE --uninstall-entry NAME
//
// With --uninstall-entry the command is the entry's UninstallString, read and started as
// the Wine driver does it: by a process of the programs' bitness. The script's screenshot
// steps are pictures of the real screen; here they are left out.
// Exit status: 0 the script passed, 1 it did not or the run could not start, 2 bad usage.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "installer/installer_app.h"
#include "platform/sim/ui/front_end_script.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"
#include "resources/program_resources.h"
#include "tools/winsim/program_placeholder.h"
#include "uninstaller/uninstaller_app.h"

namespace {

int Fail(const std::string& why) {
  std::fprintf(stderr, "e2e_sim_run: %s\n", why.c_str());
  return 1;
}

int Usage(const std::string& why) {
  std::fprintf(stderr,
               "e2e_sim_run: %s\nusage: e2e_sim_run MACHINE --bits 32|64 --script FILE "
               "(--run WINPATH [--cwd WINPATH] | --uninstall-entry NAME)\n",
               why.c_str());
  return 2;
}

// Every line but the screenshot steps, which only the driver on a real screen carries out.
std::string WithoutScreenshots(const std::string& script) {
  std::istringstream in(script);
  std::string line, out;
  while (std::getline(in, line)) {
    const size_t first = line.find_first_not_of(" \t");
    const bool shot = first != std::string::npos && line.compare(first, 11, "screenshot ") == 0;
    out += shot ? "# " + line : line;
    out += '\n';
  }
  return out;
}

// The Uninstall entry's command in the view of a process of that bitness.
bool ReadUninstallCommand(sim::Machine& machine, bool is64Bit, const std::string& entry,
                          std::string* command, std::string* error) {
  sim::ProcessOptions options;
  options.is64BitProcess = is64Bit;
  sim::ProcessScope scope(machine, options);
  const std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + entry;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) {
    *error = "HKLM\\" + path + " cannot be opened (error " + std::to_string(rc) + ")";
    return false;
  }
  char buffer[2048] = {};
  DWORD size = sizeof buffer - 1, type = 0;
  rc = RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                        &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) {
    *error = "HKLM\\" + path + " has no UninstallString text (error " + std::to_string(rc) + ")";
    return false;
  }
  *command = std::string(buffer);
  if (command->size() >= 2 && command->front() == '"' && command->back() == '"')
    *command = command->substr(1, command->size() - 2);
  return true;
}

// Which program the file at `path` stands for, looked up as a process of that bitness
// finds it (a 32-bit one on a 64-bit Windows goes through WOW64's redirection).
bool ProgramAt(sim::Machine& machine, bool is64Bit, const std::string& path,
               winsim::ProgramKind* kind, std::string* error) {
  sim::ProcessOptions options;
  options.is64BitProcess = is64Bit;
  sim::ProcessScope scope(machine, options);
  sim::ResolvedPath resolved;
  uint32_t code = 0;
  if (!sim::ResolvePath(scope.process(), path.c_str(), &resolved, &code)) {
    *error = path + ": not a usable path (error " + std::to_string(code) + ")";
    return false;
  }
  const sim::PathLookup found = sim::LookUp(machine.files, resolved);
  if (!found.node || found.node->isDirectory) {
    *error = path + ": no such file on the machine (looked for " + resolved.target + ")";
    return false;
  }
  const auto named = winsim::ProgramNamedBy(found.node->content);
  if (!named) {
    *error = path + ": not a file that stands for one of the programs";
    return false;
  }
  *kind = *named;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no machine folder");
  const std::string machineDir = argv[1];
  std::string bits, scriptPath, program, cwd, entry;
  for (int i = 2; i < argc; i += 2) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage("option " + a + " needs a value");
    const std::string v = argv[i + 1];
    if (a == "--bits") {
      bits = v;
    } else if (a == "--script") {
      scriptPath = v;
    } else if (a == "--run") {
      program = v;
    } else if (a == "--cwd") {
      cwd = v;
    } else if (a == "--uninstall-entry") {
      entry = v;
    } else {
      return Usage("unknown option " + a);
    }
  }
  if (bits != "32" && bits != "64") return Usage("--bits must be 32 or 64");
  if (scriptPath.empty()) return Usage("--script is required");
  if (program.empty() == entry.empty()) return Usage("give one of --run and --uninstall-entry");
  const bool is64Bit = bits == "64";

  std::ifstream in(scriptPath, std::ios::binary);
  if (!in) return Fail(scriptPath + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  sim::ScriptFrontEnd::Options scriptOptions;
  scriptOptions.timeout = std::chrono::milliseconds(30000);  // the Wine driver's bound
  std::string error;
  auto script = sim::ScriptFrontEnd::FromText(WithoutScreenshots(text.str()), scriptPath,
                                              scriptOptions, &error);
  if (!script) return Fail(error);

  std::unique_ptr<sim::Machine> machine = sim::LoadMachineToChange(machineDir, &error);
  if (!machine) return Fail(error);
  if (!entry.empty()) {
    if (!ReadUninstallCommand(*machine, is64Bit, entry, &program, &error)) return Fail(error);
    std::printf("uninstall command: %s\n", program.c_str());
  }
  winsim::ProgramKind kind = winsim::ProgramKind::kInstaller;
  if (!ProgramAt(*machine, is64Bit, program, &kind, &error)) return Fail(error);

  const bool installer = kind == winsim::ProgramKind::kInstaller;
  sim::ProcessOptions process;
  process.modulePath = program;
  process.currentDirectory = cwd;
  process.is64BitProcess = is64Bit;
  process.resources = installer ? &KestrolinResources() : &WendmarrowResources();
  process.frontEnd = script.get();
  int exitCode = 0;
  {
    sim::ProcessScope scope(*machine, process);
    exitCode = installer ? KestrolinMain() : WendmarrowMain();
  }
  std::fflush(stdout);
  const bool passed = script->Finish();
  if (!sim::SaveMachine(*machine, machineDir, &error)) return Fail(error);
  if (!passed) return Fail("the script failed\n" + script->Report());
  if (exitCode != 0) return Fail("the program ended with exit code " + std::to_string(exitCode));
  std::printf("the script passed (%d steps); the program ended with exit code 0\n",
              script->StepsPassed());
  return 0;
}
