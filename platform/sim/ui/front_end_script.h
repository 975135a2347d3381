// The script front end: a text file of steps that plays the user. One step a line:
//
//   expect "TEXT"                 a caption, control or message box shows TEXT
//   expect-text ID "TEXT"         control ID of the top dialog shows TEXT
//   expect-state ID enabled       ... or disabled, visible, hidden
//   expect-focus ID               control ID of the top dialog has the focus
//   expect-progress ID N          progress bar ID stands at N
//   press "CAPTION" | press ID    clicks a push button of the top dialog
//   key Enter|Esc|Tab|Shift+Tab|Space|Alt+X|X    a key to the active window
//   key KEY in "CAPTION"          a key to the window so captioned (clicked first)
//   close                         the top dialog's close box
//   sysmenu N                     a command of the top dialog's system menu
//   box "TEXT" answer OK          answers the message box that shows TEXT (OK, Cancel,
//                                 Yes, No, Abort, Retry, Ignore, TryAgain, Continue)
//   wait-closed                   the top dialog has closed
//   timeout MS                    how long later steps wait (default 5000)
//
// TEXT is matched whole; a TEXT that ends in "..." matches any text that begins with the
// rest. \n, \" and \\ stand for a line feed, a quote and a backslash. A caption given to
// press may leave out the mnemonic marks ("Install" for "&Install"). Blank lines and lines
// that start with # are skipped.
//
// Steps that wait do so on the window manager's changes; the timeout only bounds a wait
// that would otherwise never end. The first failing step stops the run: the report names
// the step, its file and line, what was expected and the screen as it was, and every
// modal loop of the program ends (dialogs return -1), so the program unwinds.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/ui/front_end.h"

namespace sim {

class ScriptFrontEnd : public FrontEnd {
 public:
  struct Options {
    std::chrono::milliseconds timeout{5000};
    std::ostream* echo = nullptr;  // prints every new screen state (the no-terminal demo)
  };

  // Null when the script does not parse; `error` reads "<file>:<line>: <what>".
  static std::unique_ptr<ScriptFrontEnd> FromText(const std::string& text,
                                                  const std::string& fileName,
                                                  const Options& options, std::string* error);
  static std::unique_ptr<ScriptFrontEnd> FromFile(const std::string& path, const Options& options,
                                                  std::string* error);
  ~ScriptFrontEnd() override;

  void Attach(WindowManager& windows) override;
  void Show(const Screen& screen) override;
  void Detach() override;

  // Waits until the script has run out (call it once the program has returned); true
  // when every step passed and the program did not wait for input the script lacked.
  bool Finish();
  // Why the run failed; empty when it did not.
  std::string Report() const;
  int StepsPassed() const;

  struct Step;

 private:
  ScriptFrontEnd(std::string fileName, std::vector<Step> steps, Options options);
  void Run();
  std::string RunStep(const Step& step);
  void Conclude();

  std::string fileName_;
  std::vector<Step> steps_;
  Options options_;
  WindowManager* windows_ = nullptr;
  std::thread runner_;
  mutable std::mutex mutex_;  // guards the results below and the conclusion
  std::string report_;
  int passed_ = 0;
  bool concluded_ = false;
  std::string lastShown_;  // guarded by the window manager's lock (Show)
};

}  // namespace sim
