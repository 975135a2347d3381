// KERNEL32 folder names of the simulated Windows: the current directory, full path
// names, the Windows and system folders, the module's file name, and the WOW64
// file-system redirection switch.
#include <cstring>
#include <string>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

// The buffer protocol of the folder-name functions: the length without the NUL when
// the text fits, otherwise the size needed with the NUL (and the buffer untouched).
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

// The executable's module handle, as GetModuleHandleA(NULL) gives it.
constexpr uintptr_t kExeModule = 0x00400000;

}  // namespace
}  // namespace sim

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  sim::ApiCall call("GetCurrentDirectoryA");
  if (call.fault()) return sim::Fail(*call.fault()), 0;
  return sim::CopyOut(call.process().currentDirectory, lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  sim::ApiCall call("SetCurrentDirectoryA", lpPathName ? lpPathName : "");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  sim::ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolvePath(call.process(), lpPathName, &path, &error)) return sim::Fail(error), FALSE;
  if (path.wildcardInLastName) return sim::Fail(ERROR_INVALID_NAME), FALSE;
  std::string folder = path.full;
  if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  // The folder is kept with a '\' after it, within MAX_PATH with its NUL.
  if (folder.size() + 2 > MAX_PATH) return sim::Fail(ERROR_FILENAME_EXCED_RANGE), FALSE;
  const sim::PathLookup at = sim::LookUp(call.machine().files, path);
  if (!at.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (!at.node) return sim::Fail(ERROR_FILE_NOT_FOUND), FALSE;
  if (!at.node->isDirectory) return sim::Fail(ERROR_DIRECTORY), FALSE;
  // Kept as written (the names' case is the caller's), not as stored.
  call.process().currentDirectory = folder;
  return TRUE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart) {
  sim::ApiCall call("GetFullPathNameA", lpFileName ? lpFileName : "");
  if (call.fault()) return sim::Fail(*call.fault()), 0;
  if (!lpFileName) return sim::Fail(ERROR_INVALID_PARAMETER), 0;
  if (std::strlen(lpFileName) > sim::kMaxAnsiName) return sim::Fail(ERROR_FILENAME_EXCED_RANGE), 0;
  std::string full;
  if (!sim::FullPathName(lpFileName, call.process().currentDirectory, &full))
    return sim::Fail(ERROR_INVALID_NAME), 0;
  // The ANSI result comes back through a MAX_PATH buffer.
  if (full.size() >= MAX_PATH) return sim::Fail(ERROR_FILENAME_EXCED_RANGE), 0;
  const DWORD result = sim::CopyOut(full, lpBuffer, nBufferLength);
  if (lpFilePart && result == full.size()) {
    *lpFilePart = full.back() == '\\' ? nullptr : lpBuffer + full.find_last_of('\\') + 1;
  }
  return result;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  sim::ApiCall call("GetWindowsDirectoryA");
  if (call.fault()) return sim::Fail(*call.fault()), 0;
  return sim::CopyOut(call.machine().os.windowsFolder, lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  sim::ApiCall call("GetSystemDirectoryA");
  if (call.fault()) return sim::Fail(*call.fault()), 0;
  // A WOW64 process is told system32 too; redirection makes that name reach SysWOW64.
  return sim::CopyOut(call.machine().os.SystemFolder(), lpBuffer, uSize);
}

UINT WINAPI GetSystemWow64DirectoryA(LPSTR lpBuffer, UINT uSize) {
  sim::ApiCall call("GetSystemWow64DirectoryA");
  if (call.fault()) return sim::Fail(*call.fault()), 0;
  if (!call.machine().os.Is64Bit()) return sim::Fail(ERROR_CALL_NOT_IMPLEMENTED), 0;
  return sim::CopyOut(call.machine().os.windowsFolder + "\\SysWOW64", lpBuffer, uSize);
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  sim::ApiCall call("GetModuleFileNameA");
  if (call.fault()) return sim::Fail(*call.fault()), 0;
  if (hModule && reinterpret_cast<uintptr_t>(hModule) != sim::kExeModule)
    return sim::Fail(ERROR_MOD_NOT_FOUND), 0;
  const std::string& path = call.process().modulePath;
  if (!lpFilename && nSize) return sim::Fail(ERROR_INVALID_PARAMETER), 0;
  if (nSize > path.size()) {
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
  }
  // Too small. Windows XP copies nSize characters without a NUL and reports success;
  // Vista and later copy nSize - 1 characters and the NUL and report the shortage.
  if (call.machine().os.majorVersion < 6) {
    if (nSize) std::memcpy(lpFilename, path.data(), nSize);
    sim::Fail(ERROR_SUCCESS);
    return nSize;
  }
  if (nSize) {
    std::memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
  }
  sim::Fail(ERROR_INSUFFICIENT_BUFFER);
  return nSize;
}

BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID* OldValue) {
  sim::ApiCall call("Wow64DisableWow64FsRedirection");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  // Only a WOW64 process has a redirection to turn off; on a 32-bit Windows and in a
  // 64-bit process the function refuses (as measured under Wine in both).
  if (!call.process().IsWow64()) return sim::Fail(ERROR_INVALID_FUNCTION), FALSE;
  if (!OldValue) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  bool& disabled = sim::ThreadFsRedirectionDisabled();
  *OldValue = reinterpret_cast<PVOID>(static_cast<uintptr_t>(disabled ? 1 : 0));
  disabled = true;
  return TRUE;
}

BOOL WINAPI Wow64RevertWow64FsRedirection(PVOID OlValue) {
  sim::ApiCall call("Wow64RevertWow64FsRedirection");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  if (!call.process().IsWow64()) return sim::Fail(ERROR_INVALID_FUNCTION), FALSE;
  // The value Wow64DisableWow64FsRedirection handed out: the state before it.
  sim::ThreadFsRedirectionDisabled() = OlValue != nullptr;
  return TRUE;
}

BOOL WINAPI IsWow64Process(HANDLE hProcess, PBOOL Wow64Process) {
  sim::ApiCall call("IsWow64Process");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  // The current process's pseudo handle is the only process handle there is.
  if (reinterpret_cast<intptr_t>(hProcess) != -1) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  if (!Wow64Process) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  *Wow64Process = call.process().IsWow64() ? TRUE : FALSE;
  return TRUE;
}
