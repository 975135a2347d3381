// Machine folders: loading (strict, read-only) and saving (whole folder at once).
//
// A save writes the complete new machine into the sibling ".<name>.winsim-new", flushes
// every file and folder, and swaps it with the old folder in one rename
// (RENAME_EXCHANGE); the old contents, now under the sibling's name, are removed last.
// Where the filesystem cannot exchange, the old folder is first renamed to
// ".<name>.winsim-old" and the new one renamed into place. At every instant the
// folder holds the old or the new machine, or is missing while the old one sits
// complete in ".winsim-old"; the next load or save restores that and removes leftovers.
#include "platform/sim/machine_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include "platform/sim/folder_lock.h"
#include "platform/sim/host_file.h"
#include "platform/sim/machine_folder_walks.h"
#include "platform/sim/reg_file.h"

namespace sim {

using namespace folder_walks;

namespace {

constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrReparsePoint = 0x400;

std::atomic<int> g_stopAfterStep{0};
std::atomic<bool> g_withoutExchange{false};
std::atomic<bool> g_killProcess{false};
std::atomic<int> g_stepsOfLastSave{0};

// ---------------------------------------------------------------------------------------
// Host file access

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, reporting the error a delayed write may surface at close.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

class Dir {
 public:
  explicit Dir(const std::string& path) : dir_(::opendir(path.c_str())) {}
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  ~Dir() {
    if (dir_) ::closedir(dir_);
  }
  bool ok() const { return dir_ != nullptr; }
  // Next entry name other than . and ..; false at the end.
  bool Next(std::string* name) {
    while (dirent* e = ::readdir(dir_)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      *name = e->d_name;
      return true;
    }
    return false;
  }

