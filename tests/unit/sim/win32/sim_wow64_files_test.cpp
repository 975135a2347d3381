// WOW64 file-system redirection on the simulator: what a 32-bit program reaches
// through system32 on a 64-bit Windows, the per-thread switch, the 64-bit view, and
// the same calls on a 32-bit Windows.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace {

sim::ProcessOptions Program(bool is64Bit = false) {
  sim::ProcessOptions o;
  o.modulePath = "C:\\setup\\Kestrolin.exe";
  o.is64BitProcess = is64Bit;
  return o;
}

class SimWow64Files : public ::testing::Test {
 protected:
  explicit SimWow64Files(bool windows64 = true) {
    if (windows64) machine.os.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    for (const char* folder :
         {"C:\\setup", "C:\\WINDOWS\\system32\\drivers\\etc", "C:\\WINDOWS\\system32\\catroot",
          "C:\\WINDOWS\\system32\\spool", "C:\\WINDOWS\\SysWOW64\\drivers"}) {
      machine.files.MakeDirectories(folder);
    }
  }

  bool Write(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }

  bool Exists(const std::string& path) { return machine.files.Find(path) != nullptr; }

  sim::Machine machine;
};

struct RedirectCase {
  const char* written;  // the name the program uses
  const char* lands;    // where the file is on the machine
};

TEST_F(SimWow64Files, A32BitProgramWritesThroughSystem32IntoSysWow64) {
  sim::ProcessScope scope(machine, Program());
  const RedirectCase cases[] = {
      {"C:\\WINDOWS\\system32\\k1.dll", "C:\\WINDOWS\\SysWOW64\\k1.dll"},
      {"c:/windows/SYSTEM32/k2.dll", "C:\\WINDOWS\\SysWOW64\\k2.dll"},
      {"C:\\WINDOWS\\system32\\drivers\\k3.sys", "C:\\WINDOWS\\SysWOW64\\drivers\\k3.sys"},
      {"C:\\WINDOWS\\system32\\drivers\\etc\\k4", "C:\\WINDOWS\\system32\\drivers\\etc\\k4"},
      {"C:\\WINDOWS\\system32\\catroot\\k5.cat", "C:\\WINDOWS\\system32\\catroot\\k5.cat"},
      {"C:\\WINDOWS\\system32\\spool\\k6", "C:\\WINDOWS\\system32\\spool\\k6"},
      {"C:\\WINDOWS\\k7.ini", "C:\\WINDOWS\\k7.ini"},
      {"C:\\WINDOWS\\system32\\..\\system32\\k8.dll", "C:\\WINDOWS\\SysWOW64\\k8.dll"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Write(c.written)) << c.written << " " << GetLastError();
    EXPECT_TRUE(Exists(c.lands)) << c.written;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(c.written)) << c.written;
  }
  EXPECT_FALSE(Exists("C:\\WINDOWS\\system32\\k1.dll"));
  EXPECT_FALSE(Exists("C:\\WINDOWS\\system32\\drivers\\k3.sys"));
  // Relative names through a current directory of system32 are redirected too.
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\WINDOWS\\system32"));
  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_STREQ("C:\\WINDOWS\\system32", current);
  ASSERT_TRUE(Write("k9.dll"));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\SysWOW64\\k9.dll"));
}

TEST_F(SimWow64Files, EveryFileCallSeesTheRedirectedFolder) {
  machine.files.WriteFile("C:\\WINDOWS\\SysWOW64\\only32.dll", "32");
  machine.files.WriteFile("C:\\WINDOWS\\system32\\only64.dll", "64");
  sim::ProcessScope scope(machine, Program());
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\WINDOWS\\system32\\only32.dll"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\WINDOWS\\system32\\only64.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("C:\\WINDOWS\\system32\\only*", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_STREQ("only32.dll", data.cFileName);
  EXPECT_FALSE(FindNextFileA(search, &data));
  FindClose(search);
  ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\system32\\only32.dll", "C:\\setup\\copy.dll", FALSE));
  EXPECT_EQ("32", machine.files.Find("C:\\setup\\copy.dll")->content);
  ASSERT_TRUE(CopyFileA("C:\\setup\\copy.dll", "C:\\WINDOWS\\system32\\back.dll", FALSE));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\SysWOW64\\back.dll"));
  ASSERT_TRUE(MoveFileA("C:\\WINDOWS\\system32\\back.dll", "C:\\WINDOWS\\system32\\b2.dll"));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\SysWOW64\\b2.dll"));
  ASSERT_TRUE(DeleteFileA("C:\\WINDOWS\\system32\\b2.dll"));
  EXPECT_FALSE(Exists("C:\\WINDOWS\\SysWOW64\\b2.dll"));
  ASSERT_TRUE(CreateDirectoryA("C:\\WINDOWS\\system32\\newdir", nullptr));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\SysWOW64\\newdir"));
  ASSERT_TRUE(RemoveDirectoryA("C:\\WINDOWS\\system32\\newdir"));
  EXPECT_FALSE(Exists("C:\\WINDOWS\\SysWOW64\\newdir"));
  // GetFullPathNameA only computes a name; it does not redirect.
  char full[MAX_PATH];
  GetFullPathNameA("C:\\WINDOWS\\system32\\x", sizeof full, full, nullptr);
  EXPECT_STREQ("C:\\WINDOWS\\system32\\x", full);
}

