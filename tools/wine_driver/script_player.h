// Carries out a parsed script on a program it starts, through the program's windows.
#pragma once

#include <string>
#include <vector>

#include "platform/script/scenario_script.h"
#include "platform/win32.h"
#include "tools/wine_driver/program_windows.h"

namespace wine_driver {

using scenario::ScriptStep;

class ScriptPlayer {
 public:
  ScriptPlayer(std::string scriptName, std::string shotFolder);
  ~ScriptPlayer();
  ScriptPlayer(const ScriptPlayer&) = delete;
  ScriptPlayer& operator=(const ScriptPlayer&) = delete;

  // Starts `commandLine` in `folder` (none: the driver's own), plays the steps, then waits
  // for the program to end. True when every step passed and the program ended by itself;
  // a program still running at the end is ended and the run fails. `asTheShell` starts
  // it as Windows' 64-bit shell (the list of installed programs) does, without WOW64's
  // file-system redirection, so that a path in System32 names the native System32.
  bool Play(const std::string& commandLine, const std::string& folder,
            const std::vector<ScriptStep>& steps, bool asTheShell = false);

 private:
  using Check = bool (*)(ScriptPlayer&, const ScriptStep&, const std::vector<WindowState>&);
  // Waits until `check` holds on the program's windows; false at the time-out or when the
  // program has ended without it holding.
  bool WaitFor(const ScriptStep& step, Check check);
  // Empty when the step passed, else why it failed.
  std::string RunStep(const ScriptStep& step);
  std::string Waited() const;

  std::string scriptName_;
  std::string shotFolder_;
  // A Wine program on a busy machine may take seconds to show its first window; a wait
  // ends as soon as its condition holds, so a long bound costs nothing when all is well.
  DWORD timeoutMs_ = 30000;
  PROCESS_INFORMATION process_ = {};
  std::vector<WindowState> lastSeen_;
  // What a check found, for the action that follows it.
  HWND found_ = nullptr;
  HWND foundOwner_ = nullptr;
  int foundId_ = 0;
};

}  // namespace wine_driver
