// The benchmark's host natively: a simulated XP machine held in memory, whose files
// are the simulator's; the processor time of the thread, which the machine's other
// work (CI runs two jobs on two cores) does not count against the rates.
#include <sys/resource.h>
#include <time.h>

#include <malloc.h>

#include <memory>

#include "bench_host.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"

namespace bench {
namespace {

std::unique_ptr<sim::Machine> g_machine;
std::unique_ptr<sim::ProcessScope> g_process;

}  // namespace

bool StartHost(std::string* folder, std::string* error) {
  g_machine = sim::MachineFromEdition("xp", error);
  if (!g_machine) return false;
  g_process.reset(new sim::ProcessScope(*g_machine));
  *folder = g_machine->os.windowsFolder + "\\Temp\\kestrolin-inf-bench";
  g_machine->files.MakeDirectories(*folder);
  return true;
}

const char* ClockName() { return "processor time of the thread"; }

double Seconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int64_t ReadFileCalls() { return g_machine->faults.CallCounts()["ReadFile"]; }

size_t BlockSize(void* block) { return malloc_usable_size(block); }

double PeakMiB() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

const char* PeakName() { return "peak resident size"; }

}  // namespace bench
