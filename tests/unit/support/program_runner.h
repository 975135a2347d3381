// Runs one of the two programs on a simulated machine with a script playing the user,
// as Windows would start it from `modulePath`.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/ui/front_end_script.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"

namespace program_test {

// Hands everything to the script's front end and keeps a copy of every screen state.
class RecordingFrontEnd : public sim::FrontEnd {
 public:
  explicit RecordingFrontEnd(sim::FrontEnd& inner) : inner_(inner) {}
  void Attach(sim::WindowManager& windows) override { inner_.Attach(windows); }
  void Show(const sim::Screen& screen) override {
    shown.push_back(screen);  // under the window manager's lock: one thread at a time
    inner_.Show(screen);
  }
  void Detach() override { inner_.Detach(); }
  std::vector<sim::Screen> shown;

 private:
  sim::FrontEnd& inner_;
};

struct ProgramRun {
  bool scriptPassed = false;
  std::string report;              // why the script failed
  std::string screens;             // every screen state the front end was shown, in order
  std::vector<sim::Screen> shown;  // the same states as the front end was given them
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
  RecordingFrontEnd recorder(*frontEnd);
  {
    sim::ProcessOptions process;
    process.modulePath = modulePath;
    process.currentDirectory = currentDirectory;
    process.resources = &resources;
    process.frontEnd = &recorder;
    sim::ProcessScope scope(machine, process);
    run.exitCode = program();
    run.boxes = scope.process().messageBoxes;
  }
  run.scriptPassed = frontEnd->Finish();
  run.report = frontEnd->Report();
  run.screens = screens.str();
  run.shown = std::move(recorder.shown);
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
