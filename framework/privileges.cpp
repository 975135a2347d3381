#include "framework/privileges.h"

#include "platform/win32.h"

int EnableProcessPrivilege(const char* name) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
    return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  BOOL adjusted = FALSE;
  if (LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) {
    adjusted = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  CloseHandle(token);
  return adjusted;
}
