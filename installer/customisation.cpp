// Reading the customisation values from the package's ports INF.
#include <string>

#include "framework/app_services.h"
#include "installer/install_context.h"
#include "installer/ports_inf.h"
#include "installer/win32_helpers.h"

namespace {

constexpr char kDefaultCustomer[] = "KORVANE";
constexpr char kDefaultUninstaller[] = "KORVANE_Wendmarrow";
constexpr char kDefaultProvider[] = "Korvane Semiconductor Technology Ltd";
constexpr char kDefaultDisplay[] = "Korvane PCI-Express Multi-IO Controller";

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kProductKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller\\";

void Refuse(const char* key, const std::string& value, const char* use) {
  const std::string text =
      "Sabrelune.inf: the value \"" + value + "\" of " + key + " cannot be used as " + use + ".";
  ShowMessage(text.c_str());
}

}  // namespace

bool InstallContext::ReadCustomisation() {
  std::string text;
  if (!ReadPortsInf(&text)) return false;

  const std::string customer = CutValue(text, "CustomerName=", "ProviderName=");
  const std::string provider = CutValue(text, "ProviderName=", "UninstallName=");
  const std::string display = CutValue(text, "UninstallName=", "DiskName=");

  // An empty customer value leaves both names as they were; defaults fill what is empty.
  std::string newCustomer = customer.empty() ? customerName : customer;
  std::string newUninstaller = customer.empty() ? uninstallerName : customer + "_Wendmarrow";
  if (newCustomer.empty()) newCustomer = kDefaultCustomer;
  if (newUninstaller.empty()) newUninstaller = kDefaultUninstaller;
  const std::string newProvider = provider.empty() ? kDefaultProvider : provider;
  const std::string newDisplay = display.empty() ? kDefaultDisplay : display;

  // The customer's name becomes a folder under Program Files (deleted with its contents
  // when it exists), a file name in System32 and a key name; the provider's a key name
  // under Uninstall. A name that leaves its place, or a path that would not fit, is
  // refused before anything is written.
  bool fits = IsSafeFileName(newCustomer) && IsSafeFileName(newUninstaller + ".exe") &&
              FitsMaxPath(kProductKey + newCustomer);
  std::string windows;
  if (fits && WindowsFolder(&windows)) {
    const std::string programFolder = windows.substr(0, 1) + ":\\Program Files\\" + newCustomer;
    fits = FitsMaxPath(windows + "\\System32\\" + newUninstaller + ".exe") &&
           FitsMaxPath(programFolder + PlatformFolder() + "\\" + newUninstaller + ".exe") &&
           FitsMaxPath(programFolder + PlatformFolder() + "\\Pellacorte.dll");
  }
  if (!fits) {
    Refuse("CustomerName=", newCustomer, "a folder, file and registry key name");
    return false;
  }
  if (!IsSafeKeyName(newProvider) || !FitsMaxPath(kUninstallKey + newProvider)) {
    Refuse("ProviderName=", newProvider, "a registry key name");
    return false;
  }

  customerName = newCustomer;
  uninstallerName = newUninstaller;
  providerName = newProvider;
  displayName = newDisplay;
  return true;
}

const char* InstallContext::PlatformFolder() const {
  switch (architecture) {
    case 1:
      return "\\X86";
    case 2:
      return "\\AMD64";
    case 3:
      return "\\IA64";
    default:
      return "";
  }
}
