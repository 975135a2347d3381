#include "platform/sim/storage/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
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

HostFileReader::~HostFileReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool HostFileReader::Open(const std::string& path, const HostFileRead& how, std::string* what,
                          uint64_t* size) {
  how_ = how;
  done_ = 0;
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (how.followLinks ? 0 : O_NOFOLLOW);
  fd_ = ::open(path.c_str(), flags);
  if (fd_ < 0) {
    *what = errno == ELOOP && !how.followLinks
                ? "not a regular file (a link); links are not read"
                : std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
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
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  return true;
}

bool HostFileReader::Read(char* buffer, size_t size, size_t* got, std::string* what) {
  *got = 0;
  if (fd_ < 0) {
    *what = "cannot read: not open";
    return false;
  }
  // One byte past the cap is asked for, so that a file that grew is seen.
  const uint64_t left = how_.maxBytes - std::min(done_, how_.maxBytes);
  if (how_.firstBytesOnly && left == 0) return true;
  const uint64_t room = left == UINT64_MAX ? left : left + 1;
  const size_t ask = static_cast<size_t>(std::min<uint64_t>(size, room));
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, ask);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *what = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
    *got = static_cast<size_t>(n);
    break;
  }
  if (done_ + *got > how_.maxBytes) {
    if (!how_.firstBytesOnly) {
      *what = "grew beyond " + std::to_string(how_.maxBytes) + " bytes while it was read";
      return false;
    }
    *got = static_cast<size_t>(how_.maxBytes - done_);
  }
  done_ += *got;
  return true;
}

bool ReadHostFile(const std::string& path, const HostFileRead& how, std::string* content,
                  std::string* what, uint64_t* size) {
  HostFileReader reader;
  uint64_t fileSize = 0;
  if (!reader.Open(path, how, what, &fileSize)) return false;
  if (size) *size = fileSize;
  // Read in place into room for the size the file has now; room grows if it grows.
  std::string data(static_cast<size_t>(std::min(fileSize, how.maxBytes)) + 1, '\0');
  size_t done = 0;
  for (;;) {
    if (done == data.size()) data.resize(2 * data.size());
    size_t got = 0;
    if (!reader.Read(&data[done], data.size() - done, &got, what)) return false;
    if (got == 0) break;
    done += got;
  }
  data.resize(done);
  *content = std::move(data);
  return true;
}

}  // namespace sim
