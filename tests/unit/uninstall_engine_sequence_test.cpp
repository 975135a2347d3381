// The uninstall sequence's branch table: which Windows gets which passes, the progress
// positions the uninstaller's dialog sees, and the one message of the sequence.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sysinfo/windows_version.h"
#include "tests/unit/machine_snapshot.h"
#include "tests/unit/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::HandleCheck;
using engine_test::ProgressRecorder;
using Events = std::vector<std::string>;

const char kUnknownWindows[] = "Error Detecting Operating System Version";

const Events kThroughDeviceInstaller = {"running", "10", "20", "30",  "40",         "busy",   "50",
                                        "60",      "70", "90", "100", "completion", "stopped"};
const Events kThroughRegistry = {"running", "10", "busy", "20", "30",  "50",         "55",
                                 "60",      "70", "80",   "90", "100", "completion", "stopped"};
const Events kNoPass = {"running", "100", "completion", "stopped"};

struct Outcome {
  Events events;
  std::vector<std::string> messages;
  int enumerations = 0;       // device sets the run asked for
  bool classKeyGone = false;  // what only the registry passes delete
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
  sim::ProcessOptions options;
  options.modulePath = "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe";
  sim::ProcessScope scope(*machine, options);
  Outcome outcome;
  {
    HandleCheck handles(scope.process());
    UninstallContext context = engine_test::ContextForRunningWindows();
    context.customerName = "KORVANE";
    ProgressRecorder progress;
    if (uninstaller) {
      EXPECT_EQ(0u, RunUninstallSequence(context, progress));
    } else {
      RunUninstallSequence(context);
    }
    outcome.events = progress.events;
  }
  outcome.messages = machine_snapshot::Messages(scope.process());
  auto counts = machine->faults.CallCounts();
  outcome.enumerations = counts["SetupDiGetClassDevsA"];
  outcome.classKeyGone = machine->registry.FindFull(kClassKey) == nullptr;
  return outcome;
}

TEST(UninstallSequence, TheUninstallersBranchesAndProgressPositions) {
  struct Case {
    const char* edition;
    Events events;
    int enumerations;  // 1 for enabling the ports, 6 for the removal scans
    bool message;
  };
  const Case cases[] = {
      {"xp", kThroughDeviceInstaller, 6, false},
      {"2000", kThroughDeviceInstaller, 6, false},
      {"2003", kThroughDeviceInstaller, 6, false},
      {"vista", kThroughDeviceInstaller, 6, false},
      {"xp-x64", kThroughRegistry, 1, false},
      {"2003-x64", kThroughRegistry, 1, false},
      {"2003-ia64", kThroughRegistry, 1, false},
      {"vista-x64", kNoPass, 0, false},
      {"7-x64", kNoPass, 0, false},
      {"98-se", kNoPass, 0, true},
      {"me", kNoPass, 0, true},
      {"nt4-sp6a", kNoPass, 0, true},
  };
  for (const Case& c : cases) {
    const Outcome o = RunOn(c.edition, true);
    EXPECT_EQ(c.events, o.events) << c.edition;
    EXPECT_EQ(c.enumerations, o.enumerations) << c.edition;
    EXPECT_EQ(c.events == kThroughRegistry, o.classKeyGone) << c.edition;
    EXPECT_EQ(c.message ? std::vector<std::string>{kUnknownWindows} : std::vector<std::string>{},
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
  }
}

}  // namespace
