// What Windows a simulated machine is: the version record, the processor, and
// which optional system functions exist on it.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct OsIdentity {
  std::string edition;  // the template it was made from, e.g. "xp-x64"
  uint32_t platformId = 2;
  uint32_t majorVersion = 5;
  uint32_t minorVersion = 1;
  uint32_t buildNumber = 2600;  // the whole DWORD GetVersionExA reports
  std::string csdVersion = "Service Pack 3";
  uint16_t servicePackMajor = 3;
  uint16_t servicePackMinor = 0;
  uint16_t suiteMask = 0x0100;
  uint8_t productType = 1;
  uint16_t nativeArchitecture = 0;     // PROCESSOR_ARCHITECTURE_*
  bool hasExtendedVersionInfo = true;  // OSVERSIONINFOEXA accepted (NT 4.0 SP6 and later)
  bool hasGetNativeSystemInfo = true;  // kernel32 exports it (XP and later)
  bool hasSetupApi = true;             // SETUPAPI can be loaded
  bool hasSetupCopyOemInf = true;      // and exports SetupCopyOEMInfA
  std::string windowsFolder = "C:\\WINDOWS";
  std::string systemFolderName = "system32";  // "SYSTEM" on the 9x family
  std::string userName = "Administrator";
  std::string computerName = "SIMPC";

  bool Is64Bit() const { return nativeArchitecture == 9 || nativeArchitecture == 6; }
  std::string SystemFolder() const { return windowsFolder + "\\" + systemFolderName; }
};

}  // namespace sim
