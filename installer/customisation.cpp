// Reading the customisation values from the package's ports INF.
#include <string>
#include <vector>

#include "framework/app_services.h"
#include "installer/customisation_rules.h"
#include "installer/install_context.h"
#include "installer/ports_inf.h"
#include "installer/win32_helpers.h"

namespace {

// A text in quotes; a long one by its start and length, so that the box stays readable.
std::string Quoted(const std::string& text) {
  constexpr size_t kWhole = 80, kStart = 60;
  if (text.size() <= kWhole) return "\"" + text + "\"";
  return "\"" + text.substr(0, kStart) + "...\" (" + std::to_string(text.size()) + " characters)";
}

// Names the value, what it would have become and why it cannot.
void Refuse(const char* key, const std::string& value, const char* use, const ComposedName* name) {
  const std::string text = "Sabrelune.inf: the value " + Quoted(value) + " of " + key +
                           " cannot be used as " + use + ": as the " + name->role +
                           (name->text == value ? "" : " " + Quoted(name->text)) + ", " +
                           name->fault + ".";
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
  const ComposedName* unusable = FirstUnusable(names, "CustomerName=");
  std::string windows;
  if (!unusable && WindowsFolder(&windows)) {
    names = ComposedNames(read, &windows, PlatformFolder());
    unusable = FirstUnusable(names, "CustomerName=");
  }
  if (unusable) {
    Refuse("CustomerName=", read.customerName, "a folder, file and registry key name", unusable);
    return false;
  }
  if (const ComposedName* provider = FirstUnusable(names, "ProviderName=")) {
    Refuse("ProviderName=", read.providerName, "a registry key name", provider);
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
