// The handle objects of the simulated file calls: an open file (CreateFileA) and a
// directory search (FindFirstFileA). Both live in the process's HandleTable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/sim/machine/filesystem.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/process.h"

namespace sim {

// Access of an open file as the sharing rules count it; the bits line up with
// FILE_SHARE_READ, FILE_SHARE_WRITE and FILE_SHARE_DELETE.
constexpr uint32_t kAccessRead = 1;
constexpr uint32_t kAccessWrite = 2;
constexpr uint32_t kAccessDelete = 4;

// Maps a CreateFileA access mask (generic or specific rights) to kAccess* bits.
uint32_t SharingAccessOf(uint32_t desiredAccess);

// True when a new open with `access` and `share` may join the file's current openers.
bool SharingAllows(const FsNode& node, uint32_t access, uint32_t share);

// An open file. While it lives it is one of the node's openers; the last handle to a
// file deleted meanwhile takes the file's name away with it.
class FileHandle : public HandleObject {
 public:
  FileHandle(FileSystem& files, std::shared_ptr<FsNode> node, uint32_t desiredAccess,
             uint32_t share, uint64_t id);
  ~FileHandle() override;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  FsNode& node() { return *node_; }
  bool CanRead() const;
  bool CanWrite() const;
  bool CanWriteAttributes() const;

  uint64_t position = 0;
  // After SetFileTime set a time through this handle, writes through it no longer move
  // that time, as on NTFS.
  bool explicitWriteTime = false;
  bool explicitAccessTime = false;

 private:
  FileSystem& files_;
  std::shared_ptr<FsNode> node_;
  uint32_t desiredAccess_;
  uint64_t id_;
};

// A FindFirstFileA search: the folder, the pattern and where the search stands.
// It continues after the name it returned last, so entries deleted or added during
// the search neither repeat nor hide the others.
struct FindHandle : public HandleObject {
  std::shared_ptr<FsNode> folder;
  FilePattern pattern;
  int dotsReturned = 0;  // "." and ".." come first in a folder that is not a drive root
  bool started = false;  // a child has been returned; lastName holds it
  std::string lastName;
  OrderedNameMap<std::shared_ptr<FsNode>>::Cursor at;  // on lastName
  bool exhausted = false;                              // a search for one exact name ends after it
};

}  // namespace sim
