// What a 32-bit program reaches through %windir%\system32: on a 64-bit Windows the file
// system redirects it to SysWOW64 (except a few shared folders) unless the thread turns
// redirection off; on a 32-bit Windows, and for a 64-bit process, nothing is redirected.
#include <string>

#include "env/environment.h"

namespace conformance {
namespace {

typedef BOOL(WINAPI* DisableFn)(PVOID*);
typedef BOOL(WINAPI* RevertFn)(PVOID);

// The switch is looked up, as the programs do: 32-bit Windows XP does not export it.
DisableFn DisableRedirection() {
  return reinterpret_cast<DisableFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "Wow64DisableWow64FsRedirection")));
}
RevertFn RevertRedirection() {
  return reinterpret_cast<RevertFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "Wow64RevertWow64FsRedirection")));
}

std::string WindowsFolder() {
  char buffer[MAX_PATH];
  const UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
  return std::string(buffer, n < sizeof buffer ? n : 0);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Touch(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// Redirection off for the calling thread while it lives (nothing to do where there is
// no redirection).
class NativeView {
 public:
  NativeView() {
    if (IsWow64()) active_ = DisableRedirection()(&old_) != FALSE;
  }
  ~NativeView() {
    if (active_) RevertRedirection()(old_);
  }
  NativeView(const NativeView&) = delete;
  NativeView& operator=(const NativeView&) = delete;
  bool active() const { return active_; }

 private:
  PVOID old_ = nullptr;
  bool active_ = false;
};

class Wow64Files : public ConformanceTest {
 protected:
  void SetUp() override {
    ConformanceTest::SetUp();
    windows = WindowsFolder();
    ASSERT_FALSE(windows.empty());
    system32 = windows + "\\system32";
    sysWow64 = windows + "\\SysWOW64";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name = std::string("KestrolinConformance.") + info->name() + ".tmp";
  }

  // Removes what a case may have left in either system folder.
  void TearDown() override {
    for (const char* folder : {"", "\\drivers", "\\drivers\\etc"}) {
      DeleteFileA((sysWow64 + folder + "\\" + name).c_str());
      NativeView native;
      DeleteFileA((system32 + folder + "\\" + name).c_str());
    }
    ConformanceTest::TearDown();
  }

  std::string windows, system32, sysWow64, name;
};

TEST_F(Wow64Files, TheSystemFolderIsNamedSystem32EvenForA32BitProgram) {
  char buffer[MAX_PATH];
  const UINT n = GetSystemDirectoryA(buffer, sizeof buffer);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(0, lstrcmpiA(system32.c_str(), buffer)) << buffer;
  SetLastError(0);
  const UINT wow = GetSystemWow64DirectoryA(buffer, sizeof buffer);
  if (IsWindows64()) {
    ASSERT_GT(wow, 0u);
    EXPECT_EQ(0, lstrcmpiA(sysWow64.c_str(), buffer)) << buffer;
  } else {
    EXPECT_EQ(0u, wow);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
  }
  BOOL isWow64 = !IsWow64();
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &isWow64));
  EXPECT_EQ(IsWindows64() && !Is64BitProcess(), !!isWow64);
}

TEST_F(Wow64Files, AFileWrittenThroughSystem32LandsInSysWow64) {
  ASSERT_TRUE(Touch(system32 + "\\" + name)) << GetLastError();
  EXPECT_TRUE(Exists(system32 + "\\" + name));
  EXPECT_EQ(IsWow64(), Exists(sysWow64 + "\\" + name));
  NativeView native;
  EXPECT_EQ(IsWow64(), native.active());
  // With redirection off the program sees the real system32, where the file is not.
  EXPECT_EQ(!IsWow64(), Exists(system32 + "\\" + name));
}

