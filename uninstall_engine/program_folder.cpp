#include "uninstall_engine/program_folder.h"

#include <vector>

#include "framework/app_services.h"
#include "platform/win32.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

const char* const kPackageInfFiles[] = {"Sabrelune.inf", "Dovrik.inf"};
const char* const kPlatformFolders[] = {"X86", "AMD64", "IA64"};
const char* const kDriverFiles[] = {"Orrick.sys", "Tamble.sys", "Quellmast.sys", "Sabrelune.dll",
                                    "Pellacorte.dll"};

struct FolderEntry {
  std::string name;
  bool isFolder = false;
};

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
    entries->push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
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
    if (entry.isFolder) return false;
    if (!IsOneOf(entry.name, kDriverFiles) && lstrcmpiA(entry.name.c_str(), uninstaller.c_str()))
      return false;
  }
  return true;
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
  // A link would take the deletion to wherever it points.
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return ProgramFolderState::kForeign;
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return ProgramFolderState::kForeign;
  const std::string uninstaller = UninstallerCopyFileName(customerName);
  for (const FolderEntry& entry : entries) {
    const bool own = entry.isFolder
                         ? IsOneOf(entry.name, kPlatformFolders) &&
                               HoldsOnlyPlatformFiles(folder + "\\" + entry.name, uninstaller)
                         : IsOneOf(entry.name, kPackageInfFiles);
    if (!own) return ProgramFolderState::kForeign;
  }
  return ProgramFolderState::kOwn;
}

void DeleteOwnProgramFolder(const std::string& folder, const std::string& customerName) {
  if (folder.size() >= MAX_PATH) return;
  if (InspectProgramFolder(folder, customerName) != ProgramFolderState::kOwn) return;
  // The shell takes a list of names, each ended by a NUL, the list by a second one.
  const std::string source = folder + '\0';
  SHFILEOPSTRUCTA operation = {};
  operation.hwnd = MainWindow();
  operation.wFunc = FO_DELETE;
  operation.pFrom = source.c_str();
  operation.pTo = nullptr;
  operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI;
  operation.lpszProgressTitle = ApplicationName();
  SHFileOperationA(&operation);
}
