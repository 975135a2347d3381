// How a save replaces a machine folder, and how what a killed save left is undone.
//
// A save writes the complete new machine into the sibling ".<name>.winsim-new", flushes
// every file and folder, and swaps it with the old folder in one rename
// (RENAME_EXCHANGE); the old contents, now under the sibling's name, are removed last.
// Where the filesystem cannot exchange, the old folder is first renamed to
// ".<name>.winsim-old" and the new one renamed into place. At every instant the
// folder holds the old or the new machine, or is missing while the old one sits
// complete in ".winsim-old"; the next load or save restores that and removes leftovers.
//
// Only a holder of the folder's change lock (folder_lock.h) may recover: a live save's
// leftovers are its work in progress.
#pragma once

#include <csignal>
#include <string>

#include "platform/sim/storage/folder_lock.h"

namespace sim {
namespace folder_swap {

// The save's write steps, with the test hook that stops it after one of them.
class Steps {
 public:
  Steps(int stopAfter, bool kill) : stopAfter_(stopAfter), kill_(kill) {}
  // Counts a step just taken; false when the save must stop here.
  bool Took() {
    if (++count_ != stopAfter_) return true;
    if (kill_) ::raise(SIGKILL);
    return false;
  }
  int count() const { return count_; }

 private:
  int stopAfter_;
  bool kill_;
  int count_ = 0;
};

struct FolderPaths {
  std::string folder;  // the machine folder, without a trailing slash
  std::string parent;
  std::string fresh;  // the new machine while it is written
  std::string old;    // the old machine during the two-rename fallback
  std::string lock;   // the folder's lock file (folder_lock.h), kept for good
};

// The folder's paths and those of its siblings; false for a path that names no folder.
bool ResolvePaths(const std::string& folder, FolderPaths* paths, std::string* error);

// A save's sibling (new or old machine) is there: a save was killed or runs now.
bool HasLeftovers(const FolderPaths& paths);

// Removes a host tree; a missing path is fine. `steps` (optional) counts each removal.
// Returns false on an error or when the hook stops it (`*stopped` then set).
bool RemoveTree(const std::string& path, Steps* steps, bool* stopped);

// The folder's state, shared to read the folder or exclusive to swap it (folder_lock.h).
bool TakeState(FolderLock& lock, bool exclusive, std::string* error);

// Recovers a crashed save while holding the change lock (the state too, for the swap
// back a two-rename save may need).
bool RecoverHolding(FolderLock& lock, const FolderPaths& paths, std::string* error);

}  // namespace folder_swap
}  // namespace sim
