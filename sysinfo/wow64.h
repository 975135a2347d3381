// WOW64, the layer that runs a 32-bit program on a 64-bit Windows: whether it is in
// force, and switching its file-system redirection off for a scope.
#pragma once

#include "platform/win32.h"

// A 32-bit program on a 64-bit Windows.
bool RunsUnderWow64();

// Under WOW64, for the scope's lifetime the calling thread reaches the real System32
// instead of SysWOW64. active() is false elsewhere, and when the switch could not be
// turned.
class NativeSystemFolderScope {
 public:
  NativeSystemFolderScope();
  ~NativeSystemFolderScope();
  NativeSystemFolderScope(const NativeSystemFolderScope&) = delete;
  NativeSystemFolderScope& operator=(const NativeSystemFolderScope&) = delete;
  bool active() const { return active_; }

 private:
  typedef BOOL(WINAPI* RevertFunction)(PVOID);
  // Found before redirection is turned off, so that turning it back on cannot fail for
  // want of the function.
  RevertFunction revert_ = nullptr;
  bool active_ = false;
  PVOID oldValue_ = nullptr;
};