TEST_F(SimWow64Files, TheSwitchTurnsRedirectionOffForTheCallingThreadOnly) {
  sim::ProcessScope scope(machine, Program());
  PVOID outer = reinterpret_cast<PVOID>(0x1234);
  ASSERT_TRUE(Wow64DisableWow64FsRedirection(&outer));
  EXPECT_EQ(nullptr, outer);  // redirection was on
  ASSERT_TRUE(Write("C:\\WINDOWS\\system32\\native.dll"));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\system32\\native.dll"));
  bool otherThreadRedirected = false;
  std::thread other([&] {
    HANDLE h = CreateFileA("C:\\WINDOWS\\system32\\other.dll", GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    otherThreadRedirected = Exists("C:\\WINDOWS\\SysWOW64\\other.dll");
  });
  other.join();
  EXPECT_TRUE(otherThreadRedirected);
  // Disabling again hands out "already off"; reverting to that keeps it off.
  PVOID inner = nullptr;
  ASSERT_TRUE(Wow64DisableWow64FsRedirection(&inner));
  EXPECT_NE(nullptr, inner);
  ASSERT_TRUE(Wow64RevertWow64FsRedirection(inner));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\WINDOWS\\system32\\native.dll"));
  ASSERT_TRUE(Wow64RevertWow64FsRedirection(outer));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\WINDOWS\\system32\\native.dll"));
  EXPECT_FALSE(sim::ThreadFsRedirectionDisabled());
}

TEST_F(SimWow64Files, A64BitProcessIsNeverRedirected) {
  sim::ProcessScope scope(machine, Program(true));
  ASSERT_TRUE(Write("C:\\WINDOWS\\system32\\native.dll"));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\system32\\native.dll"));
  BOOL wow64 = TRUE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
  // It has no redirection to turn off (measured under Wine with a 64-bit program).
  PVOID old = reinterpret_cast<PVOID>(0x1234);
  EXPECT_FALSE(Wow64DisableWow64FsRedirection(&old));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
  EXPECT_EQ(reinterpret_cast<PVOID>(0x1234), old);
  EXPECT_FALSE(Wow64RevertWow64FsRedirection(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
  char buffer[MAX_PATH];
  EXPECT_EQ(19u, GetSystemWow64DirectoryA(buffer, sizeof buffer));
}

TEST_F(SimWow64Files, FolderNamesOfA32BitProgramOnA64BitWindows) {
  sim::ProcessScope scope(machine, Program());
  char buffer[MAX_PATH];
  EXPECT_EQ(19u, GetSystemDirectoryA(buffer, sizeof buffer));
  EXPECT_STREQ("C:\\WINDOWS\\system32", buffer);
  EXPECT_EQ(19u, GetSystemWow64DirectoryA(buffer, sizeof buffer));
  EXPECT_STREQ("C:\\WINDOWS\\SysWOW64", buffer);
  EXPECT_EQ(20u, GetSystemWow64DirectoryA(buffer, 19));
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_TRUE(wow64);
  EXPECT_FALSE(IsWow64Process(reinterpret_cast<HANDLE>(0x1000), &wow64));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

class SimWin32Files : public SimWow64Files {
 protected:
  SimWin32Files() : SimWow64Files(false) {}
};

TEST_F(SimWin32Files, A32BitWindowsHasNothingToRedirect) {
  sim::ProcessScope scope(machine, Program());
  ASSERT_TRUE(Write("C:\\WINDOWS\\system32\\plain.dll"));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\system32\\plain.dll"));
  // Measured in a 32-bit Wine prefix: both calls refuse and leave the value alone.
  PVOID old = reinterpret_cast<PVOID>(0x1234);
  SetLastError(0);
  EXPECT_FALSE(Wow64DisableWow64FsRedirection(&old));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
  EXPECT_EQ(reinterpret_cast<PVOID>(0x1234), old);
  EXPECT_FALSE(Wow64RevertWow64FsRedirection(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
  char buffer[MAX_PATH];
  EXPECT_EQ(0u, GetSystemWow64DirectoryA(buffer, sizeof buffer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
  BOOL wow64 = TRUE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
}

}  // namespace
