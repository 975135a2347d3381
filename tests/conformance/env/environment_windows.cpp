// The conformance platform on Windows or Wine: the real Win32, nothing to prepare.
#include "env/environment.h"

namespace conformance {

bool SetUpPlatform(int*, char**) { return true; }
void TearDownPlatform() {}

bool IsSimulator() { return false; }

bool IsWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsWindows64() {
  typedef VOID(WINAPI * NativeInfo)(LPSYSTEM_INFO);
  SYSTEM_INFO info;
  ZeroMemory(&info, sizeof info);
  auto native = reinterpret_cast<NativeInfo>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
  if (native) {
    native(&info);
  } else {
    GetSystemInfo(&info);
  }
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool IsWow64() {
  typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, PBOOL);
  auto fn = reinterpret_cast<IsWow64Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow = FALSE;
  return fn && fn(GetCurrentProcess(), &wow) && wow;
}

bool Is64BitProcess() { return sizeof(void*) == 8; }

std::string PlatformName() {
  std::string name = IsWine() ? "wine" : "windows";
  name += IsWindows64() ? " 64-bit" : " 32-bit";
  return name + (Is64BitProcess() ? ", 64-bit process" : ", 32-bit process");
}

}  // namespace conformance
