// The terminal front end: the simulated screen drawn in the terminal with ANSI escapes,
// redrawn in place whenever a window changes, and keys read in raw mode and handed to the
// window manager. On a terminal the drawing is made on its alternate screen, as
// full-screen terminal programs do, so that no frame is left in the scrollback; when the
// program ends, the last drawing of its windows is written once to the normal screen.
// The terminal's own settings (and its normal screen) come back on every way out: Detach,
// destruction, normal exit, and the fatal signals (SIGTERM, SIGHUP, SIGQUIT, SIGABRT,
// SIGSEGV).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sim/ui/front_end.h"

namespace sim {

class TerminalFrontEnd : public FrontEnd {
 public:
  explicit TerminalFrontEnd(int inputFd = 0, int outputFd = 1);
  ~TerminalFrontEnd() override;
  TerminalFrontEnd(const TerminalFrontEnd&) = delete;
  TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

  void Attach(WindowManager& windows) override;
  void Show(const Screen& screen) override;
  void Detach() override;

 private:
  void ReadKeys();
  void Draw(const Screen& screen);

  int inputFd_;
  int outputFd_;
  int wakeFds_[2] = {-1, -1};
  WindowManager* windows_ = nullptr;
  std::thread reader_;
  std::mutex drawMutex_;  // taken after the window manager's lock, never before it
  std::string statusLine_;
  uint64_t drawnVersion_ = 0;
  Screen lastWindows_;  // the last state drawn that had a window open
  bool rawMode_ = false;
  bool fullScreen_ = false;  // drawing on the terminal's alternate screen
};

}  // namespace sim
