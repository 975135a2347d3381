// Which Windows runs the program: family flags, the processor architecture code
// that picks the package's platform folder, and a one-line description.
#pragma once

#include <cstdio>

// The owner's fields and operations. The installer's context and the uninstaller's
// dialog each hold these results as their own fields.
class WindowsVersion {
 public:
  virtual ~WindowsVersion() = default;

  int isNt5x = 0;        // NT 5.x: 2000, XP, Server 2003
  int isNt60 = 0;        // NT 6.0: Vista and its server edition
  int isWin98OrMe = 0;   // 9x family, 4.x with x > 0
  int architecture = 1;  // 1 x86, 2 x64, 3 Itanium

  // 1 when a version record was read, 0 when none could be.
  int DetectWindowsVersion();
  // Writes the description line; 1 when completed, 0 when a record could not be read.
  int DescribeWindowsVersion();

  // Where the description goes: standard output unless a caller redirects it.
  std::FILE* descriptionOutput = stdout;
};

// 1 when the native processor architecture is AMD64 or Itanium.
int IsNative64BitWindows();
