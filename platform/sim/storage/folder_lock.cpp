#include "platform/sim/storage/folder_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

namespace sim {

namespace {

std::atomic<long long> g_waitMs{-1};

long long DefaultWaitMs() {
  if (const char* env = std::getenv("WINSIM_FOLDER_WAIT_MS"); env && *env) {
    char* end = nullptr;
    const long long ms = std::strtoll(env, &end, 10);
    if (end && *end == '\0' && ms >= 0) return ms;
  }
  return 10000;
}

}  // namespace

std::chrono::milliseconds FolderWait() {
  long long ms = g_waitMs;
  if (ms < 0) g_waitMs = ms = DefaultWaitMs();
  return std::chrono::milliseconds(ms);
}

void SetFolderWait(std::chrono::milliseconds wait) { g_waitMs = wait.count(); }

std::unique_ptr<FolderLock> FolderLock::Open(const std::string& lockPath, const std::string& folder,
                                             std::string* error) {
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    const int cause = errno;
    if (error) *error = lockPath + ": cannot open the folder's lock file: " + std::strerror(cause);
    errno = cause;
    return nullptr;
  }
  return std::unique_ptr<FolderLock>(new FolderLock(fd, folder));
}

FolderLock::~FolderLock() { ::close(fd_); }

bool FolderLock::Lock(Byte byte, short type, bool wait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(byte);
  lock.l_len = 1;
  for (;;) {
    if (::fcntl(fd_, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool FolderLock::TryTake(Byte byte) { return Lock(byte, F_WRLCK, false); }

bool FolderLock::Take(Byte byte, bool exclusive, std::string* error) {
  // Polled rather than blocking, so that the wait has an end; the pause varies so that
  // waiting processes do not keep meeting each other.
  thread_local std::minstd_rand random(static_cast<unsigned>(::getpid()));
  const auto deadline = std::chrono::steady_clock::now() + FolderWait();
  for (;;) {
    if (Lock(byte, exclusive ? F_WRLCK : F_RDLCK, false)) return true;
    if (errno != EAGAIN && errno != EACCES) {
      if (error) *error = folder_ + ": cannot lock the folder: " + std::strerror(errno);
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2 + random() % 8));
  }
  if (error) {
    *error = folder_ + ": in use by another winsim command (waited " +
             std::to_string(FolderWait().count()) + " ms); try again when it has ended";
  }
  return false;
}

void FolderLock::Release(Byte byte) { Lock(byte, F_UNLCK, false); }

bool FolderLock::SameFileAs(const FolderLock& other) const {
  struct stat a, b;
  return ::fstat(fd_, &a) == 0 && ::fstat(other.fd_, &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

}  // namespace sim
