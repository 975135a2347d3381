#include "sysinfo/system_folders.h"

#include "sysinfo/dynamic_function.h"

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

bool Wow64SystemFolder(std::string* folder) {
  typedef UINT(WINAPI * GetFolderFunction)(LPSTR, UINT);
  // Windows 2000 and early XP lack the call; they have no such folder either.
  const auto getFolder =
      FindFunction<GetFolderFunction>(GetModuleHandleA("kernel32"), "GetSystemWow64DirectoryA");
  return getFolder && ReadFolder([&](char* b, DWORD n) { return getFolder(b, n); }, folder);
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
