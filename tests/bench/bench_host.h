// What the INF search benchmark needs from the Windows it runs on: natively the
// simulated one (bench_host_sim.cpp), in the Windows trees the real one, under Wine
// or Windows (bench_host_windows.cpp). The benchmark itself makes only Win32 calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// Makes the Win32 calls of this process work (natively: on a simulated XP machine) and
// sets `*folder` to an existing folder of the benchmark's own (in the temporary
// folder), under which it writes its files; false with `*error` set when it cannot.
bool StartHost(std::string* folder, std::string* error);

// What the host measures time by, for the report, and the time so far in seconds:
// the processor time of this thread where the host counts it finely, else a clock.
const char* ClockName();
double Seconds();

// ReadFile calls this process made so far, or -1 where the host does not count them.
int64_t ReadFileCalls();

// The bytes the allocator handed out for a block that malloc returned.
size_t BlockSize(void* block);

// The process's peak memory so far, in MiB, and what that figure is.
double PeakMiB();
const char* PeakName();

}  // namespace bench
