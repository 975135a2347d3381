// The file passes: the staged INF and PNF files that name the card, the program folder
// under Program Files and the uninstaller's copy in the system folder.
#include <cstring>
#include <vector>

#include "file_search/file_finder.h"
#include "framework/app_services.h"
#include "sysinfo/system_folders.h"
#include "sysinfo/wow64.h"
#include "uninstall_engine/file_removal.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

// Every attribute a staged file can carry; a file with none of them (only
// FILE_ATTRIBUTE_NORMAL) is not the device installer's and stays.
constexpr DWORD kStagedFileAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_COMPRESSED;

const char* const kStagedFileMasks[] = {"**.inf*", "**.pnf*"};

}  // namespace

// The finder's notification during the INF search: a file that names the card is
// deleted at once, while the search goes on.
void DeleteFoundFile(FileFinder* finder, int code, DWORD /*userData*/) {
  if (code != FOUND_MATCH) return;
  PathInfo found = finder->GetResult(finder->GetResultCount() - 1);
  DeleteFileClearingAttributes(found.GetPathText());
}

void UninstallContext::DeleteStagedInfFiles(const VidPidList& ids) {
  if (progress) progress->ShowBusy();
  FileFinder finder;
  finder.SetCallback(DeleteFoundFile, 0);
  FileFinderFilter filter;
  filter.ResetFilter();
  std::string windows;
  if (!WindowsFolder(&windows)) return;
  const std::string infFolder = windows + "\\inf";
  for (const std::string& id : ids) {
    if (id.empty()) break;
    for (const char* mask : kStagedFileMasks) {
      filter.folder = infFolder;
      filter.mask = mask;
      filter.text = id;
      filter.recurse = 1;
      filter.flags |= FIND_BY_ATTRIBUTES | FIND_BY_TEXT;
      filter.attributeMask |= kStagedFileAttributes;
      finder.ClearResults();
      finder.Search(filter);
    }
  }
}

void UninstallContext::RemoveProgramFolder() {
  if (!isNt5x && !isNt60) return;
  std::string windows;
  if (!WindowsFolder(&windows)) return;
  const std::string folder = windows.substr(0, 1) + ":\\Program Files\\" + customerName;
  if (!FitsMaxPath(folder)) return;
  // The shell takes a list of names, each ended by a NUL, the list by a second one.
  std::vector<char> source(folder.begin(), folder.end());
  source.push_back('\0');
  source.push_back('\0');
  SHFILEOPSTRUCTA operation = {};
  operation.hwnd = MainWindow();
  operation.wFunc = FO_DELETE;
  operation.pFrom = source.data();
  operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI;
  operation.lpszProgressTitle = ApplicationName();
  SHFileOperationA(&operation);
}

void UninstallContext::DeleteUninstallerCopy() {
  // The installer writes the copy on Vista too, so both programs delete it there.
  if (!isNt5x && !isNt60) return;
  std::string system;
  if (!SystemFolder(&system)) return;
  const std::string copy = system + "\\" + customerName + "_Wendmarrow.exe";
  if (!FitsMaxPath(copy)) return;
  // Under WOW64 the installer leaves one copy in SysWOW64 (where a 32-bit program's
  // System32 leads) and one in the native System32 (where the uninstall command
  // points); both go.
  DeleteFileClearingAttributes(copy.c_str());
  NativeSystemFolderScope native;
  if (native.active()) DeleteFileClearingAttributes(copy.c_str());
}
