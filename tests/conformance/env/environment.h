// What a conformance case needs to know about the Win32 it runs against, and the
// scratch places each case works in. Everything here is plain Win32, so a case
// compiles and runs the same against the simulator and against Wine or Windows.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace conformance {

// Prepares the platform before the cases run (the simulator starts its machine here).
// Returns false with a message on stderr when the arguments are wrong.
bool SetUpPlatform(int* argc, char** argv);
void TearDownPlatform();

bool IsSimulator();
bool IsWine();
bool IsWindows64();  // the native processor architecture is 64-bit
bool IsWow64();      // this 32-bit process runs on a 64-bit Windows
bool Is64BitProcess();
std::string PlatformName();

// Each case gets an empty key below HKEY_LOCAL_MACHINE and an empty folder on C:,
// named after the case and removed again afterwards.
class ConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string scratchKey;     // e.g. SOFTWARE\KestrolinConformance\Registry.Name
  std::string scratchFolder;  // e.g. C:\KestrolinConformance\Registry.Name
};

// Win32-only helpers for the cases.
LONG DeleteKeyTree(HKEY parent, const std::string& path, REGSAM view = 0);
bool RemoveFolderTree(const std::string& path);
bool WriteTextFile(const std::string& path, const std::string& text);
bool ReadTextFile(const std::string& path, std::string* text);
bool KeyExists(HKEY parent, const std::string& path, REGSAM view = 0);

// A key handle closed on every path.
class ScopedKey {
 public:
  ScopedKey() = default;
  explicit ScopedKey(HKEY key) : key_(key) {}
  ~ScopedKey() { Reset(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  HKEY get() const { return key_; }
  HKEY* receive() {
    Reset();
    return &key_;
  }
  void Reset() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace conformance
