#include "platform/sim/machine/device_tree.h"

#include <cstdio>
#include <cstring>

#include "platform/sim/machine/name_order.h"

namespace sim {

const char kEnumPath[] = "SYSTEM\\CurrentControlSet\\Enum";
const char kClassPath[] = "SYSTEM\\CurrentControlSet\\Control\\Class";
const char kHardwareProfilesPath[] = "SYSTEM\\CurrentControlSet\\Hardware Profiles";
const char kComArbiterPath[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const char kSerialCommPath[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// `digits` hex digits of `text` from `at`; false when one is not a hex digit.
bool ReadHex(std::string_view text, size_t at, size_t digits, uint64_t* value) {
  *value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int d = HexDigit(text[at + i]);
    if (d < 0) return false;
    *value = (*value << 4) | static_cast<uint64_t>(d);
  }
  return true;
}

// Text of a REG_SZ value without its terminating NULs; "" when missing or not a string.
std::string StringValue(const RegKey& key, std::string_view name) {
  const RegValue* v = key.values.Find(name);
  if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) return std::string();
  std::string text = v->data;
  const size_t end = text.find('\0');
  if (end != std::string::npos) text.resize(end);
  return text;
}

std::shared_ptr<RegKey> FindBelowHklm(const Registry& registry, std::string_view path) {
  return Registry::Find(registry.LocalMachine(), path);
}

// Deletes the key at `path` below HKLM and then its parent when that is left empty,
// as Plug and Play leaves no empty device key behind an instance it removed.
void DeleteInstanceAndEmptyParent(Registry& registry, const std::string& path) {
  auto key = FindBelowHklm(registry, path);
  if (!key) return;
  RegKey* parent = key->parent;
  Registry::DeleteTree(key);
  if (parent) parent->lastWriteTime = registry.now;
  if (parent && parent->subkeys.Empty() && parent->values.Empty() && parent->parent) {
    auto* owner = parent->parent->subkeys.Find(parent->name);
    if (owner) Registry::DeleteTree(*owner);
  }
}

// "COMn" with 1 <= n <= 256 (the numbers the COM name database has bits for); else 0.
uint32_t ComNumber(std::string_view portName) {
  if (portName.size() < 4 || portName.size() > 6 || !NamesEqual(portName.substr(0, 3), "COM"))
    return 0;
  uint32_t n = 0;
  for (char c : portName.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + static_cast<uint32_t>(c - '0');
  }
  return portName[3] != '0' && n >= 1 && n <= 256 ? n : 0;
}

// The driver key a "Driver" value names: "<class GUID>\<index>", exactly one key below
// Control\Class. Anything else (empty, a bare class, a path that climbs or goes deeper)
// names no driver key, so that a damaged value cannot take a whole class with it.
bool IsDriverKeyName(const std::string& driver) {
  std::vector<std::string> parts;
  if (!SplitKeyPath(driver, &parts) || parts.size() != 2) return false;
  if (driver.find("\\\\") != std::string::npos || driver.back() == '\\') return false;
  GUID unused;
  if (!ParseGuid(parts[0], &unused)) return false;
  return parts[1] != "." && parts[1] != "..";
}

void ReleaseComPort(Registry& registry, const std::string& portName) {
  const uint32_t n = ComNumber(portName);
  if (n) {
    auto arbiter = FindBelowHklm(registry, kComArbiterPath);
    RegValue* db = arbiter ? arbiter->values.Find("ComDB") : nullptr;
    if (db && db->type == REG_BINARY && (n - 1) / 8 < db->data.size()) {
      char& byte = db->data[(n - 1) / 8];
      byte = static_cast<char>(byte & ~(1 << ((n - 1) % 8)));
      arbiter->lastWriteTime = registry.now;
    }
  }
  auto map = FindBelowHklm(registry, kSerialCommPath);
  if (!map) return;
  std::vector<std::string> doomed;
  map->values.ForEach([&](const std::string& name, const RegValue& value) {
    if (value.type != REG_SZ) return;
    std::string data = value.data;
    const size_t end = data.find('\0');
    if (end != std::string::npos) data.resize(end);
    if (NamesEqual(data, portName)) doomed.push_back(name);
  });
  for (const auto& name : doomed) map->values.Erase(name);
  if (!doomed.empty()) map->lastWriteTime = registry.now;
}

}  // namespace

bool ParseGuid(std::string_view text, GUID* guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-')
    return false;
  uint64_t v = 0;
  if (!ReadHex(text, 1, 8, &v)) return false;
  guid->Data1 = static_cast<uint32_t>(v);
  if (!ReadHex(text, 10, 4, &v)) return false;
  guid->Data2 = static_cast<unsigned short>(v);
  if (!ReadHex(text, 15, 4, &v)) return false;
  guid->Data3 = static_cast<unsigned short>(v);
  const size_t at[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, at[i], 2, &v)) return false;
    guid->Data4[i] = static_cast<unsigned char>(v);
  }
  return true;
}

std::string GuidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

