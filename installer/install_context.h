// The installer's state across the install sequence, and the steps that use it:
// the customisation read from the ports INF, the product's records, the program
// folder with the package's files, and the staging of the INF files.
#pragma once

#include <string>

#include "platform/win32.h"
#include "sysinfo/windows_version.h"

// What RunInstallSequence returns.
constexpr int kInstallAborted = 0;
constexpr int kInstallCompleted = 1;
constexpr int kInstallDeclined = 2;

// isNt5x, isNt60, isWin98OrMe and architecture are the WindowsVersion's own fields.
class InstallContext : public WindowsVersion {
 public:
  ~InstallContext() override = default;

  int restartNeeded = 0;
  std::string customerName;     // INF "CustomerName=", default "KORVANE"
  std::string uninstallerName;  // customerName + "_Wendmarrow": the installed uninstaller
  std::string providerName;     // INF "ProviderName=": the uninstall entry's key name
  std::string displayName;      // INF "UninstallName=": the entry's display name

  // The whole installation, once per run of the program: kInstallCompleted,
  // kInstallDeclined (the user kept the earlier installation) or kInstallAborted.
  int RunInstallSequence();
  // The customer's subkey of the product key exists and opens. When it does not,
  // `openError` (if given) tells whether it is missing or there but unreadable.
  bool IsProductInstalled(LONG* openError = nullptr) const;
  // The uninstall engine's installer run for this customer; 0 when the earlier
  // installation's record could not be read and nothing was removed.
  int RemoveEarlierInstallation();
  // Enables a privilege of the process token; non-zero on success, and on a Windows
  // without security.
  int EnablePrivilege(const char* name);

  // Fills the four strings from Sabrelune.inf in the current folder. False when the
  // file cannot be opened or names what cannot safely be used (the strings are then
  // left empty).
  bool ReadCustomisation();

  // The uninstaller copy in the system folder and the product's records.
  void DeleteOldUninstaller();
  bool WriteUninstallEntry();
  bool WriteProductRecord();
  bool CopyUninstallerToSystem();
  bool WriteSupportedIds(HKEY key);
  static void ClearReadOnly(const std::string& path);

  // The program folder under Program Files and the package's files in it.
  bool CreateProgramFolder();
  bool CopyPackage();
  void RemoveProgramFolder();
  // False, with a message naming it, when the program folder's path holds anything but
  // an earlier installation of this customer: other software's folder is never replaced.
  bool ProgramFolderIsFree() const;
  static bool CopyPackageFile(const std::string& source, const std::string& target);

  // Hands both INF files of the program folder to the device installer.
  bool StageInfFiles();

  bool IsSupported() const { return isNt5x || isNt60; }

  // "\X86", "\AMD64", "\IA64" by architecture, else no sub-folder.
  const char* PlatformFolder() const;
  // "<drive>:\Program Files\<customerName>"; false when it cannot be built whole.
  bool ProgramFolder(std::string* folder) const;
};
