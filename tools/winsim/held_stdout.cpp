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
  const std::string held = Release();
  std::fwrite(held.data(), 1, held.size(), stdout);
  std::fflush(stdout);
}

std::string HeldStdout::Release() {
  std::string held;
  if (!holding()) return held;
  std::fflush(stdout);
  dup2(savedFd_, STDOUT_FILENO);
  close(savedFd_);
  savedFd_ = -1;
  // The scratch file shares its offset with the descriptor the writes went through.
  std::rewind(scratch_);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, scratch_)) > 0) held.append(buffer, n);
  std::fclose(scratch_);
  scratch_ = nullptr;
  return held;
}

}  // namespace winsim
