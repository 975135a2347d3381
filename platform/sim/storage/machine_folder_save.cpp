// Saving a machine folder: the whole new machine written beside the folder, flushed,
// and swapped in (machine_folder_swap.h); a save that fails leaves the old machine.
#include "platform/sim/storage/machine_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/sim/storage/folder_lock.h"
#include "platform/sim/storage/host_folder.h"
#include "platform/sim/storage/machine_folder_layout.h"
#include "platform/sim/storage/machine_folder_swap.h"
#include "platform/sim/storage/machine_folder_walks.h"
#include "platform/sim/storage/reg_file.h"

namespace sim {

using namespace folder_walks;
using namespace folder_layout;
using namespace folder_swap;
using namespace host_folder;

namespace {

std::atomic<int> g_stopAfterStep{0};
std::atomic<bool> g_withoutExchange{false};
std::atomic<bool> g_killProcess{false};
std::atomic<int> g_stepsOfLastSave{0};

// One entry of the folder to write, relative to it.
struct Image {
  std::string path;
  bool isFolder = false;
  std::string owned;
  const std::string* external = nullptr;  // a simulated file's content
  // A registry file, written out as it is produced: hundreds of megabytes for a
  // large machine, which need never be held whole.
  const RegKey* registry = nullptr;

  // Hands the file's bytes to `sink`, in one piece or several.
  bool Produce(const RegFileSink& sink, std::string* what) const {
    if (registry) {
      return WriteRegFile(*registry, RegFileEncoding::kUtf16Le, sink, what) &&
             sink(EndLine("\r\n", true), what);
    }
    return sink(external ? *external : owned, what);
  }
};

bool HiveWorthWriting(const RegKey& root) {
  return !root.subkeys.Empty() || !root.values.Empty() || !(root.security == DefaultRootSecurity());
}

bool BuildImages(const Machine& machine, std::vector<Image>* images, std::string* error) {
  Image ini;
  ini.path = "machine.ini";
  if (!FormatMachineIni(machine, &ini.owned, error)) return false;
  AddEndLine(&ini.owned, "\n");
  images->push_back(std::move(ini));
  for (const HiveFiles& files : kHiveFiles) {
    const std::shared_ptr<RegKey> root = machine.registry.Root(files.hive);
    if (!files.required && files.base != std::string("HKCU") && !HiveWorthWriting(*root)) {
      continue;
    }
    Image reg, sec;
    reg.path = std::string(files.base) + ".reg";
    sec.path = std::string(files.base) + ".security";
    // Checked now, so that a registry that cannot be written stops the save before
    // it touches the disk; written while the file is.
    std::string what;
    if (!CheckRegFile(*root, &what) || !FormatKeySecurity(*root, &sec.owned, &what)) {
      if (error) *error = "cannot save the registry: " + what;
      return false;
    }
    reg.registry = root.get();
    AddEndLine(&sec.owned, "\n");
    images->push_back(std::move(reg));
    images->push_back(std::move(sec));
  }
  Image drives;
  drives.path = "drives";
  drives.isFolder = true;
  images->push_back(std::move(drives));
  for (char letter : machine.files.DriveLetters()) {
    const std::shared_ptr<FsNode> root = machine.files.Drive(letter);
    const std::string base = "drives/" + std::string(1, letter);
    const bool ok = WalkFiles(*root, [&](const FsNode& node, const std::string& path) {
      if (&node != root.get() && !ValidFileName(node.name)) {
        if (error) *error = "cannot save " + node.FullPath() + ": not a valid Windows name";
        return false;
      }
      Image image;
      image.path = base;
      for (char c : Cp1252ToUtf8(path)) image.path += c == '\\' ? '/' : c;
      image.isFolder = node.isDirectory;
      if (!node.isDirectory) image.external = &node.content;
      images->push_back(std::move(image));
      return true;
    });
    if (!ok) return false;
    Image meta;
    meta.path = base + ".meta";
    meta.owned = FormatDriveMeta(*root);
    AddEndLine(&meta.owned, "\n");
    images->push_back(std::move(meta));
  }
  return true;
}

bool WriteHostFile(const std::string& path, const Image& image, Steps* steps, bool* stopped,
                   std::string* what) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) {
    *what = "cannot create: " + ErrnoText();
    return false;
  }
  const RegFileSink write = [&](std::string_view data, std::string* failure) {
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(fd.get(), data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *failure = "cannot write: " + ErrnoText();
        return false;
      }
      done += static_cast<size_t>(n);
    }
    return true;
  };
  if (!image.Produce(write, what)) return false;
  if (!steps->Took()) {
    *stopped = true;
    return false;
  }
  if (::fsync(fd.get()) != 0 || !fd.Close()) {
    *what = "cannot flush: " + ErrnoText();
    return false;
  }
  if (!steps->Took()) {
    *stopped = true;
    return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Test hooks

void SetSaveTestHooks(const SaveTestHooks& hooks) {
  g_stopAfterStep = hooks.stopAfterStep;
  g_withoutExchange = hooks.withoutExchange;
  g_killProcess = hooks.killProcess;
}

int StepsOfLastSave() { return g_stepsOfLastSave; }

bool SaveMachine(const Machine& machine, const std::string& folder, std::string* error) {
  Steps steps(g_stopAfterStep, g_killProcess);
  const bool withoutExchange = g_withoutExchange;
  g_stepsOfLastSave = 0;
  struct Record {
    Steps& steps;
    ~Record() { g_stepsOfLastSave = steps.count(); }
  } record{steps};

  // The machine's lock is logically mutable: saving changes nothing in it.
  std::lock_guard<std::recursive_mutex> lock(const_cast<Machine&>(machine).mutex);
  FolderPaths paths;
  if (!ResolvePaths(folder, &paths, error)) return false;
  std::vector<Image> images;
  if (!BuildImages(machine, &images, error)) return false;
  // The change lock: the machine's own when it was loaded to change this folder.
  std::shared_ptr<FolderLock> folderLock = FolderLock::Open(paths.lock, folder, error);
  if (!folderLock) return false;
  struct ChangeLock {
    std::shared_ptr<FolderLock> held;
    ~ChangeLock() {
      if (held) held->Release(FolderLock::Byte::kChange);
    }
  } change;
  if (machine.folderLock && machine.folderLock->SameFileAs(*folderLock)) {
    folderLock = machine.folderLock;
  } else {
    if (!folderLock->Take(FolderLock::Byte::kChange, true, error)) return false;
    change.held = folderLock;
  }
  if (!RecoverHolding(*folderLock, paths, error)) return false;
  // Never replace something that is not a machine folder: a mistyped path must not
  // wipe out someone's files.
  const Kind existing = KindOf(paths.folder);
  if (existing == Kind::kFile || existing == Kind::kOther) {
    if (error) *error = folder + ": not a folder";
    return false;
  }
  if (existing == Kind::kFolder && KindOf(paths.folder + "/machine.ini") != Kind::kFile) {
    Dir dir(paths.folder);
    std::string name;
    if (!dir.ok() || dir.Next(&name)) {
      if (error) *error = folder + ": not a machine folder (no machine.ini); not replacing it";
      return false;
    }
  }

  bool stopped = false;
  auto stop = [&]() {
    if (error) *error = "save stopped after step " + std::to_string(steps.count()) + " (test)";
    return false;
  };
  // A real failure removes the half-written copy; the old machine stays as it was.
  auto failIo = [&](const std::string& what) {
    if (error) *error = what;
    bool ignored = false;
    RemoveTree(paths.fresh, nullptr, &ignored);
    return false;
  };
  if (::mkdir(paths.fresh.c_str(), 0777) != 0) {
    return failIo(paths.fresh + ": cannot create: " + ErrnoText());
  }
  if (!steps.Took()) return stop();
  std::vector<std::string> folders = {paths.fresh};
  for (const Image& image : images) {
    const std::string path = paths.fresh + "/" + image.path;
    if (image.isFolder) {
      if (::mkdir(path.c_str(), 0777) != 0) return failIo(path + ": cannot create: " + ErrnoText());
      folders.push_back(path);
      if (!steps.Took()) return stop();
    } else {
      std::string what;
      if (!WriteHostFile(path, image, &steps, &stopped, &what)) {
        return stopped ? stop() : failIo(path + ": " + what);
      }
    }
  }
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    if (!FsyncPath(*it)) return failIo(*it + ": cannot flush: " + ErrnoText());
    if (!steps.Took()) return stop();
  }
  if (!FsyncPath(paths.parent)) return failIo(paths.parent + ": cannot flush: " + ErrnoText());
  if (!steps.Took()) return stop();

  // Loads under way finish with the old machine; later ones see the new one.
  std::string busy;
  if (!TakeState(*folderLock, true, &busy)) return failIo(busy);
  struct StateLock {
    FolderLock& lock;
    ~StateLock() { lock.Release(FolderLock::Byte::kState); }
  } state{*folderLock};
  const std::string* leftover = nullptr;
  if (existing == Kind::kMissing) {
    if (::rename(paths.fresh.c_str(), paths.folder.c_str()) != 0) {
      return failIo(paths.folder + ": cannot move the new machine in place: " + ErrnoText());
    }
    if (!steps.Took()) return stop();
  } else if (!withoutExchange && ::renameat2(AT_FDCWD, paths.fresh.c_str(), AT_FDCWD,
                                             paths.folder.c_str(), RENAME_EXCHANGE) == 0) {
    if (!steps.Took()) return stop();
    leftover = &paths.fresh;
  } else {
    if (!withoutExchange && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      return failIo(paths.folder + ": cannot swap in the new machine: " + ErrnoText());
    }
    if (::rename(paths.folder.c_str(), paths.old.c_str()) != 0) {
      return failIo(paths.folder + ": cannot move the old machine aside: " + ErrnoText());
    }
    if (!steps.Took()) return stop();
    if (::rename(paths.fresh.c_str(), paths.folder.c_str()) != 0) {
      const std::string what = ErrnoText();
      ::rename(paths.old.c_str(), paths.folder.c_str());
      return failIo(paths.folder + ": cannot move the new machine in place: " + what);
    }
    if (!steps.Took()) return stop();
    leftover = &paths.old;
  }
  if (!FsyncPath(paths.parent)) {
    if (error) *error = paths.parent + ": cannot flush: " + ErrnoText();
    return false;
  }
  if (!steps.Took()) return stop();
  if (leftover && !RemoveTree(*leftover, &steps, &stopped)) {
    if (stopped) return stop();
    // The new machine is in place; the next load removes what is left.
    if (error) *error = *leftover + ": cannot remove the old machine: " + ErrnoText();
    return false;
  }
  return true;
}

}  // namespace sim
