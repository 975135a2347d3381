#include "installer/win32_helpers.h"

namespace {

// Reads a folder name through a 260-character buffer. The calls answer the length
// without the terminator, or the size needed when it does not fit, or 0 on failure.
template <typename Call>
bool ReadFolder(Call call, std::string* folder) {
  char buffer[MAX_PATH] = {};
  const DWORD length = static_cast<DWORD>(call(buffer, MAX_PATH));
  if (length == 0 || length >= MAX_PATH) return false;
  folder->assign(buffer, length);
  return true;
}

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE, PBOOL);
typedef BOOL(WINAPI* DisableRedirectionFunction)(PVOID*);

// KERNEL32 of Windows 2000 and of early XP lacks the WOW64 functions; they are found
// by name so that the program still starts there.
HMODULE Kernel32() { return GetModuleHandleA("kernel32"); }

}  // namespace

bool CurrentFolder(std::string* folder) {
  return ReadFolder([](char* b, DWORD n) { return GetCurrentDirectoryA(n, b); }, folder);
}

bool WindowsFolder(std::string* folder) {
  return ReadFolder([](char* b, DWORD n) { return GetWindowsDirectoryA(b, n); }, folder);
}

bool SystemFolder(std::string* folder) {
  return ReadFolder([](char* b, DWORD n) { return GetSystemDirectoryA(b, n); }, folder);
}

bool ProgramPath(std::string* path) {
  // One more character than is asked for: Windows XP fills a short buffer without a
  // terminator and reports success.
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  path->assign(buffer, length);
  return true;
}

bool RunsUnderWow64() {
  const auto isWow64Process = FindFunction<IsWow64ProcessFunction>(Kernel32(), "IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

NativeSystemFolderScope::NativeSystemFolderScope() {
  if (!RunsUnderWow64()) return;
  const HMODULE kernel32 = Kernel32();
  const auto disable =
      FindFunction<DisableRedirectionFunction>(kernel32, "Wow64DisableWow64FsRedirection");
  revert_ = FindFunction<RevertFunction>(kernel32, "Wow64RevertWow64FsRedirection");
  active_ = disable && revert_ && disable(&oldValue_);
}

NativeSystemFolderScope::~NativeSystemFolderScope() {
  if (active_) revert_(oldValue_);
}