bool SameGuid(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

std::vector<DeviceInstance> ListDeviceInstances(const Registry& registry,
                                                const DeviceQuery& query) {
  std::vector<DeviceInstance> found;
  auto enumKey = FindBelowHklm(registry, kEnumPath);
  if (!enumKey) return found;
  enumKey->subkeys.ForEach([&](const std::string& enumerator, const std::shared_ptr<RegKey>& e) {
    if (!query.enumerator.empty() && !NamesEqual(enumerator, query.enumerator)) return;
    e->subkeys.ForEach([&](const std::string& device, const std::shared_ptr<RegKey>& d) {
      d->subkeys.ForEach([&](const std::string& instance, const std::shared_ptr<RegKey>& i) {
        DeviceInstance found1;
        if (!ParseGuid(StringValue(*i, "ClassGUID"), &found1.classGuid)) return;
        if (query.classGuid && !SameGuid(*query.classGuid, found1.classGuid)) return;
        found1.instanceId = enumerator + "\\" + device + "\\" + instance;
        if (query.currentProfileOnly && !IsInCurrentProfile(registry, found1.instanceId)) return;
        found.push_back(std::move(found1));
      });
    });
  });
  return found;
}

std::shared_ptr<RegKey> DeviceInstanceKey(const Registry& registry, std::string_view instanceId) {
  std::vector<std::string> parts;
  if (!SplitKeyPath(instanceId, &parts) || parts.size() != 3) return nullptr;
  return FindBelowHklm(registry, std::string(kEnumPath) + "\\" + std::string(instanceId));
}

std::string HardwareProfilePath(uint32_t profile) {
  char name[16];
  if (profile == 0) {
    std::snprintf(name, sizeof name, "Current");
  } else {
    std::snprintf(name, sizeof name, "%04u", static_cast<unsigned>(profile));
  }
  return std::string(kHardwareProfilesPath) + "\\" + name;
}

std::string HardwareProfileEnumPath(uint32_t profile, std::string_view instanceId) {
  return HardwareProfilePath(profile) + "\\System\\CurrentControlSet\\Enum\\" +
         std::string(instanceId);
}

bool IsInCurrentProfile(const Registry& registry, std::string_view instanceId) {
  auto key = FindBelowHklm(registry, HardwareProfileEnumPath(0, instanceId));
  const RegValue* flags = key ? key->values.Find("CSConfigFlags") : nullptr;
  if (!flags || flags->type != REG_DWORD || flags->data.size() != 4) return true;
  uint32_t v = 0;
  std::memcpy(&v, flags->data.data(), 4);
  return (v & kCsConfigFlagDoNotCreate) == 0;
}

bool RemoveDevice(Registry& registry, std::string_view instanceId) {
  auto instance = DeviceInstanceKey(registry, instanceId);
  if (!instance) return false;
  const std::string driver = StringValue(*instance, "Driver");
  GUID classGuid;
  const bool isPort = ParseGuid(StringValue(*instance, "ClassGUID"), &classGuid) &&
                      SameGuid(classGuid, GUID_DEVCLASS_PORTS);
  std::string portName;
  if (auto parameters = Registry::Find(instance, "Device Parameters")) {
    portName = StringValue(*parameters, "PortName");
  }

  DeleteInstanceAndEmptyParent(registry, std::string(kEnumPath) + "\\" + std::string(instanceId));
  if (IsDriverKeyName(driver)) {
    if (auto driverKey = FindBelowHklm(registry, std::string(kClassPath) + "\\" + driver)) {
      Registry::DeleteTree(driverKey);
    }
  }
  // The instance's state in every hardware profile ("Current" and the numbered ones).
  if (auto profiles = FindBelowHklm(registry, kHardwareProfilesPath)) {
    std::vector<std::string> names;
    profiles->subkeys.ForEach(
        [&](const std::string& name, const std::shared_ptr<RegKey>&) { names.push_back(name); });
    for (const auto& name : names) {
      DeleteInstanceAndEmptyParent(registry, std::string(kHardwareProfilesPath) + "\\" + name +
                                                 "\\System\\CurrentControlSet\\Enum\\" +
                                                 std::string(instanceId));
    }
  }
  // The ports class installer gives the COM number back and Plug and Play drops the
  // port's device-map entry. The port's "COMn:" settings in the Ports key of
  // Windows NT\CurrentVersion stay: Windows keeps them with the name, so a port that
  // comes back as COMn finds its old settings there.
  if (isPort && !portName.empty()) ReleaseComPort(registry, portName);
  return true;
}

void UpdateFlags(Registry& registry, const std::string& path, const char* valueName, uint32_t flags,
                 bool set) {
  auto key = FindBelowHklm(registry, path);
  uint32_t old = 0;
  const RegValue* value = key ? key->values.Find(valueName) : nullptr;
  if (value && value->type == REG_DWORD && value->data.size() == 4) {
    std::memcpy(&old, value->data.data(), 4);
  }
  const uint32_t now = set ? (old | flags) : (old & ~flags);
  if (value && now == old) return;
  if (!value && now == 0) return;
  if (!key) key = registry.Create(registry.LocalMachine(), path);
  key->values.Put(valueName, RegValue{REG_DWORD, Registry::DwordData(now)});
  key->lastWriteTime = registry.now;
}

}  // namespace sim
