// The registry passes on machines with many device and driver keys: 2,000 device keys
// under Enum\PCI and 5,000 driver keys under the class keys at full size, and a quarter
// and a half of that. Prints the time of each size and its time per n log n; fails only
// when the number of Win32 calls per key grows with the size, which is what would make
// the time grow faster than n log n (each call costs at most log n).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/sim/machine.h"
#include "platform/sim/process.h"
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

struct Result {
  int keys = 0;
  double seconds = 0;
  int calls = 0;
};

bool Measure(int devices, int drivers, Result* result) {
  auto machine = Build(devices, drivers);
  if (!machine) return false;
  const int callsBefore = machine->faults.TotalCalls();
  const auto start = std::chrono::steady_clock::now();
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
  result->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result->calls = machine->faults.TotalCalls() - callsBefore;
  result->keys = devices + drivers;
  // The run must have done its work: no card key is left under Enum\PCI.
  auto pci = machine->registry.FindFull(std::string(kCcs) + "Enum\\PCI");
  bool cardLeft = false;
  pci->subkeys.ForEach([&](const std::string& name, const std::shared_ptr<sim::RegKey>&) {
    if (name.rfind("VEN_6A3C&DEV_5E17", 0) == 0) cardLeft = true;
  });
  if (cardLeft) std::fprintf(stderr, "card keys left at %d keys\n", result->keys);
  return !cardLeft;
}

}  // namespace

int main() {
  const int fullDevices = 2000, fullDrivers = 5000;
  Result results[3];
  const int divisors[3] = {4, 2, 1};
  std::printf("%8s %10s %10s %14s %16s\n", "keys", "seconds", "calls", "calls per key",
              "ns per n log2 n");
  for (int i = 0; i < 3; ++i) {
    if (!Measure(fullDevices / divisors[i], fullDrivers / divisors[i], &results[i])) return 1;
    const Result& r = results[i];
    std::printf("%8d %10.3f %10d %14.2f %16.1f\n", r.keys, r.seconds, r.calls,
                static_cast<double>(r.calls) / r.keys,
                r.seconds * 1e9 / (r.keys * std::log2(static_cast<double>(r.keys))));
  }
  // Calls per key may not grow with the size (the fixed keys of the edition weigh a
  // little more at the smallest size, so only growth beyond 5% counts).
  const double smallest = static_cast<double>(results[0].calls) / results[0].keys;
  const double largest = static_cast<double>(results[2].calls) / results[2].keys;
  if (largest > smallest * 1.05) {
    std::fprintf(stderr, "calls per key grow: %.2f at %d keys, %.2f at %d keys\n", smallest,
                 results[0].keys, largest, results[2].keys);
    return 1;
  }
  return 0;
}
