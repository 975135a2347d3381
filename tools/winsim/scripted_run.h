// A program started on a machine held in memory as Windows starts a file, a script
// written for the run playing the user: what previews run and report on.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"

namespace winsim {

// What the run showed: its output, its dialog's last status text and its message boxes.
struct ScriptedRun {
  std::string command;
  std::string output;
  std::string status;
  std::vector<std::string> messages;  // the message boxes it showed
  bool changedNothing = false;
};

// Starts the file `command` names (a full Windows path) with the script at `scriptPath`.
// False, with the reason, when the file is no program or the script failed; `run` holds
// what was seen either way.
bool RunScripted(sim::Machine& machine, const std::string& command, const std::string& scriptPath,
                 ScriptedRun* run, std::string* failure);

// A script written for one run, removed afterwards; path() is empty when it could not
// be written.
class TempScript {
 public:
  explicit TempScript(const std::string& text);
  ~TempScript();
  TempScript(const TempScript&) = delete;
  TempScript& operator=(const TempScript&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// `text` in double quotes as the script's steps take it: \\, \" and \n escaped.
std::string ScriptQuoted(const std::string& text);

}  // namespace winsim
