// The state of one uninstall run and the registry passes that work on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

// The card's PCI IDs ("VEN_6A3C&DEV_5E17"), up to five; the first empty entry ends
// the list.
using VidPidList = std::vector<std::string>;

class UninstallContext {
 public:
  BOOL isNt5x = FALSE;
  BOOL isNt60 = FALSE;
  std::string customerName;
  // COM n is the mask 1 << ((n - 1) & 7) in byte (n - 1) >> 3.
  uint8_t comPortMap[32] = {};

  // COM port release.
  void RecordPortName(HKEY deviceKey, const std::string& instance);
  void MarkCardComPort(uint32_t n);
  bool IsCardComPort(uint32_t n) const;
  void GrantSerialCommAccess();
  void DeletePortsEntries();
  void ReleaseComDbPorts();

  // Device registry cleanup.
  void RemovePortsClassKeys(const VidPidList& ids);
  void RemoveMultifunctionClassKeys(const VidPidList& ids);
  void RemoveMultifunctionDevices(const VidPidList& ids);
  void RemovePciPortDevices(const VidPidList& ids);
  void RemovePciChildDevices(const VidPidList& ids);
  void RemovePciDeviceKeys(const VidPidList& ids);
  void RemoveUninstallEntries();
  void RemoveProductKeys();

 private:
  void RemoveClassKeys(const char* classPath, const VidPidList& ids);
};
