// The passes that remove the card's class keys, enumeration keys, uninstall entries and
// product records from the registry.
#include <cctype>
#include <cstring>

#include "uninstall_engine/registry_ops.h"
#include "uninstall_engine/id_match.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

const char kClassRoot[] = "System\\CurrentControlSet\\Control\\Class\\";
const char kPortsClass[] =
    "System\\CurrentControlSet\\Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}";
const char kMultifunctionClass[] =
    "System\\CurrentControlSet\\Control\\Class\\{4d36e971-e325-11ce-bfc1-08002be10318}";
const char kEnumMf[] = "System\\CurrentControlSet\\Enum\\MF";
const char kEnumPci[] = "System\\CurrentControlSet\\Enum\\PCI";

const char kComFunction[] = "zelvorahw\\pciex_com";
const char kLptFunction[] = "zelvorahw\\pciex_lpt";
constexpr size_t kFunctionLength = 19;

enum class WalkRule {
  kStepBack,  // after a deletion the key before the deleted one is examined again
  kForward,   // after a deletion the key that moved into its index is examined
};

// True when `name` is still the subkey at `index`: a deletion reported as done did not
// happen (a key that could not be found to delete), so the walk must not come back to it.
bool StillAt(HKEY key, DWORD index, const char* name) {
  char current[MAX_PATH];
  return RegEnumKeyA(key, index, current, sizeof(current)) == ERROR_SUCCESS &&
         _stricmp(current, name) == 0;
}

// Walks the subkeys of `key` from index 0 until the enumeration fails. `visit` gets
// each name and returns true when it deleted that subkey.
template <typename Visit>
void WalkSubkeys(HKEY key, WalkRule rule, Visit visit) {
  DWORD index = 0;
  for (;;) {
    char name[MAX_PATH];
    if (RegEnumKeyA(key, index, name, sizeof(name)) != ERROR_SUCCESS) return;
    if (!visit(std::string(name)) || StillAt(key, index, name)) {
      ++index;
    } else if (rule == WalkRule::kStepBack) {
      index = index ? index - 1 : 0;
    }
  }
}

// The instance walk inside a device key: forward, deleting nothing; `visit` returns
// false to end the walk.
template <typename Visit>
void WalkInstances(HKEY deviceKey, Visit visit) {
  for (DWORD index = 0;; ++index) {
    char name[MAX_PATH];
    if (RegEnumKeyA(deviceKey, index, name, sizeof(name)) != ERROR_SUCCESS) return;
    if (!visit(std::string(name))) return;
  }
}

bool IsCardFunction(const std::string& hardwareId) {
  return _strnicmp(hardwareId.c_str(), kComFunction, kFunctionLength) == 0 ||
         _strnicmp(hardwareId.c_str(), kLptFunction, kFunctionLength) == 0;
}

// A "Driver" value names one driver key: "{class GUID}\NNNN". Anything else (a bare
// class GUID above all) would make the deletion take a whole class with it.
bool IsDriverKeyName(const std::string& value) {
  static const char kGuidShape[] = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  const size_t guidLength = sizeof(kGuidShape) - 1;
  if (value.size() <= guidLength + 1 || value[guidLength] != '\\') return false;
  for (size_t i = 0; i < guidLength; ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (kGuidShape[i] == 'x' ? !std::isxdigit(c) : c != static_cast<unsigned char>(kGuidShape[i]))
      return false;
  }
  return value.find('\\', guidLength + 1) == std::string::npos;
}

// Deletes a driver key below Control\Class. The class key is protected like Enum, so
// the deletion takes access on it for its own length.
void DeleteDriverKey(const std::string& driver) {
  if (!IsDriverKeyName(driver)) return;
  const std::string classPath = kClassRoot + driver.substr(0, driver.find('\\'));
  KeyAccessGrant grant = GrantKeyAccess(classPath);
  DeleteRegistryKey(HKEY_LOCAL_MACHINE, kClassRoot + driver);
}

}  // namespace

