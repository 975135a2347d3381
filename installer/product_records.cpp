// The product's records: the uninstaller copy in the system folder, the uninstall
// entry that starts it, and the customer subkey with the supported PCI IDs.
#include <cstdio>
#include <string>

#include "framework/app_services.h"
#include "installer/install_context.h"
#include "installer/ports_inf.h"
#include "installer/win32_helpers.h"
#include "uninstall_engine/pending_deletions.h"

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kProductKeyName[] = "PCIe Multi-Io Controller";

// Every string value is written with its length plus 4 bytes: the text, its
// terminator and three more zero bytes, as the uninstaller expects to find them.
bool SetString(HKEY key, const char* name, const std::string& text) {
  std::string data = text;
  data.append(4, '\0');
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool CreateSubkey(HKEY parent, const std::string& name, ScopedKey* key) {
  char noClass[] = "";
  DWORD disposition = 0;
  return RegCreateKeyExA(parent, name.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE, kReadWrite,
                         nullptr, key->out(), &disposition) == ERROR_SUCCESS;
}

bool OpenKey(const std::string& path, ScopedKey* key) {
  return FitsMaxPath(path) && RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, kReadWrite,
                                            key->out()) == ERROR_SUCCESS;
}

bool Copy(const std::string& source, const std::string& target) {
  return FitsMaxPath(source) && FitsMaxPath(target) &&
         CopyFileA(source.c_str(), target.c_str(), FALSE);
}

void Delete(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

}  // namespace

void InstallContext::DeleteOldUninstaller() {
  if (!IsSupported()) return;
  std::string system;
  if (!SystemFolder(&system)) return;
  const std::string path = system + "\\" + uninstallerName + ".exe";
  if (!FitsMaxPath(path)) return;
  Delete(path);
  // Under WOW64 the copy exists twice: in SysWOW64 (just deleted) and in System32.
  NativeSystemFolderScope native;
  if (native.active()) Delete(path);
}

bool InstallContext::CopyUninstallerToSystem() {
  std::string current;
  if (!CurrentFolder(&current)) {
    ShowMessage("GetCurrentDirectory failed!");
    return false;
  }
  // The root of a drive ("D:\") loses its backslash, which the sources add again.
  if (current.size() == 3) current.erase(2);
  std::string windows;
  if (!WindowsFolder(&windows)) {
    ShowMessage("GetWindowsDirectory failed!");
    return false;
  }
  const std::string target = windows + "\\System32\\" + uninstallerName + ".exe";
  // An uninstall since the last start may have left a deletion of this very name to the
  // next start, which would take the new copy with it. Under WOW64 this copy lands in
  // SysWOW64, the name such a deletion gives it.
  std::string wow64;
  const bool redirected = RunsUnderWow64() && Wow64SystemFolder(&wow64);
  if (!DropPendingDeletion(redirected ? wow64 + "\\" + uninstallerName + ".exe" : target))
    return false;
  std::string source = current + PlatformFolder() + "\\" + uninstallerName + ".exe";
  if (!Copy(source, target)) {
    source = current + PlatformFolder() + "\\Wendmarrow.exe";
    if (!Copy(source, target)) return false;
  }
  ClearReadOnly(target);
  if (!RunsUnderWow64()) return true;
  // A 32-bit program's copy lands in SysWOW64, while the 64-bit shell that runs the
  // uninstall command looks in System32: the copy goes there too, so that the path in
  // "UninstallString" finds it for either kind of process.
  NativeSystemFolderScope native;
  if (!native.active() || !DropPendingDeletion(target) || !Copy(source, target)) return false;
  ClearReadOnly(target);
  return true;
}

bool InstallContext::WriteUninstallEntry() {
  if (!IsSupported()) return true;
  if (!CopyUninstallerToSystem()) return false;
  ScopedKey uninstall;
  if (!OpenKey(kUninstallKey, &uninstall)) return false;
  ScopedKey created;
  if (!CreateSubkey(uninstall.get(), providerName, &created)) return false;
  ScopedKey entry;
  if (!OpenKey(std::string(kUninstallKey) + "\\" + providerName, &entry)) return false;
  if (!SetString(entry.get(), "DisplayName", displayName)) return false;
  std::string windows;
  if (!WindowsFolder(&windows)) return false;
  const std::string command = windows + "\\System32\\" + uninstallerName + ".exe";
  return FitsMaxPath(command) && SetString(entry.get(), "UninstallString", command);
}

bool InstallContext::WriteProductRecord() {
  if (!IsSupported()) return true;
  ScopedKey currentVersion;
  if (!OpenKey(kCurrentVersionKey, &currentVersion)) return false;
  ScopedKey product;
  if (!CreateSubkey(currentVersion.get(), kProductKeyName, &product)) return false;
  ScopedKey created;
  if (!CreateSubkey(product.get(), customerName, &created)) return false;
  ScopedKey customer;
  if (!OpenKey(std::string(kCurrentVersionKey) + "\\" + kProductKeyName + "\\" + customerName,
               &customer)) {
    return false;
  }
  WriteSupportedIds(customer.get());
  return true;
}

bool InstallContext::WriteSupportedIds(HKEY key) {
  std::string text;
  ReadPortsInf(&text);  // an INF that cannot be read names no IDs
  bool result = true;
  for (int n = 1; n <= 6; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "VID_PID_NAME%d", n);
    std::string id;
    if (!FindSupportedId(text, name, &id)) continue;
    if (!SetString(key, name, id)) result = false;
  }
  return result;
}

void InstallContext::ClearReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  const DWORD kept = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
}
