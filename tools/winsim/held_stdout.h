// Standard output held back while the terminal front end owns the screen: the front end
// clears and redraws the whole terminal on every change, so a line a program prints
// meanwhile (the installer's Windows description) would be wiped at once. While a
// HeldStdout lives, file descriptor 1 writes to a scratch file and the front end draws
// on a copy of the terminal's descriptor; at the end the held text follows the drawing.
#pragma once

#include <cstdio>
#include <string>

namespace winsim {

class HeldStdout {
 public:
  HeldStdout();
  ~HeldStdout();  // restores descriptor 1 and writes what was held to it
  HeldStdout(const HeldStdout&) = delete;
  HeldStdout& operator=(const HeldStdout&) = delete;

  // False when output could not be held; the terminal is then descriptor 1 itself.
  bool holding() const { return savedFd_ >= 0; }
  // Where the screen goes.
  int TerminalFd() const { return holding() ? savedFd_ : 1; }

  // Restores descriptor 1 and hands what was held to the caller instead of writing it
  // (a program's output kept out of a report that must be the only output).
  std::string Release();

 private:
  std::FILE* scratch_ = nullptr;
  int savedFd_ = -1;
};

}  // namespace winsim
