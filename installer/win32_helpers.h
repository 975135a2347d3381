// Small helpers of the installer's steps over Win32: handles closed on every path, and
// the shared folder and WOW64 helpers they are used with.
#pragma once

#include <string>

#include "platform/win32.h"
#include "sysinfo/dynamic_function.h"
#include "sysinfo/system_folders.h"
#include "sysinfo/wow64.h"
#include "uninstall_engine/registry_ops.h"

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
