// Reading a file of the host that someone else may have put there: a machine folder
// received from elsewhere, a driver package. Only a regular file is read: a link is
// not followed (it could lead out of the folder, or to /dev/zero), a FIFO or a device is
// refused without waiting on it, and a file larger than the caller allows is refused
// before anything is read, so that a sparse file of gigabytes cannot fill the memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// What a machine folder's own files (machine.ini, HK*.security, drives/*.meta) may
// weigh, and what one file of a simulated drive, or all files of a machine or package
// together, may weigh: the simulator holds every file in memory. A registry file is
// read a piece at a time into the registry it describes; its bound is that of a
// registry of some millions of keys.
constexpr uint64_t kMaxMachineFileBytes = 64ull << 20;
constexpr uint64_t kMaxRegistryFileBytes = 4ull << 30;
constexpr uint64_t kMaxDriveFileBytes = 256ull << 20;
constexpr uint64_t kMaxDriveBytesTotal = 1ull << 30;

struct HostFileRead {
  bool followLinks = false;  // for a file the user named on the command line
  uint64_t maxBytes = kMaxMachineFileBytes;
  // Read at most maxBytes and stop there instead of refusing a larger file.
  bool firstBytesOnly = false;
};

// The file's bytes, and its size as the host reports it. On failure `what` says why,
// without the path ("not a regular file (a link)", "larger than 67108864 bytes (...)").
bool ReadHostFile(const std::string& path, const HostFileRead& how, std::string* content,
                  std::string* what, uint64_t* size = nullptr);

// The same file read a piece at a time, under the same rules.
class HostFileReader {
 public:
  HostFileReader() = default;
  ~HostFileReader();
  HostFileReader(const HostFileReader&) = delete;
  HostFileReader& operator=(const HostFileReader&) = delete;

  // False, with `what`, for a file ReadHostFile would refuse before reading.
  bool Open(const std::string& path, const HostFileRead& how, std::string* what,
            uint64_t* size = nullptr);
  // Up to `size` bytes into `buffer`, `*got` 0 at the end (or at maxBytes with
  // firstBytesOnly). False on a read error or when the file grows beyond maxBytes.
  bool Read(char* buffer, size_t size, size_t* got, std::string* what);

 private:
  int fd_ = -1;
  HostFileRead how_;
  uint64_t done_ = 0;  // bytes handed out
};

}  // namespace sim
