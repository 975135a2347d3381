// Runs one of the two programs on a simulated machine with a script playing the user,
// as Windows would start it from `modulePath`.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/front_end_script.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"

namespace program_test {

struct ProgramRun {
  bool scriptPassed = false;
  std::string report;   // why the script failed
  std::string screens;  // every screen state the front end was shown, in order
  std::vector<sim::MessageBoxRecord> boxes;
  int exitCode = -1;
};

inline ProgramRun RunProgram(sim::Machine& machine, int (*program)(),
                             const sim::ResourceSet& resources, const std::string& modulePath,
                             const std::string& script, const std::string& currentDirectory = "") {
  std::ostringstream screens;
  sim::ScriptFrontEnd::Options options;
  options.timeout = std::chrono::milliseconds(10000);
  options.echo = &screens;
  std::string error;
  auto frontEnd = sim::ScriptFrontEnd::FromText(script, "scenario.script", options, &error);
  EXPECT_TRUE(frontEnd) << error;
  ProgramRun run;
  if (!frontEnd) return run;
  {
    sim::ProcessOptions process;
    process.modulePath = modulePath;
    process.currentDirectory = currentDirectory;
    process.resources = &resources;
    process.frontEnd = frontEnd.get();
    sim::ProcessScope scope(machine, process);
    run.exitCode = program();
    run.boxes = scope.process().messageBoxes;
  }
  run.scriptPassed = frontEnd->Finish();
  run.report = frontEnd->Report();
  run.screens = screens.str();
  return run;
}

// True when the texts appear in the screens in this order.
inline bool ShownInOrder(const std::string& screens, const std::vector<std::string>& texts) {
  size_t at = 0;
  for (const std::string& text : texts) {
    at = screens.find(text, at);
    if (at == std::string::npos) return false;
    at += text.size();
  }
  return true;
}

}  // namespace program_test