void UninstallContext::RemoveClassKeys(const char* classPath, const VidPidList& ids) {
  KeyAccessGrant grant = GrantKeyAccess(classPath);
  ScopedKey classKey;
  if (classKey.Open(HKEY_LOCAL_MACHINE, classPath) != ERROR_SUCCESS) return;
  WalkSubkeys(classKey.get(), WalkRule::kStepBack, [&](const std::string& name) {
    bool matched = false;
    {
      ScopedKey driver;
      if (driver.Open(classKey.get(), name) != ERROR_SUCCESS) return false;
      std::string id;
      if (ReadTextValue(driver.get(), "MatchingDeviceId", &id)) {
        LowerCaseAscii(&id);
        matched = MatchesAnyId(id.c_str(), kPciIdPrefix, ids, kPciIdLength);
      }
    }
    return matched && DeleteRegistryKey(classKey.get(), name);
  });
}

void UninstallContext::RemovePortsClassKeys(const VidPidList& ids) {
  RemoveClassKeys(kPortsClass, ids);
}

void UninstallContext::RemoveMultifunctionClassKeys(const VidPidList& ids) {
  RemoveClassKeys(kMultifunctionClass, ids);
}

void UninstallContext::RemoveMultifunctionDevices(const VidPidList& ids) {
  KeyAccessGrant grant = GrantKeyAccess(kEnumMf);
  ScopedKey mf;
  if (mf.Open(HKEY_LOCAL_MACHINE, kEnumMf) != ERROR_SUCCESS) return;
  WalkSubkeys(mf.get(), WalkRule::kForward, [&](const std::string& name) {
    if (!MatchesAnyId(name.c_str(), "pci#", ids, 21)) return false;
    const std::string devicePath = std::string(kEnumMf) + "\\" + name;
    bool foundPort = false;
    {
      ScopedKey device;
      if (device.Open(HKEY_LOCAL_MACHINE, devicePath) != ERROR_SUCCESS) return false;
      WalkInstances(device.get(), [&](const std::string& instance) {
        ScopedKey instanceKey;
        if (instanceKey.Open(HKEY_LOCAL_MACHINE, devicePath + "\\" + instance) != ERROR_SUCCESS)
          return true;
        std::string hardwareId;
        if (ReadTextValue(instanceKey.get(), "HardwareID", &hardwareId)) {
          LowerCaseAscii(&hardwareId);
          if (IsCardFunction(hardwareId)) {
            RecordPortName(device.get(), instance);
            foundPort = true;
          }
        }
        std::string driver;
        if (ReadTextValue(instanceKey.get(), "Driver", &driver)) DeleteDriverKey(driver);
        return true;
      });
    }
    return foundPort && DeleteRegistryKey(HKEY_LOCAL_MACHINE, devicePath);
  });
}

void UninstallContext::RemovePciPortDevices(const VidPidList& ids) {
  KeyAccessGrant grant = GrantKeyAccess(kEnumPci);
  ScopedKey pci;
  if (pci.Open(HKEY_LOCAL_MACHINE, kEnumPci) != ERROR_SUCCESS) return;
  WalkSubkeys(pci.get(), WalkRule::kForward, [&](const std::string& name) {
    if (!MatchesAnyId(name.c_str(), "", ids, 17)) return false;
    const std::string devicePath = std::string(kEnumPci) + "\\" + name;
    bool foundPort = false;
    {
      ScopedKey device;
      if (device.Open(HKEY_LOCAL_MACHINE, devicePath) != ERROR_SUCCESS) return false;
      WalkInstances(device.get(), [&](const std::string& instance) {
        ScopedKey instanceKey;
        if (instanceKey.Open(HKEY_LOCAL_MACHINE, devicePath + "\\" + instance) != ERROR_SUCCESS)
          return true;
        std::string className, service;
        if (!ReadTextValue(instanceKey.get(), "Class", &className)) return true;
        LowerCaseAscii(&className);
        if (_strnicmp(className.c_str(), "ports", 5) != 0) return true;
        if (!ReadTextValue(instanceKey.get(), "Service", &service)) return true;
        LowerCaseAscii(&service);
        if (_strnicmp(service.c_str(), "orrick", 6) == 0 ||
            std::strncmp(service.c_str(), "tamble", 6) == 0) {
          RecordPortName(device.get(), instance);
          foundPort = true;
        }
        return true;
      });
    }
    return foundPort && DeleteRegistryKey(HKEY_LOCAL_MACHINE, devicePath);
  });
}

