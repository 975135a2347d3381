// The registry passes on machines with many device and driver keys: each size on the
// command line is a number of keys, two sevenths of them device keys under Enum\PCI
// and the rest driver keys under the class keys (default: 1,750, 3,500 and 7,000 keys;
// `uninstall_engine_bench 125000 250000 500000 1000000` runs up to a million). Prints
// for each size the time of the passes, their Win32 calls per key and the time per
// n log2 n, and for the largest size the time to save that machine as a machine folder
// and to load it again (the folder code `winsim` uses, in a scratch folder removed
// afterwards). Times are processor time of the thread, so that other work on the
// machine does not count against them, with the wall-clock time beside (a save waits
// for the disk). Fails only when the number of Win32 calls per key grows with the
// size, which is what would make the time grow faster than n log n (each call costs at
// most log n), when a pass leaves a card key behind, or when the loaded machine
// differs from the saved one. The last line reads (on one line)
//   engine-passes <N> keys <S> s, <T> ns per n log2 n (<G> of the smallest size's),
//   folder save <W> s, load <L> s
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

const char kHklm[] = "HKEY_LOCAL_MACHINE\\";
const char kCcs[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\";
const char kPortsClass[] = "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\";
const char kMfClass[] = "Control\\Class\\{4d36e971-e325-11ce-bfc1-08002be10318}\\";

std::string Number(const char* format, int n) {
  char text[64];
  std::snprintf(text, sizeof(text), format, n);
  return text;
}

// One card key in ten; the card's devices carry COM numbers that cycle through 3..256.
std::unique_ptr<sim::Machine> Build(int devices, int drivers) {
  std::string error;
  auto machine = sim::MachineFromEdition("xp-x64", &error);
  if (!machine) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return nullptr;
  }
  sim::Registry& r = machine->registry;
  auto sz = [&](const std::string& path, const char* name, const std::string& text) {
    r.SetValue(path, name, REG_SZ, sim::Registry::StringData(text));
  };
  for (int i = 0; i < devices; ++i) {
    const bool card = i % 10 == 0;
    const std::string device =
        std::string(kCcs) + "Enum\\PCI\\" +
        (card ? Number("VEN_6A3C&DEV_5E17&SUBSYS_%05d", i) : Number("VEN_1000&DEV_%05d", i));
    const std::string instance = device + "\\4&1&0&00";
    if (card && i % 20 == 0) {
      sz(instance, "Class", "Ports");
      sz(instance, "Service", "Orrick");
      sz(instance + "\\Device Parameters", "PortName", Number("COM%d", 3 + i % 254));
    } else if (card) {
      sz(instance, "Class", "MultiFunction");
      r.SetValue(instance + "\\Device Parameters\\Child0000", "HardwareID", REG_MULTI_SZ,
                 std::string("ZELVORAHW\\PCIEX_COM") + std::string(2, '\0'));
    } else {
      sz(instance, "Class", "System");
      sz(instance, "Service", "pci");
    }
    if (i % 10 == 1) {  // as many multifunction children, one in ten of the card
      const std::string child = std::string(kCcs) + "Enum\\MF\\" +
                                (i % 100 == 1 ? Number("PCI#VEN_6A3C&DEV_5E17#CHILD%05d", i)
                                              : Number("PCI#VEN_1000&DEV_%05d#CHILD0000", i)) +
                                "\\4&1&0&00";
      r.SetValue(child, "HardwareID", REG_MULTI_SZ,
                 std::string(i % 100 == 1 ? "ZELVORAHW\\PCIEX_COM" : "OTHER\\PORT") +
                     std::string(2, '\0'));
      sz(child, "Driver", Number("{4D36E978-E325-11CE-BFC1-08002BE10318}\\%05d", i));
      sz(child + "\\Device Parameters", "PortName", Number("COM%d", 3 + i % 254));
    }
  }
  for (int i = 0; i < drivers; ++i) {
    const std::string key =
        std::string(kCcs) + (i % 2 ? kMfClass : kPortsClass) + Number("%05d", i + 10);
    sz(key, "MatchingDeviceId",
       i % 10 == 0 ? Number("pci\\ven_6a3c&dev_5e17&subsys_%05d", i)
                   : Number("pci\\ven_1000&dev_%05d", i));
  }
  for (int n = 1; n <= 256; ++n) {
    sz(std::string(kHklm) + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
       Number("COM%d:", n).c_str(), "9600,n,8,1");
  }
  return machine;
}

// Processor time of this thread and wall-clock time since a start.
class Stopwatch {
 public:
  Stopwatch() : thread_(ThreadSeconds()), wall_(std::chrono::steady_clock::now()) {}
  double Seconds() const { return ThreadSeconds() - thread_; }
  double WallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
  }

 private:
  static double ThreadSeconds() {
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
  }
  double thread_;
  std::chrono::steady_clock::time_point wall_;
};

struct Result {
  int keys = 0;
  double seconds = 0, wallSeconds = 0;
  int calls = 0;
  double PerNLogN() const { return seconds * 1e9 / (keys * std::log2(static_cast<double>(keys))); }
};

