// The install sequence: classify Windows, read the package's customisation, remove an
// earlier installation for the same customer when the user agrees, then write the
// records, build the program folder and stage the INF files.
#include "framework/app_services.h"
#include "framework/privileges.h"
#include "framework/resource_string.h"
#include "installer/install_context.h"
#include "installer/win32_helpers.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

const char kProductKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller";
const char kQuestionCaption[] = "PCIe Multi-Io Controller Installer";
constexpr int kArchitectureX86 = 1;
constexpr UINT kReinstallQuestion = 103;

}  // namespace

int InstallContext::RunInstallSequence() {
  DetectWindowsVersion();
  DescribeWindowsVersion();
  // The platform sub-folder follows `architecture`. A 64-bit Windows that the description
  // left at x86 (its version record or processor lookup failed on the way) would get
  // drivers it cannot load, reported as installed; stop before anything is changed.
  if (IsSupported() && architecture == kArchitectureX86 && IsNative64BitWindows()) {
    return kInstallAborted;
  }
  if (!ReadCustomisation() || !ProgramFolderIsFree()) return kInstallAborted;
  LONG recordError = ERROR_SUCCESS;
  if (IsProductInstalled(&recordError)) {
    const std::string question = LoadResourceString(kReinstallQuestion);
    if (MessageBoxA(nullptr, question.c_str(), kQuestionCaption, MB_OKCANCEL) == IDCANCEL) {
      return kInstallDeclined;
    }
    if (!RemoveEarlierInstallation()) return kInstallAborted;
    // The engine removed the card's keys itself, which only a restart makes good.
    if (IsNative64BitWindows()) restartNeeded = 1;
  } else if (recordError != ERROR_FILE_NOT_FOUND) {
    // An installation whose record cannot be read would be written over blind.
    ShowMessage(UnreadableRecordMessage(customerName, recordError).c_str());
    return kInstallAborted;
  }
  DeleteOldUninstaller();
  WriteUninstallEntry();
  WriteProductRecord();
  if (!CreateProgramFolder() || !CopyPackage()) return kInstallAborted;
  return StageInfFiles() ? kInstallCompleted : kInstallAborted;
}

bool InstallContext::IsProductInstalled(LONG* openError) const {
  ScopedKey subkey;
  const LONG opened =
      subkey.Open(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\" + customerName);
  if (openError) *openError = opened;
  return opened == ERROR_SUCCESS;
}

int InstallContext::RemoveEarlierInstallation() {
  UninstallContext earlier;
  earlier.isNt5x = isNt5x;
  earlier.isNt60 = isNt60;
  earlier.customerName = customerName;
  return RunUninstallSequence(earlier) ? 1 : 0;
}

int InstallContext::EnablePrivilege(const char* name) {
  // Without NT's security there is no privilege to enable.
  return IsSupported() ? EnableProcessPrivilege(name) : 1;
}
