#include "installer/customisation_rules.h"

#include <cstring>

#include "file_search/file_name_rules.h"
#include "installer/ports_inf.h"
#include "sysinfo/system_folders.h"

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kProductKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller\\";
constexpr char kCustomerKey[] = "CustomerName=";
constexpr char kProviderKey[] = "ProviderName=";

const char* PathFault(const std::string& path) {
  return FitsMaxPath(path) ? nullptr : "it is longer than MAX_PATH";
}

}  // namespace

CustomisationValues ResolveCustomisation(const std::string& text, const CustomisationValues& held) {
  const std::string customer = CutValue(text, "CustomerName=", "ProviderName=");
  const std::string provider = CutValue(text, "ProviderName=", "UninstallName=");
  const std::string display = CutValue(text, "UninstallName=", "DiskName=");

  CustomisationValues v;
  v.customerName = customer.empty() ? held.customerName : customer;
  v.uninstallerName = customer.empty() ? held.uninstallerName : customer + kUninstallerSuffix;
  if (v.customerName.empty()) v.customerName = kDefaultCustomerName;
  if (v.uninstallerName.empty()) v.uninstallerName = kDefaultUninstallerName;
  v.providerName = provider.empty() ? kDefaultProviderName : provider;
  v.displayName = display.empty() ? kDefaultDisplayName : display;
  return v;
}

// The customer's name becomes a folder under Program Files (deleted with its contents
// when it exists), a file name in System32 and a key name; the provider's a key name
// under Uninstall. A name that leaves its place, or a path that would not fit, must be
// refused before anything is written.
std::vector<ComposedName> ComposedNames(const CustomisationValues& values,
                                        const std::string* windowsFolder,
                                        const std::string& platformFolder) {
  const std::string& customer = values.customerName;
  const std::string uninstaller = values.uninstallerName + ".exe";
  std::vector<ComposedName> names = {
      {kCustomerKey, "program folder name", customer, FileNameFault(customer)},
      {kCustomerKey, "uninstaller file name", uninstaller, FileNameFault(uninstaller)},
      {kCustomerKey, "customer key", kProductKey + customer, PathFault(kProductKey + customer)},
  };
  if (windowsFolder) {
    const std::string programFolder =
        windowsFolder->substr(0, 1) + ":\\Program Files\\" + customer + platformFolder;
    const std::string systemCopy = *windowsFolder + "\\System32\\" + uninstaller;
    const std::string folderCopy = programFolder + "\\" + uninstaller;
    const std::string driver = programFolder + "\\Pellacorte.dll";
    names.push_back(
        {kCustomerKey, "uninstaller copy in System32", systemCopy, PathFault(systemCopy)});
    names.push_back(
        {kCustomerKey, "uninstaller in the program folder", folderCopy, PathFault(folderCopy)});
    names.push_back(
        {kCustomerKey, "driver library in the program folder", driver, PathFault(driver)});
  }
  const std::string& provider = values.providerName;
  names.push_back({kProviderKey, "uninstall entry name", provider, KeyNameFault(provider)});
  names.push_back({kProviderKey, "uninstall entry key", kUninstallKey + provider,
                   PathFault(kUninstallKey + provider)});
  return names;
}

const ComposedName* FirstUnusable(const std::vector<ComposedName>& names, const char* key) {
  for (const ComposedName& name : names) {
    if (name.fault && std::strcmp(name.key, key) == 0) return &name;
  }
  return nullptr;
}
