// The customisation values as the installer takes them from the ports INF's text, and
// the names and paths it composes from them, each with the check it must pass before
// anything is written.
#pragma once

#include <string>
#include <vector>

constexpr char kDefaultCustomerName[] = "KORVANE";
constexpr char kDefaultUninstallerName[] = "KORVANE_Wendmarrow";
constexpr char kDefaultProviderName[] = "Korvane Semiconductor Technology Ltd";
constexpr char kDefaultDisplayName[] = "Korvane PCI-Express Multi-IO Controller";
constexpr char kUninstallerSuffix[] = "_Wendmarrow";

struct CustomisationValues {
  std::string customerName;
  std::string uninstallerName;
  std::string providerName;
  std::string displayName;
};

// The values cut from `text` over those `held` before the read: an empty customer value
// keeps the held customer and uninstaller names; every name still empty then takes its
// default.
CustomisationValues ResolveCustomisation(const std::string& text, const CustomisationValues& held);

// One name or path the installer composes from a value, and why it cannot be used.
struct ComposedName {
  const char* key;   // the INF key whose value it is built from
  const char* role;  // what the installer makes of it
  std::string text;
  const char* fault = nullptr;  // null when usable
};

// Every name and path composed from the customer and provider names, the customer's
// first, in the order the installer checks them. The paths under the Windows folder are
// left out when `windowsFolder` is null; `platformFolder` is "\X86", "\AMD64", "\IA64"
// or empty.
std::vector<ComposedName> ComposedNames(const CustomisationValues& values,
                                        const std::string* windowsFolder,
                                        const std::string& platformFolder);
// The first of `names` built from `key` that cannot be used, or null.
const ComposedName* FirstUnusable(const std::vector<ComposedName>& names, const char* key);
