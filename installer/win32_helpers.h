// Small helpers of the installer's steps over Win32: handles closed on every path,
// folder names read through the calls' 260-character buffers, and the paths built
// from them, which must fit those buffers whole.
#pragma once

#include <string>

#include "platform/win32.h"

// A registry key closed when it goes out of scope.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (key_) RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  HKEY get() const { return key_; }
  PHKEY out() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

// A file handle from CreateFileA, closed when it goes out of scope.
class ScopedFile {
 public:
  explicit ScopedFile(HANDLE h) : h_(h) {}
  ~ScopedFile() {
    if (valid()) CloseHandle(h_);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }

 private:
  HANDLE h_;
};

// A library from LoadLibraryA, released when it goes out of scope.
class ScopedLibrary {
 public:
  explicit ScopedLibrary(const char* name) : module_(LoadLibraryA(name)) {}
  ~ScopedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// A function found by name, typed as the caller declares it.
template <typename Function>
Function FindFunction(HMODULE module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// True when `path` fits a 260-character buffer with its terminator.
inline bool FitsMaxPath(const std::string& path) { return path.size() < MAX_PATH; }

// The folder names; false when the call fails or its answer does not fit.
bool CurrentFolder(std::string* folder);
bool WindowsFolder(std::string* folder);
bool SystemFolder(std::string* folder);
// The running program's full path.
bool ProgramPath(std::string* path);

// Under WOW64 (a 32-bit program on a 64-bit Windows), for the scope's lifetime the
// calling thread reaches the real System32 instead of SysWOW64. active() is false
// elsewhere, and when the switch could not be turned.
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

// A 32-bit program on a 64-bit Windows.
bool RunsUnderWow64();