TEST_F(Wow64Files, DriversIsRedirectedButDriversEtcIsShared) {
  {
    NativeView native;
    // Windows always has system32\drivers\etc; a bare machine may lack it.
    CreateDirectoryA((system32 + "\\drivers").c_str(), nullptr);
    CreateDirectoryA((system32 + "\\drivers\\etc").c_str(), nullptr);
  }
  if (IsWow64()) CreateDirectoryA((sysWow64 + "\\drivers").c_str(), nullptr);
  ASSERT_TRUE(Touch(system32 + "\\drivers\\" + name)) << GetLastError();
  ASSERT_TRUE(Touch(system32 + "\\drivers\\etc\\" + name)) << GetLastError();
  EXPECT_EQ(IsWow64(), Exists(sysWow64 + "\\drivers\\" + name));
  EXPECT_FALSE(Exists(sysWow64 + "\\drivers\\etc\\" + name));
  NativeView native;
  EXPECT_EQ(!IsWow64(), Exists(system32 + "\\drivers\\" + name));
  EXPECT_TRUE(Exists(system32 + "\\drivers\\etc\\" + name));
}

TEST_F(Wow64Files, ARelativeNameFromACurrentFolderInSystem32IsRedirected) {
  char saved[MAX_PATH];
  GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(system32.c_str()));
  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof current, current);
  const bool touched = Touch(name);
  SetCurrentDirectoryA(saved);
  EXPECT_EQ(0, lstrcmpiA(system32.c_str(), current));  // the name stays system32
  ASSERT_TRUE(touched);
  EXPECT_EQ(IsWow64(), Exists(sysWow64 + "\\" + name));
}

TEST_F(Wow64Files, TheRedirectionSwitchNestsAndReverts) {
  DisableFn disable = DisableRedirection();
  RevertFn revert = RevertRedirection();
  if (!IsWow64()) {
    // 32-bit Windows XP has no such functions; later 32-bit Windows, Wine in a 32-bit
    // prefix and a 64-bit process have nothing to turn off and refuse.
    if (!disable) return;
    PVOID old = reinterpret_cast<PVOID>(0x1234);
    SetLastError(0);
    EXPECT_FALSE(disable(&old));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    EXPECT_EQ(reinterpret_cast<PVOID>(0x1234), old);
    ASSERT_TRUE(revert);
    EXPECT_FALSE(revert(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    return;
  }
  ASSERT_TRUE(disable && revert);
  ASSERT_TRUE(Touch(sysWow64 + "\\" + name));
  PVOID outer = reinterpret_cast<PVOID>(0x1234);
  ASSERT_TRUE(disable(&outer));
  PVOID inner = nullptr;
  ASSERT_TRUE(disable(&inner));
  EXPECT_EQ(nullptr, outer);  // it was on
  EXPECT_NE(nullptr, inner);  // it was off
  ASSERT_TRUE(revert(inner));
  // Still off: system32 is the real one, which does not hold the file.
  EXPECT_FALSE(Exists(system32 + "\\" + name));
  ASSERT_TRUE(revert(outer));
  EXPECT_TRUE(Exists(system32 + "\\" + name));
}

DWORD WINAPI LookThroughSystem32(LPVOID parameter) {
  const std::string* path = static_cast<const std::string*>(parameter);
  return Exists(*path) ? 1 : 0;
}

TEST_F(Wow64Files, TurningRedirectionOffActsOnTheCallingThreadOnly) {
  if (!IsWow64()) return;  // nothing is redirected for this process
  ASSERT_TRUE(Touch(sysWow64 + "\\" + name));
  NativeView native;
  ASSERT_TRUE(native.active());
  const std::string path = system32 + "\\" + name;
  EXPECT_FALSE(Exists(path));
  HANDLE thread =
      CreateThread(nullptr, 0, LookThroughSystem32, const_cast<std::string*>(&path), 0, nullptr);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
  DWORD seen = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &seen));
  CloseHandle(thread);
  EXPECT_EQ(1u, seen);  // the other thread is still redirected to SysWOW64
}

}  // namespace
}  // namespace conformance