 private:
  DIR* dir_;
};

std::string ErrnoText() { return std::strerror(errno); }

enum class Kind { kMissing, kFile, kFolder, kOther };

Kind KindOf(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return Kind::kMissing;
  if (S_ISREG(st.st_mode)) return Kind::kFile;
  if (S_ISDIR(st.st_mode)) return Kind::kFolder;
  return Kind::kOther;
}

bool FsyncPath(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

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

// Removes a host tree; a missing path is fine. `steps` (optional) counts each removal.
// Returns false on an error or when the hook stops it (`*stopped` then set).
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

struct FolderPaths {
  std::string folder;  // the machine folder, without a trailing slash
  std::string parent;
  std::string fresh;  // the new machine while it is written
  std::string old;    // the old machine during the two-rename fallback
  std::string lock;   // the folder's lock file (folder_lock.h), kept for good
};

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

// The folder's state, shared to read the folder or exclusive to swap it (folder_lock.h).
bool TakeState(FolderLock& lock, bool exclusive, std::string* error) {
  if (!lock.Take(FolderLock::Byte::kQueue, exclusive, error)) return false;
  const bool taken = lock.Take(FolderLock::Byte::kState, exclusive, error);
  lock.Release(FolderLock::Byte::kQueue);
  return taken;
}

// Finishes or undoes what a killed save left behind (see the top of the file). Only a
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

// ---------------------------------------------------------------------------------------
// End lines

// The end line, as the file's encoding writes it: UTF-16LE after a byte-order mark.
std::string Encoded(std::string_view ansi, bool utf16) {
  if (!utf16) return std::string(ansi);
  std::string out;
  for (char c : ansi) {
    out += c;
    out += '\0';
  }
  return out;
}

bool IsUtf16(std::string_view bytes) {
  return bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
}

std::string EndLine(const char* lineEnd, bool utf16) {
  return Encoded(std::string(kMachineFileEndLine) + lineEnd, utf16);
}

void AddEndLine(std::string* bytes, const char* lineEnd) {
  *bytes += EndLine(lineEnd, IsUtf16(*bytes));
}

bool EndsWith(std::string_view bytes, std::string_view tail) {
  return bytes.size() >= tail.size() && bytes.substr(bytes.size() - tail.size()) == tail;
}

// The last line is the end line, whole (a line end before it, CRLF or LF after it).
bool HasEndLine(std::string_view bytes, bool utf16) {
  for (const char* lineEnd : {"\r\n", "\n"}) {
    const std::string line = Encoded(std::string("\n") + kMachineFileEndLine + lineEnd, utf16);
    if (EndsWith(bytes, line)) return true;
  }
  return false;
}

// Which of a folder's machine files end in the end line. Folders written before the
// files were marked have none; they are read as they are, and their next save marks
// them. Once one file of a folder has its end line, every file must.
struct EndLineTally {
  bool seen = false;
  std::string firstWithout;  // the first file read without one

  // The file's last bytes (or all of them), and whether it began with a UTF-16 mark.
  void Note(const std::string& name, std::string_view lastBytes, bool utf16) {
    if (HasEndLine(lastBytes, utf16)) {
      seen = true;
    } else if (firstWithout.empty()) {
      firstWithout = name;
    }
  }

  bool Check(std::string* error) const {
    if (!seen || firstWithout.empty()) return true;
    if (error) {
      *error = firstWithout + ": the last line is not '" + kMachineFileEndLine +
               "': the file was cut short";
    }
    return false;
  }
};

// One of the machine folder's own files (not a drive's content): a regular file within
// the size cap; whether it ends in the end line goes to `ends`.
bool ReadMachineFile(const std::string& folder, const std::string& name, std::string* bytes,
                     EndLineTally* ends, std::string* error) {
  std::string what;
  if (!ReadHostFile(folder + "/" + name, HostFileRead{}, bytes, &what)) {
    if (error) *error = name + ": " + what;
    return false;
  }
  ends->Note(name, *bytes, IsUtf16(*bytes));
  return true;
}

// ---------------------------------------------------------------------------------------
// Loading

struct HiveFiles {
  const char* base;  // "HKLM"
  const char* hive;  // "HKEY_LOCAL_MACHINE"
  bool required;
};
constexpr HiveFiles kHiveFiles[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", true},
    {"HKCU", "HKEY_CURRENT_USER", false},
    {"HKU", "HKEY_USERS", false},
};

bool InHive(std::string_view path, std::string_view hive) {
  return path.size() >= hive.size() && path.compare(0, hive.size(), hive) == 0 &&
         (path.size() == hive.size() || path[hive.size()] == '\\');
}

// A hive's registry file, read a piece at a time (that of a large machine is hundreds
// of megabytes) and applied statement by statement: the machine is new, and a file that
// turns out faulty discards it. A fault in the text counts before a key outside the
// hive, wherever the two stand.
bool LoadRegistryFile(const std::string& folder, const std::string& regName, std::string_view hive,
                      Machine* machine, EndLineTally* ends, std::string* error) {
  HostFileReader file;
  HostFileRead how;
  how.maxBytes = kMaxRegistryFileBytes;
  std::string what;
  if (!file.Open(folder + "/" + regName, how, &what)) {
    if (error) *error = regName + ": " + what;
    return false;
  }
  // The first two bytes (a UTF-16 mark?) and the last ones read, for the end line.
  std::string head, tail;
  constexpr size_t kTailBytes = 256;
  const RegFileReader read = [&](char* buffer, size_t size, size_t* got, std::string* failure) {
    if (!file.Read(buffer, size, got, failure)) return false;
    if (head.size() < 2) head.append(buffer, std::min<size_t>(*got, 2 - head.size()));
    tail.append(buffer, *got);
    if (tail.size() > 2 * kTailBytes) tail.erase(0, tail.size() - kTailBytes);
    return true;
  };
  RegFileApplier applier(&machine->registry);
  std::string outside;
  const RegFileStatementFn apply = [&](const RegFileOp& op) {
    if (!outside.empty()) return;
    if (!InHive(op.keyPath, hive)) {
      outside = Located(regName, op.line, std::string("key outside ") + std::string(hive));
      return;
    }
    applier.Apply(op);
  };
  if (!ParseRegFileStatements(read, regName, apply, error)) return false;
  if (!outside.empty()) {
    if (error) *error = outside;
    return false;
  }
  ends->Note(regName, tail, IsUtf16(head));
  return true;
}

bool LoadHive(const std::string& folder, const HiveFiles& files, Machine* machine,
              EndLineTally* ends, std::string* error) {
  const std::string regName = std::string(files.base) + ".reg";
  const std::string secName = std::string(files.base) + ".security";
  std::string text;
  const Kind regKind = KindOf(folder + "/" + regName);
  if (regKind != Kind::kMissing || files.required) {
    if (!LoadRegistryFile(folder, regName, files.hive, machine, ends, error)) return false;
  }
  if (KindOf(folder + "/" + secName) != Kind::kMissing) {
    if (!ReadMachineFile(folder, secName, &text, ends, error)) return false;
    if (!ParseKeySecurity(text, secName, machine->registry.Root(files.hive).get(), error)) {
      return false;
    }
  }
  return true;
}

// Reads a host folder into `parent`, checking names the way Windows would see them.
// `budget` is what the files of the machine may still weigh together.
bool ReadHostTree(const std::string& hostPath, const std::string& shownPath, FsNode* parent,
                  uint64_t now, uint64_t* budget, std::string* error) {
  Dir dir(hostPath);
  if (!dir.ok()) {
    if (error) *error = shownPath + ": cannot read the folder: " + ErrnoText();
    return false;
  }
  std::string hostName;
  while (dir.Next(&hostName)) {
    const std::string childHost = hostPath + "/" + hostName;
    const std::string childShown = shownPath + "/" + hostName;
    std::string name;
    if (!Utf8ToCp1252(hostName, &name)) {
      if (error) *error = childShown + ": the name is not UTF-8 text within code page 1252";
      return false;
    }
    if (!ValidFileName(name)) {
      if (error) *error = childShown + ": not a valid Windows file name";
      return false;
    }
    if (const auto* clash = parent->children.Find(name)) {
      if (error) {
        *error = childShown + ": differs from '" + Cp1252ToUtf8((*clash)->name) +
                 "' only in letter case";
      }
      return false;
    }
    auto node = std::make_shared<FsNode>();
    node->name = name;
    node->parent = parent;
    node->creationTime = node->lastWriteTime = node->lastAccessTime = now;
    const Kind kind = KindOf(childHost);
    if (kind == Kind::kFolder) {
      node->isDirectory = true;
      node->attributes = kAttrDirectory;
      if (!ReadHostTree(childHost, childShown, node.get(), now, budget, error)) return false;
    } else if (kind == Kind::kFile) {
      node->attributes = kAttrArchive;
      std::string what;
      HostFileRead how;
      how.maxBytes = *budget < kMaxDriveFileBytes ? *budget : kMaxDriveFileBytes;
      if (!ReadHostFile(childHost, how, &node->content, &what)) {
        if (error) {
          *error = childShown + ": " + what +
                   (how.maxBytes < kMaxDriveFileBytes
                        ? " (the machine's files weigh more than " +
                              std::to_string(kMaxDriveBytesTotal) + " bytes together)"
                        : "");
        }
        return false;
      }
      *budget -= node->content.size();
    } else {
      if (error) *error = childShown + ": neither a regular file nor a folder";
      return false;
    }
    parent->children.Put(name, std::move(node));
  }
  return true;
}

bool ApplyDriveMeta(const std::vector<DriveMetaEntry>& entries, const std::string& metaName,
                    const std::string& driveShown, FsNode* root, std::string* error) {
  std::set<const FsNode*> seen;
  for (const DriveMetaEntry& e : entries) {
    auto fail = [&](const std::string& what) {
      if (error) *error = Located(metaName, e.line, what);
      return false;
    };
    FsNode* node = root;
    std::vector<std::string> parts;
    for (size_t start = 1; start < e.path.size();) {
      size_t end = e.path.find('\\', start);
      if (end == std::string::npos) end = e.path.size();
      parts.push_back(e.path.substr(start, end - start));
      start = end + 1;
    }
    const bool wantsFolder = (e.attributes & kAttrDirectory) != 0;
    for (size_t i = 0; i < parts.size(); ++i) {
      auto* child = node->isDirectory ? node->children.Find(parts[i]) : nullptr;
      if (!child) {
        // Version control keeps no empty folders; the sidecar brings them back.
        if (i + 1 == parts.size() && node->isDirectory && wantsFolder) {
          auto fresh = std::make_shared<FsNode>();
          fresh->name = parts[i];
          fresh->isDirectory = true;
          fresh->parent = node;
          node->children.Put(parts[i], fresh);
          child = node->children.Find(parts[i]);
        } else {
          return fail("no such file or folder in " + driveShown + ": " + e.path);
        }
      }
      node = child->get();
    }
    if (wantsFolder != node->isDirectory) {
      return fail(std::string("attributes mark a ") + (wantsFolder ? "folder" : "file") + " but " +
                  e.path + " is a " + (node->isDirectory ? "folder" : "file"));
    }
    if (!seen.insert(node).second) return fail(e.path + " is listed twice");
    // A junction is a link: a folder of its own with nothing in it, and a target.
    const bool junction = (e.attributes & kAttrReparsePoint) != 0;
    if (junction != !e.junctionTarget.empty() || (junction && !wantsFolder))
      return fail(e.path + ": a junction is a folder whose line names its target after ->");
    if (junction && !node->children.Empty()) return fail(e.path + ": a junction holds nothing");
    node->junctionTarget = e.junctionTarget;
    node->attributes = e.attributes;
    node->creationTime = e.creationTime;
    node->lastWriteTime = e.lastWriteTime;
    node->lastAccessTime = e.lastAccessTime;
  }
  return true;
}

bool LoadDrives(const std::string& folder, Machine* machine, EndLineTally* ends,
                std::string* error) {
  const std::string drives = folder + "/drives";
  const Kind kind = KindOf(drives);
  if (kind == Kind::kMissing) return true;
  if (kind != Kind::kFolder) {
    if (error) *error = "drives: not a folder";
    return false;
  }
  std::set<char> folders, metas;
  {
    Dir dir(drives);
    if (!dir.ok()) {
      if (error) *error = "drives: cannot read the folder: " + ErrnoText();
      return false;
    }
    std::string name;
    while (dir.Next(&name)) {
      const bool letter = !name.empty() && name[0] >= 'A' && name[0] <= 'Z';
      if (letter && name.size() == 1 && KindOf(drives + "/" + name) == Kind::kFolder) {
        folders.insert(name[0]);
      } else if (letter && name.substr(1) == ".meta" &&
                 KindOf(drives + "/" + name) != Kind::kFolder) {  // the reader refuses a link
        metas.insert(name[0]);
      } else {
        if (error) {
          *error = "drives/" + name +
                   ": unexpected; drives holds a folder per drive letter (C) and its "
                   "sidecar (C.meta)";
        }
        return false;
      }
    }
  }
  for (char letter : metas) {
    if (!folders.count(letter)) {
      if (error) *error = "drives/" + std::string(1, letter) + ".meta: no drive folder beside it";
      return false;
    }
  }
  uint64_t budget = kMaxDriveBytesTotal;
  for (char letter : folders) {
    const std::string shown = "drives/" + std::string(1, letter);
    auto root = machine->files.AddDrive(letter);
    if (!ReadHostTree(folder + "/" + shown, shown, root.get(), machine->Now(), &budget, error)) {
      return false;
    }
    if (metas.count(letter)) {
      const std::string metaName = shown + ".meta";
      std::string text;
      if (!ReadMachineFile(folder, metaName, &text, ends, error)) return false;
      std::vector<DriveMetaEntry> entries;
      if (!ParseDriveMeta(text, metaName, &entries, error)) return false;
      if (!ApplyDriveMeta(entries, metaName, shown, root.get(), error)) return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Saving

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

// ---------------------------------------------------------------------------------------
// LoadMachine / SaveMachine

namespace {

// Recovers a crashed save while holding the change lock (the state too, for the swap
// back a two-rename save may need).
bool RecoverHolding(FolderLock& lock, const FolderPaths& paths, std::string* error) {
  if (!HasLeftovers(paths)) return true;
  if (!TakeState(lock, true, error)) return false;
  const bool recovered = Recover(paths, error);
  lock.Release(FolderLock::Byte::kState);
  return recovered;
}

std::unique_ptr<Machine> ReadFolder(const FolderPaths& paths, const std::string& folder,
                                    std::string* error) {
  if (KindOf(paths.folder) != Kind::kFolder) {
    if (error) *error = folder + ": no machine folder there";
    return nullptr;
  }
  {
    static const std::set<std::string> kKnown = {"machine.ini",  "HKLM.reg",      "HKLM.security",
                                                 "HKCU.reg",     "HKCU.security", "HKU.reg",
                                                 "HKU.security", "drives"};
    Dir dir(paths.folder);
    if (!dir.ok()) {
      if (error) *error = folder + ": cannot read the folder: " + ErrnoText();
      return nullptr;
    }
    std::string name;
    while (dir.Next(&name)) {
      if (!kKnown.count(name)) {
        if (error) *error = name + ": unexpected in a machine folder";
        return nullptr;
      }
    }
  }
  auto machine = std::make_unique<Machine>();
  std::string text;
  EndLineTally ends;
  if (!ReadMachineFile(paths.folder, "machine.ini", &text, &ends, error)) return nullptr;
  if (!ParseMachineIni(text, "machine.ini", machine.get(), error)) return nullptr;
  for (const HiveFiles& files : kHiveFiles) {
    if (!LoadHive(paths.folder, files, machine.get(), &ends, error)) return nullptr;
  }
  if (!LoadDrives(paths.folder, machine.get(), &ends, error)) return nullptr;
  if (!ends.Check(error)) return nullptr;
  machine->folder = folder;
  return machine;
}

std::unique_ptr<Machine> Load(const std::string& folder, bool toChange, std::string* error) {
  FolderPaths paths;
  if (!ResolvePaths(folder, &paths, error)) return nullptr;
  std::shared_ptr<FolderLock> lock = FolderLock::Open(paths.lock, folder, error);
  if (!lock) {
    // Where nothing can be written, nothing can be saved either: read the folder as it is.
    if (toChange || (errno != EACCES && errno != EROFS)) return nullptr;
    return ReadFolder(paths, folder, error);
  }
  if (toChange && !lock->Take(FolderLock::Byte::kChange, true, error)) return nullptr;
  // A reader recovers a crashed save only when no command changes the folder now.
  const bool recovering =
      !toChange && HasLeftovers(paths) && lock->TryTake(FolderLock::Byte::kChange);
  if ((toChange || recovering) && !RecoverHolding(*lock, paths, error)) return nullptr;
  if (recovering) lock->Release(FolderLock::Byte::kChange);
  if (!TakeState(*lock, false, error)) return nullptr;
  std::unique_ptr<Machine> machine = ReadFolder(paths, folder, error);
  lock->Release(FolderLock::Byte::kState);
  if (machine && toChange) machine->folderLock = std::move(lock);
  return machine;
}

}  // namespace

std::unique_ptr<Machine> LoadMachine(const std::string& folder, std::string* error) {
  return Load(folder, false, error);
}

std::unique_ptr<Machine> LoadMachineToChange(const std::string& folder, std::string* error) {
  return Load(folder, true, error);
}

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
