// The ANSI code page the name rules read names in, the local time the file finder's date
// filters compare, and the restart request the uninstaller makes.
#include <cstring>
#include <string>
#include <vector>

#include "env/environment.h"

namespace conformance {
namespace {

std::vector<WCHAR> Widen(const std::string& bytes, int length) {
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::vector<WCHAR> wide(n > 0 ? n : 0);
  if (n > 0) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, wide.data(), n), n);
  }
  return wide;
}

// Code page 1252 (the ANSI code page of the machines here): each byte is one character,
// the bytes 0x80 to 0x9F included; the five it leaves undefined come through as the
// control characters of the same number. A length of -1 counts the terminating NUL.
TEST(AnsiCodePage, EveryByteIsOneCharacter) {
  const std::string bytes("A\x80\x81\x8A\x9F\xE9", 6);
  const std::vector<WCHAR> expected = {0x0041, 0x20AC, 0x0081, 0x0160, 0x0178, 0x00E9};
  EXPECT_EQ(Widen(bytes, 6), expected);
  std::vector<WCHAR> withNul = expected;
  withNul.push_back(0);
  EXPECT_EQ(Widen(bytes, -1), withNul);
  // A buffer too small takes nothing and says so.
  WCHAR small[2] = {0x7777, 0x7777};
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes.data(), 6, small, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // No byte of this code page is an invalid sequence.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\x8D\x90", 2, nullptr, 0), 2);
}

// Local time is UTC shifted by the zone's bias, whole quarter hours at most 14 hours off.
// The simulated machines keep UTC; a Wine prefix takes the host's zone (UTC where the
// tests run, which the case does not assume).
TEST(LocalTime, FileTimesShiftByTheZonesBias) {
  const ULONGLONG kHour = 36000000000ULL;  // 100-ns ticks
  const ULONGLONG utcTicks = 130000000000000000ULL;
  FILETIME utc = {static_cast<DWORD>(utcTicks), static_cast<DWORD>(utcTicks >> 32)};
  FILETIME local;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  const long long localTicks = static_cast<long long>(
      (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime);
  const long long shift = localTicks - static_cast<long long>(utcTicks);
  EXPECT_EQ(shift % static_cast<long long>(kHour / 4), 0);
  EXPECT_LE(shift < 0 ? -shift : shift, static_cast<long long>(14 * kHour));
  if (IsSimulator()) {
    EXPECT_EQ(shift, 0);
  }
}

// Restarting needs the shutdown privilege enabled in the token, which an administrator
// holds but which starts disabled: without it the request fails and nothing happens.
// Wine's ExitWindowsEx checks no privilege and ends the prefix's session at once, so it is
// not called under Wine.
bool SetShutdownPrivilege(DWORD attributes) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
  TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = attributes;
  const bool set =
      LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
      GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  return set;
}

TEST(Restart, WithoutTheShutdownPrivilegeARestartIsRefused) {
  if (IsWine()) return;
  // Never asked with the privilege enabled: that would restart the machine.
  ASSERT_TRUE(SetShutdownPrivilege(0));
  SetLastError(0);
  EXPECT_FALSE(ExitWindowsEx(EWX_SHUTDOWN | EWX_REBOOT, 0xFFFFFFFF));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
}

}  // namespace
}  // namespace conformance
