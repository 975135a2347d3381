// What a program sees of the registry and the processor: a 32-bit program on a 64-bit
// Windows is redirected; a 32-bit program on a 32-bit Windows and a 64-bit program on
// a 64-bit Windows see the native registry.
#include <string>

#include "env/environment.h"

namespace conformance {
namespace {

class Wow64Registry : public ConformanceTest {};

const char kSoftwareKey[] = "SOFTWARE\\KestrolinConformanceWow64";

TEST_F(Wow64Registry, SoftwareWritesOfA32BitProgramLandInWow6432NodeOn64BitWindows) {
  const bool redirected = IsWow64();
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kSoftwareKey);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSoftwareKey, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  const std::string wow64Node = "SOFTWARE\\Wow6432Node\\KestrolinConformanceWow64";
  EXPECT_EQ(redirected, KeyExists(HKEY_LOCAL_MACHINE, wow64Node, KEY_WOW64_64KEY));
  EXPECT_EQ(!redirected, KeyExists(HKEY_LOCAL_MACHINE, kSoftwareKey, KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSoftwareKey));
  EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, kSoftwareKey));
}

TEST_F(Wow64Registry, TheNativeViewFlagReachesKeysTheDefaultViewDoesNotSee) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kSoftwareKey, KEY_WOW64_64KEY);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSoftwareKey, 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr));
  RegCloseKey(key);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSoftwareKey, KEY_WOW64_64KEY));
  // On a 32-bit Windows the flag is ignored, and a 64-bit program's default view is the
  // native one: only a redirected program misses the key.
  EXPECT_EQ(!IsWow64(), KeyExists(HKEY_LOCAL_MACHINE, kSoftwareKey));
  EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, kSoftwareKey, KEY_WOW64_64KEY));
}

TEST_F(Wow64Registry, TheSystemHiveIsTheSameInBothViews) {
  const std::string key = "SYSTEM\\KestrolinConformanceWow64";
  DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
  HKEY created = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &created, nullptr));
  RegCloseKey(created);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY));
  EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, key));
}

TEST(Wow64Process, AThirtyTwoBitProgramIsWow64ExactlyOnA64BitWindows) {
  EXPECT_EQ(IsWindows64() && !Is64BitProcess(), IsWow64());
}

TEST(Wow64Process, SystemInfoReportsX86ToA32BitProgramAndNativeInfoTheTruth) {
  SYSTEM_INFO info;
  ZeroMemory(&info, sizeof info);
  GetSystemInfo(&info);
  EXPECT_EQ(Is64BitProcess() ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL,
            info.wProcessorArchitecture);
  typedef VOID(WINAPI * NativeInfo)(LPSYSTEM_INFO);
  auto native = reinterpret_cast<NativeInfo>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
  ASSERT_NE(nullptr, native);
  ZeroMemory(&info, sizeof info);
  native(&info);
  EXPECT_EQ(IsWindows64() ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL,
            info.wProcessorArchitecture);
}

TEST(Versions, TheExtendedRecordIsFilledWhenItsSizeIsGiven) {
  OSVERSIONINFOEXA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_EQ(156u, info.dwOSVersionInfoSize);
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
  EXPECT_GE(info.dwMajorVersion, 5u);
  EXPECT_EQ(VER_NT_WORKSTATION, info.wProductType);
}

TEST(Versions, ARecordOfAnUnknownSizeIsRefused) {
  OSVERSIONINFOEXA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(Modules, AMissingExportHasNoAddress) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(nullptr, kernel);
  EXPECT_EQ(nullptr, GetProcAddress(kernel, "NoSuchFunctionAnywhere"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
}

TEST(Modules, ALibraryLoadedByNameCanBeReleased) {
  HMODULE setupapi = LoadLibraryA("SETUPAPI");
  ASSERT_NE(nullptr, setupapi);
  EXPECT_TRUE(FreeLibrary(setupapi));
  EXPECT_EQ(nullptr, LoadLibraryA("NoSuchLibrary4711"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

DWORD WINAPI ReturnParameter(LPVOID parameter) {
  SetLastError(77);  // last error belongs to the thread that set it
  return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(parameter));
}

TEST(Threads, AThreadRunsWithItsParameterAndKeepsItsOwnLastError) {
  SetLastError(5);
  HANDLE thread =
      CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(42), 0, nullptr);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(42u, code);
  EXPECT_EQ(5u, GetLastError());
  EXPECT_TRUE(CloseHandle(thread));
}

}  // namespace
}  // namespace conformance
