// The program folder under Program Files and the copies of the package's files in it.
#include <string>

#include "file_search/file_name_rules.h"
#include "framework/app_services.h"
#include "installer/install_context.h"
#include "installer/ports_inf.h"
#include "installer/win32_helpers.h"
#include "uninstall_engine/program_folder.h"

bool InstallContext::ProgramFolder(std::string* folder) const {
  // Without a customer name of its own the path would be Program Files itself, which
  // RemoveProgramFolder would delete whole.
  if (!IsSafeFileName(customerName)) return false;
  std::string windows;
  if (!WindowsFolder(&windows)) return false;
  *folder = windows.substr(0, 1) + ":\\Program Files\\" + customerName;
  return FitsMaxPath(*folder);
}

bool InstallContext::CreateProgramFolder() {
  if (!IsSupported()) return false;
  std::string folder;
  if (!ProgramFolder(&folder)) return false;
  if (!CreateDirectoryA(folder.c_str(), nullptr)) {
    // Each installation starts from an empty program folder.
    RemoveProgramFolder();
    if (!CreateDirectoryA(folder.c_str(), nullptr)) return false;
  }
  const std::string platform = folder + PlatformFolder();
  return FitsMaxPath(platform) && CreateDirectoryA(platform.c_str(), nullptr);
}

void InstallContext::RemoveProgramFolder() {
  std::string folder;
  if (ProgramFolder(&folder)) DeleteOwnProgramFolder(folder, customerName);
}

bool InstallContext::ProgramFolderIsFree() const {
  std::string folder;
  if (!IsSupported() || !ProgramFolder(&folder)) return true;
  if (InspectProgramFolder(folder, customerName) != ProgramFolderState::kForeign) return true;
  const std::string text = "The folder " + folder +
                           " holds files that this installer does not put there, so it "
                           "cannot be the program folder. Nothing was changed.";
  ShowMessage(text.c_str());
  return false;
}

bool InstallContext::CopyPackage() {
  if (!IsSupported()) return false;
  std::string package;
  if (!ProgramPath(&package)) return false;
  const size_t separator = package.find_last_of('\\');
  if (separator == std::string::npos) return false;
  package.erase(separator);
  std::string folder;
  if (!ProgramFolder(&folder)) return false;

  const std::string platform = PlatformFolder();
  const std::string target = folder + platform + "\\" + uninstallerName + ".exe";
  if (!CopyPackageFile(package + platform + "\\" + uninstallerName + ".exe", target) &&
      !CopyPackageFile(package + platform + "\\Wendmarrow.exe", target)) {
    return false;
  }
  for (const char* inf : {"\\Sabrelune.inf", "\\Dovrik.inf"}) {
    if (!CopyPackageFile(package + inf, folder + inf)) return false;
  }
  package += platform;
  folder += platform;
  for (const char* file :
       {"\\Orrick.sys", "\\Tamble.sys", "\\Quellmast.sys", "\\Sabrelune.dll", "\\Pellacorte.dll"}) {
    if (!CopyPackageFile(package + file, folder + file)) return false;
  }
  return true;
}

bool InstallContext::CopyPackageFile(const std::string& source, const std::string& target) {
  if (!FitsMaxPath(source) || !FitsMaxPath(target)) return false;
  const bool copied = CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE;
  // Also after a failed copy: a read-only file left from before must not block the next.
  ClearReadOnly(target);
  return copied;
}
