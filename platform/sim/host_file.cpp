#include "platform/sim/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

std::string KindOfMode(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a file";
}

}  // namespace

bool ReadHostFile(const std::string& path, const HostFileRead& how, std::string* content,
                  std::string* what, uint64_t* size) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (how.followLinks ? 0 : O_NOFOLLOW);
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    *what = errno == ELOOP && !how.followLinks
                ? "not a regular file (a link); links are not read"
                : std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    *what = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *what = "not a regular file (" + KindOfMode(st.st_mode) + ")";
    return false;
  }
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  if (size) *size = fileSize;
  if (fileSize > how.maxBytes && !how.firstBytesOnly) {
    *what = "larger than " + std::to_string(how.maxBytes) + " bytes (" + std::to_string(fileSize) +
            "); not read";
    return false;
  }
  // A regular file is read in blocking mode; the cap holds even if it grows meanwhile.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const uint64_t limit = fileSize < how.maxBytes ? fileSize : how.maxBytes;
  std::string data;
  data.reserve(static_cast<size_t>(limit));
  char buf[65536];
  while (data.size() <= limit) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *what = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  if (data.size() > how.maxBytes) {
    if (!how.firstBytesOnly) {
      *what = "grew beyond " + std::to_string(how.maxBytes) + " bytes while it was read";
      return false;
    }
    data.resize(static_cast<size_t>(how.maxBytes));
  }
  *content = std::move(data);
  return true;
}

}  // namespace sim
