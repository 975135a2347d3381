// The locks that let several processes use one machine folder at once. They live on
// ".<name>.winsim-lock" beside the folder (the folder itself is replaced whole by each
// save), as open-file-description locks on three bytes of it:
//
//   change  exclusive, held from the load of a machine that will be saved to the save
//           (a second command that changes the machine waits, so that no change is lost)
//   state   shared while a load reads the folder; exclusive while a save swaps the new
//           machine in, or a crashed save is recovered, so that a load sees one machine
//   queue   taken by a save before it waits for `state`, and briefly by every reader
//           before it takes `state`, so that a stream of readers cannot starve a save
//
// A lock dies with its process: a killed command leaves nothing held. Waits are
// bounded; a command that cannot get a lock in time fails, saying the folder is in use.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace sim {

class FolderLock {
 public:
  enum class Byte { kChange = 0, kState = 1, kQueue = 2 };

  // Opens (creating it when missing) the lock file `lockPath`; null with `error` set
  // (and errno kept) when it cannot. `folder` names the machine folder in messages.
  static std::unique_ptr<FolderLock> Open(const std::string& lockPath, const std::string& folder,
                                          std::string* error);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes a byte shared or exclusive, waiting up to the folder wait; false with
  // "<folder>: in use by another winsim command ..." when it stays taken.
  bool Take(Byte byte, bool exclusive, std::string* error);
  // Takes a byte exclusively only when it is free now.
  bool TryTake(Byte byte);
  void Release(Byte byte);
  // Both open the same lock file (locks of two openings exclude each other).
  bool SameFileAs(const FolderLock& other) const;

 private:
  FolderLock(int fd, std::string folder) : fd_(fd), folder_(std::move(folder)) {}
  bool Lock(Byte byte, short type, bool wait);
  int fd_;
  std::string folder_;
};

// How long a command waits for a machine folder another command uses (10 s unless set;
// WINSIM_FOLDER_WAIT_MS overrides it for a process).
std::chrono::milliseconds FolderWait();
void SetFolderWait(std::chrono::milliseconds wait);

}  // namespace sim
