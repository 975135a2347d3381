// The simulated drives: folders and files with Windows attributes and time stamps.
// Names compare without regard to case; contents are held in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine/name_order.h"

namespace sim {

struct FsNode {
  std::string name;  // the drive letter ("C") for a drive's root
  bool isDirectory = false;
  uint32_t attributes = 0;  // FILE_ATTRIBUTE_*; FILE_ATTRIBUTE_DIRECTORY for folders
  uint64_t creationTime = 0, lastWriteTime = 0, lastAccessTime = 0;  // FILETIME ticks
  std::string content;                                               // files only
  OrderedNameMap<std::shared_ptr<FsNode>> children;                  // folders only
  FsNode* parent = nullptr;  // null for a drive root and for a deleted node
  bool deleted = false;
  // DeleteFileA on a file others hold open (sharing delete): the name stays until the
  // last handle closes, and no one can open it meanwhile.
  bool deletePending = false;
  // A junction (a folder's reparse point, FILE_ATTRIBUTE_REPARSE_POINT): the folder that
  // names below it lead to ("C:\Data"). Empty for every other node. The junction itself
  // holds nothing; deleting it removes the link, not what it leads to.
  std::string junctionTarget;

  // Open handles on this file: each one's access and share mode, for sharing checks.
  struct Opener {
    uint32_t access = 0;
    uint32_t share = 0;
    uint64_t id = 0;
  };
  std::vector<Opener> openers;

  // "C:\WINDOWS\inf\oem0.inf" (a drive root is "C:\").
  std::string FullPath() const;
};

// A new, empty record, kept with the others (see block_pool.h).
inline std::shared_ptr<FsNode> NewFsNode() {
  return std::allocate_shared<FsNode>(PoolAllocator<FsNode>());
}

class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  // Drive roots by letter ("C"); created on demand by AddDrive.
  std::shared_ptr<FsNode> Drive(char letter) const;
  std::shared_ptr<FsNode> AddDrive(char letter);
  std::vector<char> DriveLetters() const;

  // Lookup of an absolute, normalised path ("C:\a\b"); null when missing.
  std::shared_ptr<FsNode> Find(std::string_view absolutePath) const;

  // Fixture helpers: create folders along the way; time stamps from `now`.
  std::shared_ptr<FsNode> MakeDirectories(std::string_view absolutePath);
  std::shared_ptr<FsNode> WriteFile(std::string_view absolutePath, std::string content,
                                    uint32_t attributes = 0x20 /* ARCHIVE */);

  // Fixture helper: a junction at `absolutePath` that leads to the folder `target`.
  std::shared_ptr<FsNode> MakeJunction(std::string_view absolutePath, std::string target);

  // The folder that names below `node` reach: `node` itself, or for a junction the folder
  // it leads to, through further junctions up to Windows' 63 hops; null when that is no
  // folder (a dangling or looping junction).
  std::shared_ptr<FsNode> Through(std::shared_ptr<FsNode> node) const;

  static void Detach(const std::shared_ptr<FsNode>& node);  // removes a subtree

  bool SameAs(const FileSystem& other, std::string* firstDifference) const;

  uint64_t now = 0;  // set from the machine's clock

 private:
  OrderedNameMap<std::shared_ptr<FsNode>> drives_;
};

}  // namespace sim
