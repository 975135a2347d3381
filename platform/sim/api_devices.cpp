// The device installer (SETUPAPI SetupDi*) of the simulated Windows.
#include <cstdio>
#include <cstdlib>

#include "platform/sim/win32_sim.h"

const GUID GUID_DEVCLASS_MULTIFUNCTION = {
    0x4d36e971, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID GUID_DEVCLASS_PORTS = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

namespace {
[[noreturn]] void NotBuilt(const char* name) {
  std::fprintf(stderr, "simulated SETUPAPI: %s is not built yet\n", name);
  std::abort();
}
}  // namespace

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID*, PCSTR, HWND, DWORD) {
  NotBuilt("SetupDiGetClassDevsA");
}
HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID*, HWND) {
  NotBuilt("SetupDiCreateDeviceInfoList");
}
BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO, DWORD, PSP_DEVINFO_DATA) {
  NotBuilt("SetupDiEnumDeviceInfo");
}
BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE,
                                              DWORD, PDWORD) {
  NotBuilt("SetupDiGetDeviceRegistryPropertyA");
}
BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO, PSP_DEVINFO_DATA, PSTR, DWORD, PDWORD) {
  NotBuilt("SetupDiGetDeviceInstanceIdA");
}
BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO, PSP_DEVINFO_DATA, PSP_CLASSINSTALL_HEADER,
                                          DWORD) {
  NotBuilt("SetupDiSetClassInstallParamsA");
}
BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA) {
  NotBuilt("SetupDiCallClassInstaller");
}
BOOL WINAPI SetupDiChangeState(HDEVINFO, PSP_DEVINFO_DATA) { NotBuilt("SetupDiChangeState"); }
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO) { NotBuilt("SetupDiDestroyDeviceInfoList"); }
BOOL WINAPI SetupDiCreateDeviceInfoA(HDEVINFO, PCSTR, const GUID*, PCSTR, HWND, DWORD,
                                     PSP_DEVINFO_DATA) {
  NotBuilt("SetupDiCreateDeviceInfoA");
}
BOOL WINAPI SetupDiRegisterDeviceInfo(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PSP_DETSIG_CMPPROC, PVOID,
                                      PSP_DEVINFO_DATA) {
  NotBuilt("SetupDiRegisterDeviceInfo");
}
BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO, PSP_DEVINFO_DATA, DWORD, const BYTE*,
                                              DWORD) {
  NotBuilt("SetupDiSetDeviceRegistryPropertyA");
}
