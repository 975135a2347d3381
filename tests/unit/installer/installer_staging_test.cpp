// StageInfFiles: the program folder's two INF files handed to the device installer,
// which SETUPAPI must offer, and the order in which they go.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/storage/reg_file.h"
#include "tests/unit/installer/installer_scenario.h"

namespace {

using installer_test::Changes;
using installer_test::Edition;
using installer_test::Fault;
using installer_test::Package;
using installer_test::Sorted;
using installer_test::Take;

const std::string kProgramFolder = "C:\\Program Files\\KORVANE";

struct StagingRun {
  std::unique_ptr<sim::Machine> machine;
  std::vector<std::string> changes;
  bool staged = false;
  int libraryReferences = -1;
  int stagingCalls = 0;
};

// Stages the INF files of a program folder made beforehand, as CopyPackage leaves it.
StagingRun Stage(const char* edition, const std::function<void(sim::Machine&)>& prepare = nullptr,
                 const std::string& programFolderInf = installer_test::PortsInf()) {
  StagingRun r;
  r.machine = Edition(edition);
  Package package;
  package.WriteTo(*r.machine);
  r.machine->files.WriteFile(kProgramFolder + "\\Sabrelune.inf", programFolderInf);
  r.machine->files.WriteFile(kProgramFolder + "\\Dovrik.inf", Package::DovrikInf());
  if (prepare) prepare(*r.machine);
  const auto before = Take(*r.machine);
  {
    sim::ProcessScope scope(*r.machine, package.Options());
    InstallContext context;
    installer_test::Detect(&context);
    EXPECT_TRUE(context.ReadCustomisation());
    r.staged = context.StageInfFiles();
    r.libraryReferences = scope.process().libraryReferences["setupapi.dll"];
  }
  r.stagingCalls = r.machine->faults.CallCounts()["SetupCopyOEMInfA"];
  r.changes = Changes(before, Take(*r.machine));
  return r;
}

std::string Staged(int n, const std::string& text) {
  const std::string inf = "C:\\WINDOWS\\inf\\oem" + std::to_string(n);
  return "+ file " + inf + ".inf = attr 20 \"" + installer_test::Escaped(text) + "\"";
}

std::string StagedPnf(int n, const std::string& text) {
  return "+ file C:\\WINDOWS\\inf\\oem" + std::to_string(n) + ".pnf = attr 20 \"" +
         installer_test::Escaped(sim::AnsiToUtf16Le(text)) + "\"";
}

TEST(StageInfFiles, BothInfFilesOfTheProgramFolderAreStaged) {
  // The program folder's ports INF differs from the package's: its copy is the one staged.
  const std::string programCopy = installer_test::PortsInf() + "; program folder copy\r\n";
  for (const char* edition : {"2000", "xp", "xp-x64", "vista"}) {
    SCOPED_TRACE(edition);
    const StagingRun r = Stage(edition, nullptr, programCopy);
    EXPECT_TRUE(r.staged);
    EXPECT_EQ(r.libraryReferences, 0);
    const std::string dovrik = Package::DovrikInf();
    auto changes = r.changes;
    // Windows 2000 keeps its files in C:\WINNT, Vista in C:\Windows.
    const std::string windows = r.machine->os.windowsFolder + "\\";
    for (auto& c : changes) {
      const size_t at = c.find(windows);
      if (at != std::string::npos) c.replace(at, windows.size(), "C:\\WINDOWS\\");
    }
    EXPECT_EQ(changes, Sorted({Staged(1, programCopy), StagedPnf(1, programCopy), Staged(2, dovrik),
                               StagedPnf(2, dovrik)}));
  }
}

TEST(StageInfFiles, FailuresStageNothingMoreAndReleaseTheLibrary) {
  const std::string ports = installer_test::PortsInf();
  struct Case {
    const char* what;
    std::function<void(sim::Machine&)> prepare;
    int calls;
    std::vector<std::string> changes;
  };
  const std::vector<Case> cases = {
      {"no SETUPAPI", [](sim::Machine& m) { m.os.hasSetupApi = false; }, 0, {}},
      {"no SetupCopyOEMInfA", [](sim::Machine& m) { m.os.hasSetupCopyOemInf = false; }, 0, {}},
      {"ports INF refused",
       [](sim::Machine& m) {
         m.faults.Add(Fault("SetupCopyOEMInfA", ERROR_ACCESS_DENIED, "Sabrelune.inf"));
       },
       1,
       {}},
      {"multifunction INF refused",
       [](sim::Machine& m) {
         m.faults.Add(Fault("SetupCopyOEMInfA", ERROR_ACCESS_DENIED, "Dovrik.inf"));
       },
       2, Sorted({Staged(1, ports), StagedPnf(1, ports)})},
      {"ports INF missing from the program folder",
       [](sim::Machine& m) {
         sim::FileSystem::Detach(m.files.Find("C:\\Program Files\\KORVANE\\Sabrelune.inf"));
       },
       1,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const StagingRun r = Stage("xp", c.prepare);
    EXPECT_FALSE(r.staged);
    EXPECT_EQ(r.stagingCalls, c.calls);
    EXPECT_EQ(r.libraryReferences, 0);
    EXPECT_EQ(r.changes, c.changes);
  }
}

TEST(StageInfFiles, UnsupportedWindowsStagesNothing) {
  const StagingRun r = Stage("7-x64");
  EXPECT_FALSE(r.staged);
  EXPECT_EQ(r.stagingCalls, 0);
  EXPECT_TRUE(r.changes.empty());
}

}  // namespace
