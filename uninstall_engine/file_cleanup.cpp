// The file passes: the staged INF and PNF files that name the card, the program folder
// under Program Files and the uninstaller's copy in the system folder.
#include <string>

#include "file_search/file_finder.h"
#include "sysinfo/system_folders.h"
#include "sysinfo/wow64.h"
#include "uninstall_engine/file_removal.h"
#include "uninstall_engine/pending_deletions.h"
#include "uninstall_engine/program_folder.h"
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
  DeleteOwnProgramFolder(windows.substr(0, 1) + ":\\Program Files\\" + customerName, customerName);
}

void UninstallContext::DeleteUninstallerCopy() {
  // The installer writes the copy on Vista too, so both programs delete it there.
  if (!isNt5x && !isNt60) return;
  std::string system;
  if (!SystemFolder(&system)) return;
  const std::string name = "\\" + UninstallerCopyFileName(customerName);
  const std::string copy = system + name;
  if (!FitsMaxPath(copy)) return;
  // Under WOW64 the installer leaves one copy in SysWOW64 (where a 32-bit program's
  // System32 leads) and one in the native System32 (where the uninstall command
  // points); both go. A deletion left to the restart is carried out without
  // redirection, so it names the SysWOW64 copy by its own folder.
  std::string wow64;
  const bool redirected = RunsUnderWow64() && Wow64SystemFolder(&wow64);
  DeleteNowOrAtRestart(copy, redirected ? wow64 + name : copy);
  NativeSystemFolderScope native;
  if (native.active()) DeleteNowOrAtRestart(copy, copy);
}
