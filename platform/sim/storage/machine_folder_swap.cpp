#include "platform/sim/storage/machine_folder_swap.h"

#include <cstdio>
#include <vector>

#include "platform/sim/storage/host_folder.h"

namespace sim {
namespace folder_swap {

using namespace host_folder;

bool RemoveTree(const std::string& path, Steps* steps, bool* stopped) {
  const Kind kind = KindOf(path);
  if (kind == Kind::kMissing) return true;
  if (kind == Kind::kFolder) {
    std::vector<std::string> names;
    {
      Dir dir(path);
      if (!dir.ok()) return false;
      std::string name;
      while (dir.Next(&name)) names.push_back(name);
    }
    for (const auto& name : names) {
      if (!RemoveTree(path + "/" + name, steps, stopped)) return false;
    }
    if (::rmdir(path.c_str()) != 0) return false;
  } else if (::unlink(path.c_str()) != 0) {
    return false;
  }
  if (steps && !steps->Took()) {
    *stopped = true;
    return false;
  }
  return true;
}

bool ResolvePaths(const std::string& folder, FolderPaths* paths, std::string* error) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  const size_t slash = f.rfind('/');
  const std::string base = slash == std::string::npos ? f : f.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") {
    if (error) *error = "'" + folder + "' does not name a machine folder";
    return false;
  }
  paths->folder = f;
  paths->parent = slash == std::string::npos ? "." : slash == 0 ? "/" : f.substr(0, slash);
  const std::string prefix = paths->parent == "/" ? "/." : paths->parent + "/.";
  paths->fresh = prefix + base + ".winsim-new";
  paths->old = prefix + base + ".winsim-old";
  paths->lock = prefix + base + ".winsim-lock";
  return true;
}

bool HasLeftovers(const FolderPaths& paths) {
  return KindOf(paths.fresh) != Kind::kMissing || KindOf(paths.old) != Kind::kMissing;
}

bool TakeState(FolderLock& lock, bool exclusive, std::string* error) {
  if (!lock.Take(FolderLock::Byte::kQueue, exclusive, error)) return false;
  const bool taken = lock.Take(FolderLock::Byte::kState, exclusive, error);
  lock.Release(FolderLock::Byte::kQueue);
  return taken;
}

namespace {

// Finishes or undoes what a killed save left behind (machine_folder_swap.h). Only a
// holder of the change lock may: a live save's leftovers are its work in progress.
bool Recover(const FolderPaths& paths, std::string* error) {
  if (KindOf(paths.folder) == Kind::kMissing && KindOf(paths.old) == Kind::kFolder) {
    if (::rename(paths.old.c_str(), paths.folder.c_str()) != 0 || !FsyncPath(paths.parent)) {
      if (error) {
        *error = paths.folder + ": cannot restore it from " + paths.old + ": " + ErrnoText();
      }
      return false;
    }
  }
  bool stopped = false;
  for (const std::string* leftover : {&paths.fresh, &paths.old}) {
    if (!RemoveTree(*leftover, nullptr, &stopped)) {
      if (error) *error = *leftover + ": cannot remove a leftover of a save: " + ErrnoText();
      return false;
    }
  }
  return true;
}

}  // namespace

bool RecoverHolding(FolderLock& lock, const FolderPaths& paths, std::string* error) {
  if (!HasLeftovers(paths)) return true;
  if (!TakeState(lock, true, error)) return false;
  const bool recovered = Recover(paths, error);
  lock.Release(FolderLock::Byte::kState);
  return recovered;
}

}  // namespace folder_swap
}  // namespace sim
