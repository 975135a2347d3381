// The benchmark's host in the Windows trees: the real Win32 calls, under Wine or
// Windows, on a folder in the temporary folder (on the host's disk under Wine). Time
// is the processor time of the thread where the system counts it finely (Windows
// counts in clock ticks of 10 to 16 ms, so does Wine on some systems), else the
// performance counter's clock, whose best of several rounds stands for the time
// undisturbed.
#include <malloc.h>

#include "bench_host.h"
#include "platform/win32.h"
// After windows.h, which it needs.
#include <psapi.h>

namespace bench {
namespace {

double ThreadSeconds() {
  FILETIME created, ended, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) / 1e7;
}

double ClockSeconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Whether the thread's processor time moves in steps of a millisecond or less: the
// smallest step seen in a few steps, each waited for while spinning.
bool ThreadTimeIsFine() {
  double smallest = 1;
  double last = ThreadSeconds();
  const double until = ClockSeconds() + 0.2;
  for (int steps = 0; steps < 5 && ClockSeconds() < until;) {
    const double now = ThreadSeconds();
    if (now == last) continue;
    if (now - last < smallest) smallest = now - last;
    last = now;
    ++steps;
  }
  return smallest <= 0.001;
}

bool g_threadTime = false;

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
  g_threadTime = ThreadTimeIsFine();
  return true;
}

const char* ClockName() {
  return g_threadTime ? "processor time of the thread" : "performance counter (wall clock)";
}

double Seconds() { return g_threadTime ? ThreadSeconds() : ClockSeconds(); }

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
