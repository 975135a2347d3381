// The uninstall sequence's branch table: which Windows gets which passes, the progress
// positions the uninstaller's dialog sees, and the one message of the sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sysinfo/windows_version.h"
#include "tests/unit/support/machine_snapshot.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::HandleCheck;
using engine_test::ProgressRecorder;
using Events = std::vector<std::string>;

const char kUnknownWindows[] = "Error Detecting Operating System Version";
const char kUnsupported64Bit[] =
    "The Multi-IO drivers cannot be uninstalled on this version of Windows. Nothing was changed.";

const Events kThroughDeviceInstaller = {"running", "10", "20", "30",  "40",         "busy",   "50",
                                        "60",      "70", "90", "100", "completion", "stopped"};
const Events kThroughRegistry = {"running", "10", "busy", "20", "30",  "50",         "55",
                                 "60",      "70", "80",   "90", "100", "completion", "stopped"};
const Events kRefused = {"running", "100", "not uninstalled", "stopped"};

// The driver files below the Windows folder.
const char* const kDriverFiles[] = {"\\system32\\drivers\\Orrick.sys",
                                    "\\system32\\drivers\\Tamble.sys",
                                    "\\system32\\drivers\\Quellmast.sys",
                                    "\\system32\\Sabrelune.dll", "\\system32\\Pellacorte.dll"};

// The dialog's side of a run, which also notes at each progress step whether the
// driver files are still in place.
class DriverWatch : public ProgressRecorder {
 public:
  explicit DriverWatch(const sim::Machine& machine) : machine_(machine) {}
  void SetProgress(int position) override {
    ProgressRecorder::SetProgress(position);
    if (!gone_ && DriversLeft() == 0) events.push_back("drivers gone");
    gone_ = DriversLeft() == 0;
  }
  int DriversLeft() const {
    int left = 0;
    for (const char* path : kDriverFiles)
      left += machine_.files.Find(machine_.os.windowsFolder + path) != nullptr;
    return left;
  }

 private:
  const sim::Machine& machine_;
  bool gone_ = false;
};

struct Outcome {
  Events events;
  std::vector<std::string> messages;
  int enumerations = 0;       // device sets the run asked for
  bool classKeyGone = false;  // what only the registry passes delete
  int driversLeft = 0;
};

const char kClassKey[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
    "{4D36E978-E325-11CE-BFC1-08002BE10318}\\0009";

// One run of either variant on a fresh machine of the edition.
Outcome RunOn(const char* edition, bool uninstaller) {
  auto machine = engine_test::Edition(edition);
  // The 32-bit installer's record; WOW64 finds it under Wow6432Node on 64-bit Windows.
  const std::string software = machine->os.Is64Bit() ? "SOFTWARE\\Wow6432Node" : "SOFTWARE";
  machine->registry.SetValue(
      "HKEY_LOCAL_MACHINE\\" + software +
          "\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller\\KORVANE",
      "VID_PID_NAME1", REG_SZ, std::string("VEN_6A3C&DEV_5E17") + std::string(4, '\0'));
  machine->registry.SetValue(kClassKey, "MatchingDeviceId", REG_SZ,
                             sim::Registry::StringData("pci\\ven_6a3c&dev_5e17"));
  // The only customer's run: the drivers go once the devices are removed.
  for (const char* path : kDriverFiles)
    machine->files.WriteFile(machine->os.windowsFolder + path, "driver");
  sim::ProcessOptions options;
  options.modulePath = "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe";
  sim::ProcessScope scope(*machine, options);
  Outcome outcome;
  DriverWatch progress(*machine);
  {
    HandleCheck handles(scope.process());
    UninstallContext context = engine_test::ContextForRunningWindows();
    context.customerName = "KORVANE";
    if (uninstaller) {
      EXPECT_EQ(0u, RunUninstallSequence(context, progress));
    } else {
      EXPECT_TRUE(RunUninstallSequence(context));
    }
    outcome.events = progress.events;
  }
  outcome.messages = machine_snapshot::Messages(scope.process());
  auto counts = machine->faults.CallCounts();
  outcome.enumerations = counts["SetupDiGetClassDevsA"];
  outcome.classKeyGone = machine->registry.FindFull(kClassKey) == nullptr;
  outcome.driversLeft = progress.DriversLeft();
  return outcome;
}

// The driver files stay while the devices that load them are removed: they go after the
// last device pass (at 70 on 32-bit Windows, at 90 on 64-bit Windows they are still in
// place) and only in the branches that run passes.
TEST(UninstallSequence, TheUninstallersBranchesAndProgressPositions) {
  struct Case {
    const char* edition;
    Events events;
    int enumerations;  // 1 for enabling the ports, 6 for the removal scans
    const char* message;
  };
  const Case cases[] = {
      {"xp", kThroughDeviceInstaller, 6, nullptr},   {"2000", kThroughDeviceInstaller, 6, nullptr},
      {"2003", kThroughDeviceInstaller, 6, nullptr}, {"vista", kThroughDeviceInstaller, 6, nullptr},
      {"xp-x64", kThroughRegistry, 1, nullptr},      {"2003-x64", kThroughRegistry, 1, nullptr},
      {"2003-ia64", kThroughRegistry, 1, nullptr},   {"vista-x64", kRefused, 0, kUnsupported64Bit},
      {"7-x64", kRefused, 0, kUnsupported64Bit},     {"98-se", kRefused, 0, kUnknownWindows},
      {"me", kRefused, 0, kUnknownWindows},          {"nt4-sp6a", kRefused, 0, kUnknownWindows},
  };
  for (const Case& c : cases) {
    const Outcome o = RunOn(c.edition, true);
    const bool passes = c.events == kThroughDeviceInstaller || c.events == kThroughRegistry;
    Events expected = c.events;
    if (passes) {
      const auto after =
          std::find(expected.begin(), expected.end(), c.events == kThroughRegistry ? "100" : "90");
      expected.insert(after + 1, "drivers gone");
    }
    EXPECT_EQ(expected, o.events) << c.edition;
    EXPECT_EQ(passes ? 0 : 5, o.driversLeft) << c.edition;
    EXPECT_EQ(c.enumerations, o.enumerations) << c.edition;
    EXPECT_EQ(c.events == kThroughRegistry, o.classKeyGone) << c.edition;
    EXPECT_EQ(c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{},
              o.messages)
        << c.edition;
  }
}

TEST(UninstallSequence, TheInstallersVariantReportsNothingAndEnablesNoPort) {
  struct Case {
    const char* edition;
    int enumerations;
    bool registryPasses;
    bool message;
  };
  const Case cases[] = {
      {"xp", 6, false, false},       {"vista", 6, false, false},     {"xp-x64", 0, true, false},
      {"2003-ia64", 0, true, false}, {"vista-x64", 0, false, false}, {"98-se", 0, false, true},
  };
  for (const Case& c : cases) {
    const Outcome o = RunOn(c.edition, false);
    EXPECT_TRUE(o.events.empty()) << c.edition;
    EXPECT_EQ(c.enumerations, o.enumerations) << c.edition;
    EXPECT_EQ(c.registryPasses, o.classKeyGone) << c.edition;
    EXPECT_EQ(c.message ? 1u : 0u, o.messages.size()) << c.edition;
    EXPECT_EQ(5, o.driversLeft) << c.edition;  // the installer never deletes them
  }
}

}  // namespace
