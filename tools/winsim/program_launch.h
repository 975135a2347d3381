// Starting one of the two programs on a loaded machine, as Windows starts the file that
// a path names: the program the file stands for, with that path as its module name, its
// folder as the current folder, its own resources, as a 32-bit process.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/ui/front_end.h"
#include "platform/sim/machine/machine.h"
#include "tools/winsim/program_placeholder.h"

namespace winsim {

struct ProgramFile {
  ProgramKind kind = ProgramKind::kInstaller;
  std::string modulePath;  // the full Windows path, as GetModuleFileNameA gives it
};

// Looks `windowsPath` (a full path such as "D:\Kestrolin.exe") up as the shell of the
// machine sees it (on a 64-bit Windows the native view, without WOW64 redirection: the
// shell is a 64-bit process) and tells which program the file stands for.
bool FindProgram(const sim::Machine& machine, const std::string& windowsPath, ProgramFile* program,
                 std::string* error);

// A full Windows folder path that exists on the machine, normalised ("C:\a\b").
bool FindFolder(const sim::Machine& machine, const std::string& windowsPath, std::string* folder,
                std::string* error);

struct LaunchOptions {
  std::string currentDirectory;  // empty: the program's folder
  std::string scriptPath;        // the script front end plays the user; empty: the terminal
  bool echoScreens = false;      // the script front end prints every screen state
  // Sees every screen state the program shows, under the window manager's lock: it may
  // only copy what it needs (a dialog's last words, for a report).
  std::function<void(const sim::Screen&)> watchScreens;
  // Receives the texts of the message boxes the program showed, in order, if set.
  std::vector<std::string>* messageBoxes = nullptr;
};

// Runs the program to its end. False, with the reason, when the script did not parse,
// a step failed, the user interrupted the run or the program returned non-zero. The
// machine keeps whatever the program did either way.
bool LaunchProgram(sim::Machine& machine, const ProgramFile& program, const LaunchOptions& options,
                   std::string* failure);

}  // namespace winsim
