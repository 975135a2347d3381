#include "sysinfo/wow64.h"

#include "sysinfo/dynamic_function.h"

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE, PBOOL);
typedef BOOL(WINAPI* DisableRedirectionFunction)(PVOID*);

// KERNEL32 of Windows 2000 and of early XP lacks the WOW64 functions; they are found
// by name so that the program still starts there.
HMODULE Kernel32() { return GetModuleHandleA("kernel32"); }

}  // namespace

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
