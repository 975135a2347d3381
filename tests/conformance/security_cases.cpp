// Access lists of registry keys and token privileges. Wine keeps and enforces the list
// of a key that was set directly, as Windows does; where its answers differ, the case
// says so.
#include <string>

#include "env/environment.h"

namespace conformance {
namespace {

std::string MachineName(const std::string& keyPath) { return "MACHINE\\" + keyPath; }

// Grants an account rights on a key the way the uninstall engine does: read the
// current list, merge one entry, write it back.
DWORD Grant(const std::string& keyPath, const char* account, DWORD rights, ACCESS_MODE mode,
            DWORD inheritance, SECURITY_INFORMATION extra = 0) {
  std::string name = MachineName(keyPath);
  PACL oldDacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD r = GetNamedSecurityInfoA(name.c_str(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &oldDacl, nullptr, &descriptor);
  if (r != ERROR_SUCCESS) return r;
  EXPLICIT_ACCESS_A entry;
  ZeroMemory(&entry, sizeof entry);
  std::string trustee = account;
  BuildExplicitAccessWithNameA(&entry, &trustee[0], rights, mode, inheritance);
  PACL newDacl = nullptr;
  r = SetEntriesInAclA(1, &entry, extra ? nullptr : oldDacl, &newDacl);
  if (r == ERROR_SUCCESS) {
    r = SetNamedSecurityInfoA(&name[0], SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | extra, nullptr,
                              nullptr, newDacl, nullptr);
  }
  if (newDacl) LocalFree(newDacl);
  if (descriptor) LocalFree(descriptor);
  return r;
}

// Replaces a key's list by Windows' protection of Enum: SYSTEM full control,
// Administrators read, nothing inherited from above.
DWORD ProtectLikeEnum(const std::string& keyPath) {
  std::string name = MachineName(keyPath);
  EXPLICIT_ACCESS_A entries[2];
  ZeroMemory(entries, sizeof entries);
  char system[] = "SYSTEM";
  char admins[] = "Administrators";
  BuildExplicitAccessWithNameA(&entries[0], system, KEY_ALL_ACCESS, SET_ACCESS,
                               SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  BuildExplicitAccessWithNameA(&entries[1], admins, KEY_READ, SET_ACCESS,
                               SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  PACL dacl = nullptr;
  DWORD r = SetEntriesInAclA(2, entries, nullptr, &dacl);
  if (r != ERROR_SUCCESS) return r;
  r = SetNamedSecurityInfoA(&name[0], SE_REGISTRY_KEY,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, dacl, nullptr);
  LocalFree(dacl);
  return r;
}

// Windows passes a new inheritable list on to existing subkeys and checks the parent's
// list when a subkey is created. Wine does neither: it keeps a list only on the key it
// was set on, so what depends on inheritance is allowed there.
LONG InheritedRefusal() { return IsWine() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED; }

LONG OpenFull(const std::string& keyPath) {
  HKEY key = nullptr;
  const LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (key) RegCloseKey(key);
  return r;
}

class KeySecurity : public ConformanceTest {
 protected:
  void TearDown() override {
    // Give the scratch tree back to its owner so it can be removed.
    Grant(scratchKey, "CURRENT_USER", GENERIC_ALL, GRANT_ACCESS,
          SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    ConformanceTest::TearDown();
  }
  void MakeTree(const std::string& relative) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, (scratchKey + "\\" + relative).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
  }
};

TEST_F(KeySecurity, ReadingAKeysListGivesTheListAndItsDescriptor) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            GetNamedSecurityInfoA(MachineName(scratchKey).c_str(), SE_REGISTRY_KEY,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                  &descriptor));
  EXPECT_NE(nullptr, dacl);
  ASSERT_NE(nullptr, descriptor);
  EXPECT_EQ(nullptr, LocalFree(descriptor));
}

TEST_F(KeySecurity, ReadingTheListOfAMissingKeyReportsFileNotFound) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
            GetNamedSecurityInfoA(MachineName(scratchKey + "\\absent").c_str(), SE_REGISTRY_KEY,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                  &descriptor));
  EXPECT_EQ(nullptr, descriptor);
}

TEST_F(KeySecurity, AGrantToTheCurrentUserIsMergedAndWritten) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            Grant(scratchKey, "CURRENT_USER", GENERIC_ALL, GRANT_ACCESS,
                  SUB_CONTAINERS_AND_OBJECTS_INHERIT));
}

TEST_F(KeySecurity, AnUnknownAccountIsNotMapped) {
  // Windows cannot map the name; Wine reports the trustee as an invalid parameter.
  const DWORD expected = IsWine() ? ERROR_INVALID_PARAMETER : ERROR_NONE_MAPPED;
  EXPECT_EQ(expected,
            Grant(scratchKey, "NoSuchAccount4711", GENERIC_ALL, GRANT_ACCESS, NO_INHERITANCE));
}

TEST_F(KeySecurity, AKeyProtectedLikeEnumRefusesAnAdministratorFullAccess) {
  MakeTree("protected");
  const std::string key = scratchKey + "\\protected";
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectLikeEnum(key));
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenFull(key));
  HKEY readable = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &readable));
  if (readable) RegCloseKey(readable);
}