// Runs the passes on a machine of `keys` keys; the machine afterwards, or null when
// a pass left a card key behind.
std::unique_ptr<sim::Machine> Measure(int keys, Result* result) {
  const int devices = keys * 2 / 7;
  auto machine = Build(devices, keys - devices);
  if (!machine) return nullptr;
  const int callsBefore = machine->faults.TotalCalls();
  const Stopwatch stopwatch;
  {
    sim::ProcessScope scope(*machine);
    UninstallContext c;
    c.isNt5x = TRUE;
    c.customerName = "KORVANE";
    const VidPidList ids = {"VEN_6A3C&DEV_5E17"};
    c.RemoveProductKeys();
    c.GrantSerialCommAccess();
    c.RemovePortsClassKeys(ids);
    c.RemoveMultifunctionClassKeys(ids);
    c.RemoveMultifunctionDevices(ids);
    c.RemovePciPortDevices(ids);
    c.RemovePciChildDevices(ids);
    c.RemovePciDeviceKeys(ids);
    c.DeletePortsEntries();
    c.ReleaseComDbPorts();
    c.RemoveUninstallEntries();
  }
  result->seconds = stopwatch.Seconds();
  result->wallSeconds = stopwatch.WallSeconds();
  result->calls = machine->faults.TotalCalls() - callsBefore;
  result->keys = keys;
  // The run must have done its work: no card key is left under Enum\PCI.
  auto pci = machine->registry.FindFull(std::string(kCcs) + "Enum\\PCI");
  bool cardLeft = false;
  pci->subkeys.ForEach([&](const std::string& name, const std::shared_ptr<sim::RegKey>&) {
    if (name.rfind("VEN_6A3C&DEV_5E17", 0) == 0) cardLeft = true;
  });
  if (cardLeft) {
    std::fprintf(stderr, "card keys left at %d keys\n", result->keys);
    return nullptr;
  }
  return machine;
}

struct FolderTimes {
  double save = 0, saveWall = 0, load = 0, loadWall = 0;
};

// Saves the machine as a machine folder in a scratch folder and loads it again; false
// when either fails or the loaded registry differs.
bool SaveAndLoad(const sim::Machine& machine, FolderTimes* times) {
  char scratch[] = "/tmp/engine_bench_XXXXXX";
  if (!mkdtemp(scratch)) {
    std::perror("mkdtemp");
    return false;
  }
  const std::string folder = std::string(scratch) + "/machine";
  std::string error;
  const Stopwatch saving;
  bool ok = sim::SaveMachine(machine, folder, &error);
  times->save = saving.Seconds();
  times->saveWall = saving.WallSeconds();
  std::unique_ptr<sim::Machine> loaded;
  if (ok) {
    const Stopwatch loading;
    loaded = sim::LoadMachine(folder, &error);
    times->load = loading.Seconds();
    times->loadWall = loading.WallSeconds();
    ok = loaded != nullptr;
  }
  if (!ok) std::fprintf(stderr, "machine folder: %s\n", error.c_str());
  if (ok && !loaded->registry.SameAs(machine.registry, &error)) {
    std::fprintf(stderr, "the loaded machine differs: %s\n", error.c_str());
    ok = false;
  }
  std::error_code removing;
  std::filesystem::remove_all(scratch, removing);
  if (removing) std::fprintf(stderr, "cannot remove %s: %s\n", scratch, removing.message().c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    const long keys = std::strtol(argv[i], &end, 10);
    if (*end != '\0' || keys < 70 || keys > 50000000) {
      std::fprintf(stderr, "usage: %s [KEYS...]  (each from 70 to 50000000)\n", argv[0]);
      return 2;
    }
    sizes.push_back(static_cast<int>(keys));
  }
  if (sizes.empty()) sizes = {1750, 3500, 7000};

  std::printf("%8s %10s %10s %10s %14s %16s\n", "keys", "seconds", "wall", "calls", "calls per key",
              "ns per n log2 n");
  std::vector<Result> results(sizes.size());
  std::unique_ptr<sim::Machine> last;
  for (size_t i = 0; i < sizes.size(); ++i) {
    last.reset();  // one machine at a time
    last = Measure(sizes[i], &results[i]);
    if (!last) return 1;
    const Result& r = results[i];
    std::printf("%8d %10.3f %10.3f %10d %14.2f %16.1f\n", r.keys, r.seconds, r.wallSeconds, r.calls,
                static_cast<double>(r.calls) / r.keys, r.PerNLogN());
    std::fflush(stdout);
  }
  FolderTimes folder;
  if (!SaveAndLoad(*last, &folder)) return 1;
  std::printf("machine folder of %d keys: save %.2f s (%.2f s wall), load %.2f s (%.2f s wall)\n",
              results.back().keys, folder.save, folder.saveWall, folder.load, folder.loadWall);

  // Calls per key may not grow with the size (the fixed keys of the edition weigh a
  // little more at the smallest size, so only growth beyond 5% counts).
  const Result& smallest = results.front();
  const Result& largest = results.back();
  const double fewest = static_cast<double>(smallest.calls) / smallest.keys;
  const double most = static_cast<double>(largest.calls) / largest.keys;
  if (most > fewest * 1.05) {
    std::fprintf(stderr, "calls per key grow: %.2f at %d keys, %.2f at %d keys\n", fewest,
                 smallest.keys, most, largest.keys);
    return 1;
  }
  std::printf(
      "engine-passes %d keys %.2f s, %.1f ns per n log2 n (%.2f of the smallest size's), "
      "folder save %.2f s, load %.2f s\n",
      largest.keys, largest.seconds, largest.PerNLogN(), largest.PerNLogN() / smallest.PerNLogN(),
      folder.save, folder.load);
  return 0;
}
