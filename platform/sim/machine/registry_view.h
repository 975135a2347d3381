// Where a registry path leads for the calling process: below a hive root or an
// open key, through WOW64 redirection of HKLM\SOFTWARE for 32-bit processes on
// 64-bit editions (with Windows' shared keys left shared).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine/process.h"
#include "platform/sim/machine/registry.h"

namespace sim {

enum class RegistryView { kNative, kWow64_32 };

// The view a call sees: the flags of the call, else the handle's, else the process's.
RegistryView ViewFor(const Process& process, uint32_t samDesired, RegistryView handleView);

// Components of the key that `relative` names below `base`, mapped for the view
// (hive root first excluded). False for an invalid path.
bool MapRegistryPath(const Process& process, const RegKey& base, std::string_view relative,
                     RegistryView view, std::vector<std::string>* components);

// The key that `relative` names below `base` for the view, through
// MapRegistryPath's mapping; null in `*key` when a component is missing. False
// for an invalid path. Where no redirection can apply it walks down from `base`
// without building the path.
// `hint`, if given, is where an enumeration of `base`'s subkeys stands.
bool FindRegistryKey(const Process& process, const std::shared_ptr<RegKey>& base,
                     std::string_view relative, RegistryView view, std::shared_ptr<RegKey>* key,
                     const OrderedNameMap<std::shared_ptr<RegKey>>::Cursor* hint = nullptr);

// True when HKLM\SOFTWARE\<rest> is shared between the 32-bit and 64-bit views.
bool IsSharedSoftwareKey(const std::vector<std::string>& componentsBelowSoftware);

}  // namespace sim
