// COM port release: the card's COM numbers are recorded while its device keys are
// walked, then released from the port list and the COM name database.
#include <cstring>

#include "uninstall_engine/registry_ops.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

constexpr uint32_t kHighestComPort = 256;

// "COM" (case ignored) followed by a number in 1..256 by the atoi rules; 0 otherwise.
uint32_t ComNumberOf(const char* name) {
  if (_strnicmp(name, "COM", 3) != 0) return 0;
  const long long n = ParseDecimalLikeAtoi(name + 3);
  return n >= 1 && n <= kHighestComPort ? static_cast<uint32_t>(n) : 0;
}

}  // namespace

void UninstallContext::MarkCardComPort(uint32_t n) {
  if (n < 1 || n > kHighestComPort) return;
  comPortMap[(n - 1) >> 3] |= static_cast<uint8_t>(1u << ((n - 1) & 7));
}

bool UninstallContext::IsCardComPort(uint32_t n) const {
  if (n < 1 || n > kHighestComPort) return false;
  return (comPortMap[(n - 1) >> 3] & (1u << ((n - 1) & 7))) != 0;
}

void UninstallContext::RecordPortName(HKEY deviceKey, const std::string& instance) {
  ScopedKey parameters;
  if (parameters.Open(deviceKey, instance + "\\Device Parameters") != ERROR_SUCCESS) return;
  std::string portName;
  if (!ReadTextValue(parameters.get(), "PortName", &portName, 3)) return;
  if (uint32_t n = ComNumberOf(portName.c_str())) MarkCardComPort(n);
}

void UninstallContext::GrantSerialCommAccess() {
  // The grant is given back when this object goes: no later pass writes to the map.
  KeyAccessGrant grant = GrantKeyAccess("HARDWARE\\DEVICEMAP\\SERIALCOMM");
}

void UninstallContext::DeletePortsEntries() {
  static const char kPorts[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
  KeyAccessGrant grant = GrantKeyAccess(kPorts);
  ScopedKey ports;
  if (ports.Open(HKEY_LOCAL_MACHINE, kPorts) != ERROR_SUCCESS) return;
  DWORD index = 0;
  for (;;) {
    char name[MAX_PATH];
    DWORD length = sizeof(name);
    if (RegEnumValueA(ports.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    const uint32_t n = std::strlen(name) >= 4 ? ComNumberOf(name) : 0;
    // A deleted value's successor moves into its index, so that index is read again.
    if (n && IsCardComPort(n) && RegDeleteValueA(ports.get(), name) == ERROR_SUCCESS) continue;
    ++index;
  }
}

void UninstallContext::ReleaseComDbPorts() {
  static const char kArbiter[] = "System\\CurrentControlSet\\Control\\COM Name Arbiter";
  KeyAccessGrant grant = GrantKeyAccess(kArbiter);
  ScopedKey arbiter;
  if (arbiter.Open(HKEY_LOCAL_MACHINE, kArbiter) != ERROR_SUCCESS) return;
  BYTE database[32] = {};
  BYTE merge[32] = {};
  DWORD type = 0;
  DWORD size = sizeof(database);
  if (RegQueryValueExA(arbiter.get(), "ComDB", nullptr, &type, database, &size) != ERROR_SUCCESS ||
      type != REG_BINARY || size == 0)
    return;
  DWORD mergeSize = sizeof(merge);
  // Numbers set in the merge copy stay taken. A merge value that cannot be read
  // whole counts as clear.
  if (RegQueryValueExA(arbiter.get(), "ComDB Merge", nullptr, nullptr, merge, &mergeSize) !=
      ERROR_SUCCESS)
    std::memset(merge, 0, sizeof(merge));
  bool changed = false;
  for (uint32_t n = 1; n <= kHighestComPort; ++n) {
    const uint32_t byte = (n - 1) >> 3;
    const BYTE mask = static_cast<BYTE>(1u << ((n - 1) & 7));
    if ((database[byte] & mask) && IsCardComPort(n) && !(merge[byte] & mask)) {
      database[byte] = static_cast<BYTE>(database[byte] & ~mask);
      changed = true;
    }
  }
  if (changed) RegSetValueExA(arbiter.get(), "ComDB", 0, REG_BINARY, database, sizeof(database));
}
