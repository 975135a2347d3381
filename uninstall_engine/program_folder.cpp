#include "uninstall_engine/program_folder.h"

#include <vector>

#include "platform/win32.h"
#include "sysinfo/system_folders.h"
#include "uninstall_engine/file_removal.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

const char* const kPackageInfFiles[] = {"Sabrelune.inf", "Dovrik.inf"};
const char* const kPlatformFolders[] = {"X86", "AMD64", "IA64"};
const char* const kDriverFiles[] = {"Orrick.sys", "Tamble.sys", "Quellmast.sys", "Sabrelune.dll",
                                    "Pellacorte.dll"};

struct FolderEntry {
  std::string name;
  bool isFolder = false;
  bool isLink = false;  // a reparse point: a junction leads somewhere else
};

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// A search handle from FindFirstFileA, closed when it goes out of scope.
class ScopedFind {
 public:
  explicit ScopedFind(HANDLE h) : h_(h) {}
  ~ScopedFind() {
    if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  }
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// The entries of `folder`, "." and ".." left out; false when they cannot all be listed.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  const std::string pattern = folder + "\\*";
  if (pattern.size() >= MAX_PATH) return false;
  WIN32_FIND_DATAA found;
  ScopedFind find(FindFirstFileA(pattern.c_str(), &found));
  if (find.get() == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    entries->push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                        IsLink(found.dwFileAttributes)});
  } while (FindNextFileA(find.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

template <size_t N>
bool IsOneOf(const std::string& name, const char* const (&names)[N]) {
  for (const char* candidate : names) {
    if (lstrcmpiA(name.c_str(), candidate) == 0) return true;
  }
  return false;
}

bool HoldsOnlyPlatformFiles(const std::string& folder, const std::string& uninstaller) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return false;
  for (const FolderEntry& entry : entries) {
    if (entry.isFolder || entry.isLink) return false;
    if (!IsOneOf(entry.name, kDriverFiles) && lstrcmpiA(entry.name.c_str(), uninstaller.c_str()))
      return false;
  }
  return true;
}

void DeleteOwnFile(const std::string& path) {
  if (FitsMaxPath(path)) DeleteFileClearingAttributes(path.c_str());
}

}  // namespace

ProgramFolderState InspectProgramFolder(const std::string& folder,
                                        const std::string& customerName) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? ProgramFolderState::kAbsent
               : ProgramFolderState::kForeign;
  }
  // A link, at any level, would take the deletions to wherever it points.
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLink(attributes))
    return ProgramFolderState::kForeign;
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return ProgramFolderState::kForeign;
  const std::string uninstaller = UninstallerCopyFileName(customerName);
  for (const FolderEntry& entry : entries) {
    if (entry.isLink) return ProgramFolderState::kForeign;
    const bool own = entry.isFolder
                         ? IsOneOf(entry.name, kPlatformFolders) &&
                               HoldsOnlyPlatformFiles(folder + "\\" + entry.name, uninstaller)
                         : IsOneOf(entry.name, kPackageInfFiles);
    if (!own) return ProgramFolderState::kForeign;
  }
  return ProgramFolderState::kOwn;
}

void DeleteOwnProgramFolder(const std::string& folder, const std::string& customerName) {
  if (!FitsMaxPath(folder)) return;
  if (InspectProgramFolder(folder, customerName) != ProgramFolderState::kOwn) return;
  // File by file, by the names the installer writes, then each folder only if that left it
  // empty (RemoveDirectoryA refuses one that is not): whatever came in since the
  // inspection stays, and so does the folder that holds it.
  const std::string uninstaller = UninstallerCopyFileName(customerName);
  for (const char* platform : kPlatformFolders) {
    const std::string sub = folder + "\\" + platform;
    const DWORD attributes = GetFileAttributesA(sub.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    // Looked at once more right before: a link put here since would lead elsewhere.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLink(attributes)) return;
    for (const char* file : kDriverFiles) DeleteOwnFile(sub + "\\" + file);
    DeleteOwnFile(sub + "\\" + uninstaller);
    RemoveDirectoryA(sub.c_str());
  }
  for (const char* inf : kPackageInfFiles) DeleteOwnFile(folder + "\\" + inf);
  RemoveDirectoryA(folder.c_str());
}
