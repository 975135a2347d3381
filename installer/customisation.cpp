// Reading the customisation values from the package's ports INF.
#include <string>
#include <vector>

#include "framework/app_services.h"
#include "installer/customisation_rules.h"
#include "installer/install_context.h"
#include "installer/ports_inf.h"
#include "installer/win32_helpers.h"

namespace {

void Refuse(const char* key, const std::string& value, const char* use) {
  const std::string text =
      "Sabrelune.inf: the value \"" + value + "\" of " + key + " cannot be used as " + use + ".";
  ShowMessage(text.c_str());
}

}  // namespace

bool InstallContext::ReadCustomisation() {
  std::string text;
  if (!ReadPortsInf(&text)) return false;

  const CustomisationValues held = {customerName, uninstallerName, providerName, displayName};
  const CustomisationValues read = ResolveCustomisation(text, held);

  // The paths under the Windows folder are only composed once the names themselves
  // passed, and not at all when the Windows folder cannot be taken.
  std::vector<ComposedName> names = ComposedNames(read, nullptr, PlatformFolder());
  bool fits = FirstUnusable(names, "CustomerName=") == nullptr;
  std::string windows;
  if (fits && WindowsFolder(&windows)) {
    names = ComposedNames(read, &windows, PlatformFolder());
    fits = FirstUnusable(names, "CustomerName=") == nullptr;
  }
  if (!fits) {
    Refuse("CustomerName=", read.customerName, "a folder, file and registry key name");
    return false;
  }
  if (FirstUnusable(names, "ProviderName=")) {
    Refuse("ProviderName=", read.providerName, "a registry key name");
    return false;
  }

  customerName = read.customerName;
  uninstallerName = read.uninstallerName;
  providerName = read.providerName;
  displayName = read.displayName;
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
