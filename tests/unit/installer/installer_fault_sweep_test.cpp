// Every Win32 call the four installer steps make fails in turn: whatever fails, no key,
// file or library stays open, WOW64 redirection is back on, and the steps end. The calls
// that give something back are left out: a failing RegCloseKey, CloseHandle, FindClose,
// FreeLibrary or Wow64RevertWow64FsRedirection keeps what it was to release, by definition.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "installer/install_context.h"
#include "platform/sim/machine/process.h"
#include "tests/unit/installer/installer_scenario.h"

namespace {

struct Outcome {
  std::map<std::string, int> calls;
  size_t openHandles = 0;
  int libraryReferences = 0;
  bool redirectionOff = false;
};

Outcome RunAllSteps(const char* edition, const std::string& failingCall = "", int nth = 0) {
  auto machine = installer_test::Edition(edition);
  installer_test::Package package;
  package.WriteTo(*machine);
  // An earlier installation's folder, so that the shell deletion runs too.
  machine->files.WriteFile("C:\\Program Files\\KORVANE\\Dovrik.inf", "old");
  if (!failingCall.empty()) {
    machine->faults.Add(installer_test::Fault(failingCall.c_str(), ERROR_ACCESS_DENIED, "", nth));
  }
  Outcome o;
  {
    sim::ProcessScope scope(*machine, package.Options());
    InstallContext context;
    installer_test::Detect(&context);
    if (context.ReadCustomisation()) {
      context.DeleteOldUninstaller();
      context.WriteUninstallEntry();
      context.WriteProductRecord();
      if (context.CreateProgramFolder() && context.CopyPackage()) context.StageInfFiles();
    }
    o.openHandles = scope.process().handles.Count();
    o.libraryReferences = scope.process().libraryReferences["setupapi.dll"];
    o.redirectionOff = sim::ThreadFsRedirectionDisabled();
  }
  o.calls = machine->faults.CallCounts();
  return o;
}

TEST(InstallerFaultSweep, EveryFailingCallLeavesNothingOpen) {
  const std::set<std::string> releases = {"RegCloseKey", "CloseHandle", "FindClose", "FreeLibrary",
                                          "Wow64RevertWow64FsRedirection"};
  for (const char* edition : {"xp", "xp-x64"}) {
    const Outcome clean = RunAllSteps(edition);
    EXPECT_EQ(clean.openHandles, 0u);
    int swept = 0;
    for (const auto& [call, count] : clean.calls) {
      if (releases.count(call)) continue;
      for (int n = 1; n <= count; ++n, ++swept) {
        SCOPED_TRACE(std::string(edition) + ": " + call + " #" + std::to_string(n));
        const Outcome o = RunAllSteps(edition, call, n);
        EXPECT_EQ(o.openHandles, 0u);
        EXPECT_EQ(o.libraryReferences, 0);
        EXPECT_FALSE(o.redirectionOff);
      }
    }
    EXPECT_GT(swept, 50);
  }
}

}  // namespace
