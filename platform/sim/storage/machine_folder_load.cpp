// Loading a machine folder: strict and read-only; a folder that cannot be parsed is
// refused with its file and line, and a crashed save is recovered first (machine_folder_swap.h).
#include "platform/sim/storage/machine_folder.h"

#include <set>
#include <utility>

#include "platform/sim/storage/folder_lock.h"
#include "platform/sim/storage/host_file.h"
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

constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrReparsePoint = 0x400;

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
    auto node = NewFsNode();
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
          auto fresh = NewFsNode();
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

}  // namespace sim
