// Prints what the system-information library reports on the Windows it runs on: the
// description line, then the family flags, the architecture code and whether the
// processor is 64-bit. Run in Wine prefixes of several Windows versions.
#include <cstdio>

#include "platform/win32.h"
#include "sysinfo/windows_version.h"

int main() {
  WindowsVersion described;
  const int describedOk = described.DescribeWindowsVersion();
  std::fflush(described.descriptionOutput);

  WindowsVersion detected;
  const int detectedOk = detected.DetectWindowsVersion();

  std::printf("isNt5x=%d isNt60=%d isWin98OrMe=%d architecture=%d native64=%d\n", detected.isNt5x,
              detected.isNt60, detected.isWin98OrMe, described.architecture,
              IsNative64BitWindows());
  return describedOk && detectedOk ? 0 : 1;
}