void UninstallContext::RemovePciChildDevices(const VidPidList& ids) {
  KeyAccessGrant grant = GrantKeyAccess(kEnumPci);
  ScopedKey pci;
  if (pci.Open(HKEY_LOCAL_MACHINE, kEnumPci) != ERROR_SUCCESS) return;
  WalkSubkeys(pci.get(), WalkRule::kStepBack, [&](const std::string& name) {
    if (!MatchesAnyId(name.c_str(), "", ids, 17)) return false;
    const std::string devicePath = std::string(kEnumPci) + "\\" + name;
    ScopedKey device;
    if (device.Open(HKEY_LOCAL_MACHINE, devicePath) != ERROR_SUCCESS) return false;
    bool deleted = false;
    WalkInstances(device.get(), [&](const std::string& instance) {
      ScopedKey child;
      if (child.Open(HKEY_LOCAL_MACHINE, devicePath + "\\" + instance +
                                             "\\Device Parameters\\Child0000") != ERROR_SUCCESS)
        return true;
      std::string hardwareId;
      if (!ReadTextValue(child.get(), "HardwareID", &hardwareId)) return true;
      LowerCaseAscii(&hardwareId);
      if (!IsCardFunction(hardwareId)) return true;
      deleted = DeleteRegistryKey(pci.get(), name);
      // A deleted device has no instances left to walk.
      return !deleted;
    });
    return deleted;
  });
}

void UninstallContext::RemovePciDeviceKeys(const VidPidList& ids) {
  KeyAccessGrant grant = GrantKeyAccess(kEnumPci);
  ScopedKey pci;
  if (pci.Open(HKEY_LOCAL_MACHINE, kEnumPci) != ERROR_SUCCESS) return;
  WalkSubkeys(pci.get(), WalkRule::kStepBack, [&](const std::string& name) {
    return MatchesAnyId(name.c_str(), "", ids, 17) && DeleteRegistryKey(pci.get(), name);
  });
}

void UninstallContext::RemoveUninstallEntries() {
  KeyAccessGrant grant = GrantKeyAccess(kUninstallEntriesKey);
  ScopedKey uninstall;
  if (uninstall.Open(HKEY_LOCAL_MACHINE, kUninstallEntriesKey) != ERROR_SUCCESS) return;
  char systemDirectory[MAX_PATH] = "";
  const UINT length = GetSystemDirectoryA(systemDirectory, sizeof(systemDirectory));
  if (length == 0 || length >= sizeof(systemDirectory)) systemDirectory[0] = '\0';
  const std::string bareName = customerName + "_wendmarrow.exe";
  const std::string fullName = std::string(systemDirectory) + "\\" + bareName;
  WalkSubkeys(uninstall.get(), WalkRule::kForward, [&](const std::string& name) {
    const std::string entryPath = std::string(kUninstallEntriesKey) + "\\" + name;
    ScopedKey entry;
    if (entry.Open(HKEY_LOCAL_MACHINE, entryPath) != ERROR_SUCCESS) return false;
    std::string command;
    if (!ReadTextValue(entry.get(), "UninstallString", &command)) return false;
    LowerCaseAscii(&command);
    if (_strnicmp(command.c_str(), fullName.c_str(), fullName.size()) != 0 &&
        _strnicmp(command.c_str(), bareName.c_str(), bareName.size()) != 0)
      return false;
    return DeleteRegistryKey(HKEY_LOCAL_MACHINE, entryPath);
  });
}

void UninstallContext::RemoveProductKeys() {
  KeyAccessGrant grant = GrantKeyAccess(kProductRecordsKey);
  ScopedKey product;
  if (product.Open(HKEY_LOCAL_MACHINE, kProductRecordsKey) != ERROR_SUCCESS) return;
  WalkSubkeys(product.get(), WalkRule::kForward, [&](const std::string& name) {
    // The whole name: customer ACME's run must leave customer ACMEX's record alone.
    if (_stricmp(name.c_str(), customerName.c_str()) != 0) return false;
    return DeleteRegistryKey(HKEY_LOCAL_MACHINE, std::string(kProductRecordsKey) + "\\" + name);
  });
  // With the last customer's record gone, the product key is left as empty as the
  // installer found its place, and goes too.
  char name[MAX_PATH];
  DWORD nameSize = sizeof(name);
  if (RegEnumKeyA(product.get(), 0, name, sizeof(name)) == ERROR_NO_MORE_ITEMS &&
      RegEnumValueA(product.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) ==
          ERROR_NO_MORE_ITEMS) {
    product.Close();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProductRecordsKey);
  }
}
