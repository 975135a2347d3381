#include "tools/winsim/held_stdout.h"

#include <unistd.h>

namespace winsim {

HeldStdout::HeldStdout() {
  std::fflush(stdout);
  scratch_ = std::tmpfile();
  if (!scratch_) return;
  savedFd_ = dup(STDOUT_FILENO);
  if (savedFd_ < 0 || dup2(fileno(scratch_), STDOUT_FILENO) < 0) {
    if (savedFd_ >= 0) close(savedFd_);
    savedFd_ = -1;
    std::fclose(scratch_);
    scratch_ = nullptr;
  }
}

HeldStdout::~HeldStdout() {
  if (!holding()) return;
  std::fflush(stdout);
  dup2(savedFd_, STDOUT_FILENO);
  close(savedFd_);
  // The scratch file shares its offset with the descriptor the writes went through.
  std::rewind(scratch_);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, scratch_)) > 0) {
    std::fwrite(buffer, 1, n, stdout);
  }
  std::fflush(stdout);
  std::fclose(scratch_);
}

}  // namespace winsim