TEST_F(KeySecurity, SubkeysOfAProtectedKeyInheritItsProtection) {
  MakeTree("protected\\child\\grandchild");
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectLikeEnum(scratchKey + "\\protected"));
  EXPECT_EQ(InheritedRefusal(), OpenFull(scratchKey + "\\protected\\child\\grandchild"));
}

TEST_F(KeySecurity, NoSubkeyCanBeCreatedBelowAKeyTheUserMayOnlyRead) {
  MakeTree("protected");
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectLikeEnum(scratchKey + "\\protected"));
  HKEY key = nullptr;
  EXPECT_EQ(InheritedRefusal(),
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, (scratchKey + "\\protected\\new").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  if (key) RegCloseKey(key);
}

TEST_F(KeySecurity, AnInheritableGrantReachesExistingSubkeys) {
  MakeTree("protected\\child\\grandchild");
  const std::string top = scratchKey + "\\protected";
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectLikeEnum(top));
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Grant(top, "CURRENT_USER", GENERIC_ALL, GRANT_ACCESS,
                                                     SUB_CONTAINERS_AND_OBJECTS_INHERIT));
  EXPECT_EQ(ERROR_SUCCESS, OpenFull(top));
  EXPECT_EQ(ERROR_SUCCESS, OpenFull(top + "\\child\\grandchild"));
  EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, top));
}

TEST_F(KeySecurity, AGrantWithoutInheritanceReachesOnlyItsKey) {
  MakeTree("protected\\child");
  const std::string top = scratchKey + "\\protected";
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectLikeEnum(top));
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            Grant(top, "CURRENT_USER", GENERIC_ALL, GRANT_ACCESS, NO_INHERITANCE));
  EXPECT_EQ(ERROR_SUCCESS, OpenFull(top));
  EXPECT_EQ(InheritedRefusal(), OpenFull(top + "\\child"));
}

TEST_F(KeySecurity, ASubkeyProtectedOnItsOwnStaysClosedAfterAGrantAbove) {
  MakeTree("top\\sealed");
  const std::string top = scratchKey + "\\top";
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectLikeEnum(top));
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectLikeEnum(top + "\\sealed"));
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Grant(top, "CURRENT_USER", GENERIC_ALL, GRANT_ACCESS,
                                                     SUB_CONTAINERS_AND_OBJECTS_INHERIT));
  EXPECT_EQ(ERROR_SUCCESS, OpenFull(top));
  EXPECT_EQ(ERROR_ACCESS_DENIED, OpenFull(top + "\\sealed"));
  // Deleting the tree stops at the sealed key on Windows.
  EXPECT_EQ(ERROR_ACCESS_DENIED, DeleteKeyTree(HKEY_LOCAL_MACHINE, top));
  Grant(top + "\\sealed", "CURRENT_USER", GENERIC_ALL, GRANT_ACCESS,
        SUB_CONTAINERS_AND_OBJECTS_INHERIT);
}

TEST_F(KeySecurity, RepeatingAGrantLeavesAnEquivalentList) {
  MakeTree("protected");
  const std::string key = scratchKey + "\\protected";
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectLikeEnum(key));
  auto aceCount = [&] {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    WORD count = 0xFFFF;
    if (GetNamedSecurityInfoA(MachineName(key).c_str(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS &&
        dacl) {
      count = dacl->AceCount;
    }
    if (descriptor) LocalFree(descriptor);
    return count;
  };
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Grant(key, "CURRENT_USER", GENERIC_ALL, GRANT_ACCESS,
                                                     SUB_CONTAINERS_AND_OBJECTS_INHERIT));
  const WORD once = aceCount();
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Grant(key, "CURRENT_USER", GENERIC_ALL, GRANT_ACCESS,
                                                     SUB_CONTAINERS_AND_OBJECTS_INHERIT));
  EXPECT_NE(0xFFFF, once);
  // Windows merges a grant into the trustee's entry; Wine appends a second, equal one.
  EXPECT_EQ(IsWine() ? once + 1 : once, aceCount());
  EXPECT_EQ(ERROR_SUCCESS, OpenFull(key));
}

// ---- Token privileges -------------------------------------------------------------

class ScopedHandle {
 public:
  ~ScopedHandle() {
    if (handle) CloseHandle(handle);
  }
  HANDLE handle = nullptr;
};

TEST(Privileges, AnAdministratorCanEnableTheShutdownPrivilege) {
  ScopedHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token.handle));
  TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  SetLastError(0xDEAD);
  EXPECT_TRUE(AdjustTokenPrivileges(token.handle, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  // Disabled again: no later case may restart the machine by mistake.
  privileges.Privileges[0].Attributes = 0;
  EXPECT_TRUE(AdjustTokenPrivileges(token.handle, FALSE, &privileges, 0, nullptr, nullptr));
}

TEST(Privileges, AnUnknownPrivilegeNameIsNotFound) {
  LUID luid;
  EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE), GetLastError());
}

TEST(Privileges, AdjustingNeedsATokenOpenedForAdjustment) {
  ScopedHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.handle));
  TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  EXPECT_FALSE(AdjustTokenPrivileges(token.handle, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

}  // namespace
}  // namespace conformance
