// wine_driver: plays the user of one of our dialog programs under Wine (or Windows).
//
//   wine_driver --script FILE [--shots DIR] [--cwd DIR] --run "COMMAND LINE"
//   wine_driver --script FILE [--shots DIR] [--cwd DIR] --uninstall-entry NAME
//
// Starts the program (the command line as given, or the UninstallString of the Uninstall
// entry NAME, as the list of installed programs starts it), carries out the script's steps
// on its windows, and waits for the program to end. Every step waits on the condition it
// checks until the script's time-out (30 s by default); nothing is timed by sleeping.
// Prints each step as it passes; on the first failure prints the step, why, and the
// program's windows. A screenshot without a caption shows the program's open message box
// when there is one (what the user looks at), else its top window; a box step returns
// once the answered box has closed.
// Exit status: 0 every step passed and the program ended, 1 it did not, 2 bad usage.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <type_traits>
#include <string>
#include <vector>

#include "tools/wine_driver/script_player.h"

namespace {

int Usage(const char* why) {
  std::fprintf(stderr,
               "wine_driver: %s\nusage: wine_driver --script FILE [--shots DIR] [--cwd DIR] "
               "(--run \"COMMAND LINE\" | --uninstall-entry NAME)\n",
               why);
  return 2;
}

// The Uninstall entry's command, read in this process's view of the registry (the driver
// is built with the programs' bitness, so it reads the view they wrote).
bool UninstallCommand(const std::string& entry, std::string* command, std::string* error) {
  const std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + entry;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) {
    *error = "HKLM\\" + path + " cannot be opened (error " + std::to_string(rc) + ")";
    return false;
  }
  std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)> closer(key, RegCloseKey);
  char buffer[2048] = {};
  DWORD size = sizeof buffer - 1, type = 0;
  rc = RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                        &size);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    *error = "HKLM\\" + path + " has no UninstallString text (error " + std::to_string(rc) + ")";
    return false;
  }
  *command = std::string(buffer, strnlen(buffer, size));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Unbuffered: should Wine end the process abruptly, the steps it passed stay in the log.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::string scriptPath, shots, cwd, command, entry;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage(("option " + a + " needs a value").c_str());
    const std::string v = argv[++i];
    if (a == "--script") {
      scriptPath = v;
    } else if (a == "--shots") {
      shots = v;
    } else if (a == "--cwd") {
      cwd = v;
    } else if (a == "--run") {
      command = v;
    } else if (a == "--uninstall-entry") {
      entry = v;
    } else {
      return Usage(("unknown option " + a).c_str());
    }
  }
  if (scriptPath.empty()) return Usage("--script is required");
  if (command.empty() == entry.empty()) return Usage("give one of --run and --uninstall-entry");

  std::ifstream in(scriptPath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "wine_driver: %s cannot be read\n", scriptPath.c_str());
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<scenario::ScriptStep> steps;
  std::string error;
  if (!scenario::ParseScript(text.str(), scriptPath, &steps, &error)) {
    std::fprintf(stderr, "wine_driver: %s\n", error.c_str());
    return 2;
  }
  if (!entry.empty()) {
    if (!UninstallCommand(entry, &command, &error)) {
      std::fprintf(stderr, "wine_driver: %s\n", error.c_str());
      return 1;
    }
    std::printf("uninstall command: %s\n", command.c_str());
  }
  wine_driver::ScriptPlayer player(scriptPath, shots);
  // An Uninstall entry's command is started as the list of installed programs starts it.
  const bool passed = player.Play(command, cwd, steps, !entry.empty());
  std::fflush(stdout);
  return passed ? 0 : 1;
}
