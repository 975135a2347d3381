// Simulator behaviours that the conformance suite cannot state against Wine:
// injected faults, WOW64 shared keys, access lists of the edition templates,
// handle accounting and token privileges.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/machine/registry_view.h"
#include "platform/win32.h"

namespace {

std::unique_ptr<sim::Machine> Edition(const char* name) {
  std::string error;
  auto m = sim::MachineFromEdition(name, &error);
  EXPECT_TRUE(m) << error;
  return m;
}

LONG Open(const char* path, REGSAM sam, HKEY* key) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, sam, key);
}

TEST(SimRegistry, AnInjectedFaultFailsOnlyTheNamedCallOnItsSubject) {
  auto machine = Edition("xp");
  machine->faults.Add({"RegOpenKeyExA", ERROR_ACCESS_DENIED, 0, "\\Enum\\PCI"});
  sim::ProcessScope scope(*machine);
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED, Open("SYSTEM\\CurrentControlSet\\Enum\\PCI", KEY_READ, &key));
  ASSERT_EQ(ERROR_SUCCESS, Open("SYSTEM\\CurrentControlSet\\Enum", KEY_READ, &key));
  RegCloseKey(key);
  EXPECT_GE(machine->faults.CallCounts()["RegOpenKeyExA"], 2);
}

TEST(SimRegistry, AFaultOnTheNthCallFailsThatCallAlone) {
  auto machine = Edition("xp");
  machine->faults.Add({"RegQueryValueExA", ERROR_MORE_DATA, 2, ""});
  sim::ProcessScope scope(*machine);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, Open("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", KEY_READ, &key));
  DWORD size = 0;
  const LONG results[] = {
      RegQueryValueExA(key, "CurrentVersion", nullptr, nullptr, nullptr, &size),
      RegQueryValueExA(key, "CurrentVersion", nullptr, nullptr, nullptr, &size),
      RegQueryValueExA(key, "CurrentVersion", nullptr, nullptr, nullptr, &size)};
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, results[0]);
  EXPECT_EQ(ERROR_MORE_DATA, results[1]);
  EXPECT_EQ(ERROR_SUCCESS, results[2]);
}

TEST(SimRegistry, TheEditionsProtectEnumAndClassFromAdministrators) {
  for (const char* edition : {"2000", "xp", "xp-x64", "2003-x64-enterprise", "vista", "7-x64"}) {
    auto machine = Edition(edition);
    sim::ProcessScope scope(*machine);
    for (const char* path :
         {"SYSTEM\\CurrentControlSet\\Enum", "SYSTEM\\CurrentControlSet\\Enum\\PCI",
          "SYSTEM\\CurrentControlSet\\Control\\Class",
          "SYSTEM\\CurrentControlSet\\Control\\Class\\"
          "{4D36E978-E325-11CE-BFC1-08002BE10318}"}) {
      HKEY key = nullptr;
      EXPECT_EQ(ERROR_ACCESS_DENIED, Open(path, KEY_ALL_ACCESS, &key)) << edition << " " << path;
      ASSERT_EQ(ERROR_SUCCESS, Open(path, KEY_READ, &key)) << edition << " " << path;
      RegCloseKey(key);
    }
  }
}

TEST(SimRegistry, EveryOpenedKeyHandleIsAccountedUntilClosed) {
  auto machine = Edition("xp");
  sim::ProcessScope scope(*machine);
  const size_t before = scope.process().handles.Count();
  HKEY a = nullptr, b = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, Open("SOFTWARE", KEY_READ, &a));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(a, "Microsoft", 0, KEY_READ, &b));
  EXPECT_EQ(before + 2, scope.process().handles.Count());
  RegCloseKey(b);
  RegCloseKey(a);
  EXPECT_EQ(before, scope.process().handles.Count());
}

// Which keys a 32-bit program on a 64-bit edition reaches, for the paths the
// installer and the uninstaller use.
TEST(SimRegistryView, RedirectsSoftwareButSharesWhatWindowsShares) {
  auto machine = Edition("xp-x64");
  sim::ProcessScope scope(*machine);
  const sim::Process& p = scope.process();
  const auto hklm = machine->registry.LocalMachine();
  struct Case {
    const char* path;
    const char* mapped;
  } cases[] = {
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
       "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller\\KORVANE",
       "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller\\"
       "KORVANE"},
      {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
       "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports"},
      {"SOFTWARE\\Wow6432Node\\Microsoft", "SOFTWARE\\Wow6432Node\\Microsoft"},
      {"SOFTWARE", "SOFTWARE\\Wow6432Node"},
      {"SYSTEM\\CurrentControlSet\\Enum\\PCI", "SYSTEM\\CurrentControlSet\\Enum\\PCI"},
      {"HARDWARE\\DEVICEMAP\\SERIALCOMM", "HARDWARE\\DEVICEMAP\\SERIALCOMM"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> parts;
    ASSERT_TRUE(sim::MapRegistryPath(p, *hklm, c.path, sim::RegistryView::kWow64_32, &parts));
    std::string joined;
    for (const auto& part : parts) joined += (joined.empty() ? "" : "\\") + part;
    EXPECT_EQ(c.mapped, joined) << c.path;
  }
}

