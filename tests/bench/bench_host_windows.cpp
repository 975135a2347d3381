// The benchmark's host in the Windows trees: the real Win32 calls, under Wine or
// Windows, on a folder in the temporary folder (on the host's disk under Wine). Time
// is the performance counter's clock, the best of several rounds standing for the
// time undisturbed: Windows counts a thread's processor time in clock ticks (10 to
// 16 ms, as Wine does), and under Wine part of each file call's work is done by the
// wineserver, outside the thread.
#include <malloc.h>

#include "bench_host.h"
#include "platform/win32.h"
// After windows.h, which it needs.
#include <psapi.h>

namespace bench {
namespace {

double ClockSeconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

bool StartHost(std::string* folder, std::string* error) {
  char temp[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) {
    *error = "no temporary folder (GetTempPathA failed)";
    return false;
  }
  *folder = std::string(temp, length) + "kestrolin-inf-bench";
  if (!CreateDirectoryA(folder->c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    *error = "cannot make " + *folder + ": error " + std::to_string(GetLastError());
    return false;
  }
  return true;
}

const char* ClockName() { return "wall clock"; }

double Seconds() { return ClockSeconds(); }

int64_t ReadFileCalls() { return -1; }

size_t BlockSize(void* block) { return _msize(block); }

double PeakMiB() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

const char* PeakName() { return "peak working set"; }

}  // namespace bench
