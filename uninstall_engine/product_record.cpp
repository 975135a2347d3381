// The product record: the customer word, the card's PCI IDs from the customer's
// subkey, and the driver files that go once no customer's record is left.
#include <cstdio>
#include <cstring>
#include <string>

#include "file_search/file_name_rules.h"
#include "framework/app_services.h"
#include "sysinfo/system_folders.h"
#include "sysinfo/wow64.h"
#include "uninstall_engine/file_removal.h"
#include "uninstall_engine/registry_ops.h"
#include "uninstall_engine/uninstall_context.h"

const char kProductRecordsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller";
const char kUninstallEntriesKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

const char kDefaultCustomer[] = "KORVANE";
const char kCopySuffix[] = "_Wendmarrow";
constexpr int kMaxIds = 5;

const char* const kDriverFiles[] = {
    "%s\\system32\\Drivers\\Orrick.sys",    "%s\\system32\\Drivers\\Tamble.sys",
    "%s\\system32\\Drivers\\Quellmast.sys", "%s\\system32\\Sabrelune.dll",
    "%s\\system32\\Pellacorte.dll",
};

// The product key holds no customer's subkey but `ownCustomer`'s (the run's own, which
// the run removes), or is not there at all. An error answers no: the drivers stay.
bool NoOtherCustomerRecord(const std::string& ownCustomer) {
  ScopedKey product;
  const LONG opened = product.Open(HKEY_LOCAL_MACHINE, kProductRecordsKey);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  for (DWORD index = 0;; ++index) {
    char name[MAX_PATH];
    const LONG result = RegEnumKeyA(product.get(), index, name, sizeof(name));
    if (result == ERROR_NO_MORE_ITEMS) return true;
    if (result != ERROR_SUCCESS || _stricmp(name, ownCustomer.c_str()) != 0) return false;
  }
}

}  // namespace

std::string UninstallerCopyFileName(const std::string& customer) {
  return customer + kCopySuffix + ".exe";
}

std::string CustomerWordFromProgramName(const std::string& fileName) {
  // The installer names the copy customer + "_Wendmarrow": everything before that
  // suffix is the customer, underscores and capitals included.
  const size_t suffixLength = std::strlen(kCopySuffix);
  if (fileName.size() > suffixLength &&
      _stricmp(fileName.c_str() + fileName.size() - suffixLength, kCopySuffix) == 0) {
    return fileName.substr(0, fileName.size() - suffixLength);
  }
  // Any other name: drop a tail of the letters of "Wendmarrow", the underscores before
  // it, and keep the last underscore-separated word.
  std::string word = fileName;
  while (!word.empty() && std::strchr("Wendmarrow", word.back())) word.pop_back();
  while (!word.empty() && word.back() == '_') word.pop_back();
  const size_t underscore = word.rfind('_');
  if (underscore != std::string::npos) word.erase(0, underscore + 1);
  return word.empty() ? kDefaultCustomer : word;
}

std::string UnreadableRecordMessage(const std::string& customer, LONG error) {
  return "The installation record of " + customer + " cannot be read (error " +
         std::to_string(error) + "). Nothing was changed.";
}

bool UninstallContext::ReadProductRecord(VidPidList* ids) {
  ids->clear();
  driverFilesUnused = false;
  if (runner == Runner::kUninstaller) {
    std::string program;
    char name[_MAX_FNAME] = {};
    if (ProgramPath(&program)) _splitpath(program.c_str(), nullptr, nullptr, name, nullptr);
    customerName = CustomerWordFromProgramName(name);
    // The word names a folder under Program Files and a file in the system folder that
    // are deleted: "." or ".." would aim the deletion at Program Files or the drive.
    if (const char* fault = FileNameFault(customerName)) {
      const std::string text = "This program's file name gives the customer name \"" +
                               customerName + "\", which cannot be used: " + fault +
                               ". Nothing was changed.";
      ShowMessage(text.c_str());
      return false;
    }
  }

  const std::string subkeyPath = std::string(kProductRecordsKey) + "\\" + customerName;
  KeyAccessGrant grant = GrantKeyAccess(subkeyPath);
  ScopedKey subkey;
  const LONG opened = subkey.Open(HKEY_LOCAL_MACHINE, subkeyPath);
  if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) {
    // The record is the only copy of the card's IDs: without them no pass can find the
    // card, and deleting the record would leave nothing to retry from.
    ShowMessage(UnreadableRecordMessage(customerName, opened).c_str());
    return false;
  }
  if (opened == ERROR_SUCCESS) {
    for (int n = 1; n <= kMaxIds; ++n) {
      char valueName[32];
      std::snprintf(valueName, sizeof(valueName), "VID_PID_NAME%d", n);
      std::string id;
      if (ReadTextValue(subkey.get(), valueName, &id)) ids->push_back(id);
    }
  }
  // The uninstaller removes the drivers when no other customer's installation still
  // needs them: the run's own record goes later in the run, so it does not count.
  driverFilesUnused = runner == Runner::kUninstaller && NoOtherCustomerRecord(customerName);
  return true;
}

void UninstallContext::DeleteDriverFiles() {
  std::string windows;
  if (!WindowsFolder(&windows)) return;
  // The drivers live in the native System32, which WOW64 hides from a 32-bit program.
  NativeSystemFolderScope native;
  for (const char* format : kDriverFiles) {
    char path[MAX_PATH];
    const int length = std::snprintf(path, sizeof(path), format, windows.c_str());
    if (length < 0 || length >= MAX_PATH) continue;
    DeleteFileClearingAttributes(path);
  }
}
