// The device installer's view of a simulated machine, derived from its registry as on
// Windows: a device instance is a key
//   SYSTEM\CurrentControlSet\Enum\<enumerator>\<device>\<instance>
// with a "ClassGUID"; its driver key is Control\Class\<"Driver">; its state in a hardware
// profile lives in the key
//   SYSTEM\CurrentControlSet\Hardware Profiles\<profile>\System\CurrentControlSet\Enum\<id>
// Everything here is done the way the Plug and Play service does it, as SYSTEM: the
// protected access lists of Enum and Control\Class do not apply.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine/registry.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {

// The flags of a device's "ConfigFlags" and of its "CSConfigFlags" in a hardware profile
// (regstr.h).
constexpr uint32_t kConfigFlagDisabled = 0x00000001;       // CONFIGFLAG_DISABLED
constexpr uint32_t kCsConfigFlagDisabled = 0x00000001;     // CSCONFIGFLAG_DISABLED
constexpr uint32_t kCsConfigFlagDoNotCreate = 0x00000002;  // CSCONFIGFLAG_DO_NOT_CREATE
constexpr uint32_t kCsConfigFlagDoNotStart = 0x00000004;   // CSCONFIGFLAG_DO_NOT_START

extern const char kEnumPath[];              // "SYSTEM\CurrentControlSet\Enum"
extern const char kClassPath[];             // "SYSTEM\CurrentControlSet\Control\Class"
extern const char kHardwareProfilesPath[];  // "SYSTEM\CurrentControlSet\Hardware Profiles"
extern const char kComArbiterPath[];        // "...\Control\COM Name Arbiter"
extern const char kSerialCommPath[];        // "HARDWARE\DEVICEMAP\SERIALCOMM"

// "{4D36E978-E325-11CE-BFC1-08002BE10318}" (braces required, case ignored).
bool ParseGuid(std::string_view text, GUID* guid);
std::string GuidText(const GUID& guid);  // upper case, with braces
bool SameGuid(const GUID& a, const GUID& b);

// The instances a device set is built from, in registry enumeration order.
struct DeviceQuery {
  const GUID* classGuid = nullptr;  // null: every class
  std::string enumerator;           // "": every enumerator
  bool currentProfileOnly = false;  // DIGCF_PROFILE
};
struct DeviceInstance {
  std::string instanceId;  // "PCI\VEN_...\4&2a7b1c3&0&00E4", the key names as they stand
  GUID classGuid;
};
std::vector<DeviceInstance> ListDeviceInstances(const Registry& registry, const DeviceQuery& query);

// The instance's key below Enum; null when the device is gone.
std::shared_ptr<RegKey> DeviceInstanceKey(const Registry& registry, std::string_view instanceId);

// A device is part of a hardware profile unless the profile's CSConfigFlags for it hold
// CSCONFIGFLAG_DO_NOT_CREATE. A machine without profile keys has every device in its
// current profile.
bool IsInCurrentProfile(const Registry& registry, std::string_view instanceId);

// "Hardware Profiles\Current" for profile 0, else "Hardware Profiles\NNNN"; and the
// instance's key in that profile.
std::string HardwareProfilePath(uint32_t profile);
std::string HardwareProfileEnumPath(uint32_t profile, std::string_view instanceId);

// Removes the device as the ports class installer and Plug and Play do on DIF_REMOVE.
// False when the instance is gone.
bool RemoveDevice(Registry& registry, std::string_view instanceId);

// Sets (or clears) `flags` in a DWORD value of the key at `path` below HKLM. A value that
// is missing counts as 0; when nothing changes, nothing is created.
void UpdateFlags(Registry& registry, const std::string& path, const char* valueName, uint32_t flags,
                 bool set);

}  // namespace sim