TEST(SimRegistryView, AThirtyTwoBitEditionRedirectsNothing) {
  auto machine = Edition("xp");
  sim::ProcessScope scope(*machine);
  std::vector<std::string> parts;
  ASSERT_TRUE(sim::MapRegistryPath(scope.process(), *machine->registry.LocalMachine(),
                                   "SOFTWARE\\Microsoft", sim::RegistryView::kWow64_32, &parts));
  EXPECT_EQ((std::vector<std::string>{"SOFTWARE", "Microsoft"}), parts);
}

TEST(SimRegistryView, ANativeProcessSeesWow6432NodeAsAnOrdinaryKey) {
  auto machine = Edition("xp-x64");
  sim::ProcessOptions shell;
  shell.modulePath = "C:\\WINDOWS\\explorer.exe";
  shell.is64BitProcess = true;
  sim::ProcessScope scope(*machine, shell);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            Open("SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion", KEY_READ, &key));
  RegCloseKey(key);
}

TEST(SimPrivileges, AdjustingAPrivilegeTheTokenLacksReportsNotAllAssigned) {
  auto machine = Edition("xp");
  sim::ProcessScope scope(*machine);
  scope.process().privileges.erase("SeShutdownPrivilege");
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  TOKEN_PRIVILEGES tp;
  tp.PrivilegeCount = 1;
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid));
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), GetLastError());
  CloseHandle(token);
}

TEST(SimPrivileges, EnablingIsRecordedAndThePreviousStateReported) {
  auto machine = Edition("xp");
  sim::ProcessScope scope(*machine);
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
  TOKEN_PRIVILEGES tp, previous;
  tp.PrivilegeCount = 1;
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid));
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  DWORD length = 0;
  ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, sizeof previous, &previous, &length));
  EXPECT_TRUE(scope.process().privileges["SeShutdownPrivilege"]);
  ASSERT_EQ(1u, previous.PrivilegeCount);
  EXPECT_EQ(0u, previous.Privileges[0].Attributes);
  CloseHandle(token);
}

TEST(SimSecurity, EveryListHandedOutIsReleasedByLocalFree) {
  auto machine = Edition("xp");
  sim::ProcessScope scope(*machine);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(
      static_cast<DWORD>(ERROR_SUCCESS),
      GetNamedSecurityInfoA("MACHINE\\SYSTEM\\CurrentControlSet\\Enum", SE_REGISTRY_KEY,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd));
  EXPLICIT_ACCESS_A ea;
  char user[] = "CURRENT_USER";
  BuildExplicitAccessWithNameA(&ea, user, GENERIC_ALL, GRANT_ACCESS,
                               SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  PACL merged = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SetEntriesInAclA(1, &ea, dacl, &merged));
  EXPECT_EQ(2u, scope.process().LocalCount());
  EXPECT_EQ(nullptr, LocalFree(merged));
  EXPECT_EQ(nullptr, LocalFree(sd));
  EXPECT_EQ(0u, scope.process().LocalCount());
  // A pointer that was never handed out is refused, not dereferenced.
  ACL bogus{};
  PACL out = nullptr;
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ACL), SetEntriesInAclA(1, &ea, &bogus, &out));
}

TEST(SimVersions, NinetyFiveToMeRefuseTheExtendedRecord) {
  for (const char* edition : {"95-osr2", "98-se", "me"}) {
    auto machine = Edition(edition);
    sim::ProcessScope scope(*machine);
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info))) << edition;
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    EXPECT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info))) << edition;
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
  }
}

TEST(SimModules, SetupApiIsMissingWhereTheMachineLacksIt) {
  auto machine = Edition("xp");
  machine->os.hasSetupApi = false;
  sim::ProcessScope scope(*machine);
  EXPECT_EQ(nullptr, LoadLibraryA("SETUPAPI"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST(SimModules, GetNativeSystemInfoIsExportedFromXpOn) {
  struct Case {
    const char* edition;
    bool exported;
  } cases[] = {{"2000", false}, {"nt4-sp6", false}, {"xp", true}, {"xp-x64", true}};
  for (const auto& c : cases) {
    auto machine = Edition(c.edition);
    sim::ProcessScope scope(*machine);
    EXPECT_EQ(c.exported,
              GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo") != nullptr)
        << c.edition;
  }
}

DWORD WINAPI SlowWorker(LPVOID flag) {
  Sleep(50);
  HKEY key = nullptr;
  // A worker still uses the machine while the process is ending.
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    *static_cast<bool*>(flag) = true;
  }
  return 0;
}

TEST(SimThreads, TheProcessWaitsForItsWorkersWhenItEnds) {
  auto machine = Edition("xp");
  bool finished = false;
  {
    sim::ProcessScope scope(*machine);
    HANDLE thread = CreateThread(nullptr, 0, SlowWorker, &finished, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    CloseHandle(thread);  // never joined by the program
  }
  EXPECT_TRUE(finished);
}

}  // namespace
