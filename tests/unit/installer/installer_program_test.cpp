// Kestrolin as the user sees it: the dialog's states from start to end, driven by a
// script, on simulated machines, each run followed by a look at the whole machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "installer/installer_app.h"
#include "resources/program_resources.h"
#include "tests/unit/installer/installer_scenario.h"
#include "tests/unit/support/program_runner.h"

namespace {

using installer_test::Changes;
using installer_test::Package;
using installer_test::Take;
using program_test::ProgramRun;
using program_test::ShownInOrder;

// Texts as a script quotes them and as the screens show them.
const char kReady[] = "Press \\\"Install\\\" button to Install the drives...";
const char kReadyShown[] = "Press \\\"Install\\\" button to Install the drives";
const char kInProgress[] = "Installation is in Progress.......Please wait!";
const char kCompleted[] = "Installation completed. Press \\\"Exit\\\" to terminate...";
const char kCompletedShown[] = "Installation completed. Press \\\"Exit\\\" to terminate";
const char kRestart[] = "PCIe Multi-Io Controller Adapter Drivers Installed\\n Press...";
const char kAborted[] = "Installation is aborted. Press \\\"Exit\\\" to close the application.";
const char kDeclined[] =
    "PCIe Multi-Io Controller Adapter Drivers Updation is Aborted. Press \\\"Exit\\\" to "
    "close the application.";
const char kQuestion[] = "Driver for this device is already installed in this system!...";

class InstallerProgram : public ::testing::Test {
 protected:
  void Use(const char* edition) {
    machine_ = installer_test::Edition(edition);
    package_.WriteTo(*machine_);
  }
  ProgramRun Run(const std::string& script) {
    return program_test::RunProgram(*machine_, &KestrolinMain, KestrolinResources(),
                                    package_.folder + "\\Kestrolin.exe", script);
  }
  // The same install sequence run on a twin machine without any dialog, once for each
  // run of the program, with the answers given to its question: the program must leave
  // its machine exactly as the twin.
  void ExpectSameAsSequenceAlone(const char* edition,
                                 std::vector<std::vector<int>> answersPerRun = {{}}) {
    auto twin = installer_test::Edition(edition);
    package_.WriteTo(*twin);
    for (const std::vector<int>& answers : answersPerRun) {
      sim::ProcessOptions options = package_.Options();
      options.resources = &KestrolinResources();
      sim::ProcessScope scope(*twin, options);
      scope.process().messageBoxAnswers = answers;
      std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::tmpfile(), &std::fclose);
      InstallContext context;
      context.descriptionOutput = sink.get();
      context.RunInstallSequence();
    }
    EXPECT_EQ(std::vector<std::string>{}, Changes(Take(*twin), Take(*machine_))) << edition;
  }

  std::unique_ptr<sim::Machine> machine_;
  Package package_;
};

TEST_F(InstallerProgram, AFreshInstallOnEverySupportedKindOfWindows) {
  for (const char* edition : {"xp", "vista", "xp-x64", "vista-x64"}) {
    Use(edition);
    const ProgramRun run = Run(std::string("expect-text 1000 \"") + kReady +
                               "\"\n"
                               "expect-state 1 enabled\nexpect-state 2 enabled\n"
                               "press \"Install\"\n"
                               "expect-text 1000 \"" +
                               kCompleted +
                               "\"\n"
                               "expect-state 1 disabled\nexpect-state 2 enabled\nexpect-focus 2\n"
                               "expect-text 1 \"&Install\"\n"
                               "press \"Exit\"\nwait-closed\n");
    EXPECT_TRUE(run.scriptPassed) << edition << "\n" << run.report;
    EXPECT_TRUE(ShownInOrder(run.screens, {kReadyShown, kInProgress, kCompletedShown}))
        << run.screens;
    EXPECT_TRUE(run.boxes.empty()) << edition;
    EXPECT_TRUE(machine_->restartRequests.empty()) << edition;
    ExpectSameAsSequenceAlone(edition);
  }
}

TEST_F(InstallerProgram, AReinstallOnXpX64OffersTheRestartAndRebootNowRequestsIt) {
  Use("xp-x64");
  ASSERT_TRUE(Run("press \"Install\"\nexpect-text 1000 \"" + std::string(kCompleted) +
                  "\"\npress \"Exit\"\nwait-closed\n")
                  .scriptPassed);
  // While the worker waits on the question, neither button can start anything more.
  const ProgramRun run =
      Run(std::string("press \"Install\"\n") + "expect-text 1000 \"" + kInProgress +
          "\"\nexpect-state 1 disabled\nexpect-state 2 disabled\nbox \"" + kQuestion +
          "\" answer OK\n"
          "expect-text 1000 \"" +
          kRestart +
          "\"\n"
          "expect-text 1 \"Reboot Now\"\nexpect-text 2 \"Reboot Later\"\n"
          "expect-state 1 enabled\nexpect-state 2 enabled\nexpect-focus 1\n"
          "press \"Reboot Now\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  // The restart asked for: shut down and start again, with the reason left undefined.
  EXPECT_EQ((std::vector<sim::RestartRequest>{{EWX_SHUTDOWN | EWX_REBOOT, 0xFFFFFFFF}}),
            machine_->restartRequests);
  ExpectSameAsSequenceAlone("xp-x64", {{}, {IDOK}});
}

TEST_F(InstallerProgram, RebootLaterClosesWithoutARestart) {
  Use("2003-x64");
  ASSERT_TRUE(Run("press \"Install\"\nexpect-text 1000 \"" + std::string(kCompleted) +
                  "\"\npress \"Exit\"\nwait-closed\n")
                  .scriptPassed);
  const ProgramRun run =
      Run(std::string("press \"Install\"\nbox \"") + kQuestion +
          "\" answer OK\nexpect-text 2 \"Reboot Later\"\npress \"Reboot Later\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  EXPECT_TRUE(machine_->restartRequests.empty());
  ExpectSameAsSequenceAlone("2003-x64", {{}, {IDOK}});
}

TEST_F(InstallerProgram, DecliningTheReinstallLeavesTheMachineAsItWas) {
  Use("xp");
  ASSERT_TRUE(Run("press \"Install\"\nexpect-text 1000 \"" + std::string(kCompleted) +
                  "\"\npress \"Exit\"\nwait-closed\n")
                  .scriptPassed);
  const auto before = Take(*machine_);
  const ProgramRun run = Run(std::string("press \"Install\"\nbox \"") + kQuestion +
                             "\" answer Cancel\n"
                             "expect-text 1000 \"" +
                             kDeclined +
                             "\"\nexpect-state 1 disabled\nexpect-focus 2\n"
                             "press \"Exit\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  EXPECT_EQ(std::vector<std::string>{}, Changes(before, Take(*machine_)));
}

TEST_F(InstallerProgram, AbortedInstallations) {
  struct Case {
    const char* name;
    const char* edition;
    bool removeInf;
    std::string boxStep;
  };
  const Case cases[] = {
      {"ports INF missing", "xp", true, "box \"CreateFile failed\" answer OK\n"},
      {"Windows 7", "7-x64", false, ""},
  };
  for (const Case& c : cases) {
    Use(c.edition);
    if (c.removeInf) {
      sim::FileSystem::Detach(machine_->files.Find(package_.folder + "\\Sabrelune.inf"));
    }
    const auto before = Take(*machine_);
    const ProgramRun run =
        Run("press \"Install\"\n" + c.boxStep + "expect-text 1000 \"" + kAborted +
            "\"\nexpect-state 1 disabled\nexpect-focus 2\n"
            "press \"Exit\"\nwait-closed\n");
    EXPECT_TRUE(run.scriptPassed) << c.name << "\n" << run.report;
    if (c.removeInf) {
      EXPECT_EQ(std::vector<std::string>{}, Changes(before, Take(*machine_))) << c.name;
    } else {
      ExpectSameAsSequenceAlone(c.edition);
    }
  }
}

TEST_F(InstallerProgram, AWorkerThatCannotStartLeavesInstallUsable) {
  Use("xp");
  sim::FaultRule rule;
  rule.call = "CreateThread";
  rule.error = ERROR_NOT_ENOUGH_MEMORY;
  rule.nth = 1;
  machine_->faults.Add(rule);
  const ProgramRun run =
      Run("press \"Install\"\n"
          "box \"OnOK() => CreateThread - Error : 8 \\n\" answer OK\n"
          "expect-text 1000 \"" +
          std::string(kReady) +
          "\"\nexpect-state 1 enabled\nexpect-state 2 enabled\n"
          "press \"Install\"\n"
          "expect-text 1000 \"" +
          kCompleted + "\"\npress \"Exit\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  ASSERT_FALSE(run.boxes.empty());
  EXPECT_EQ(static_cast<uint32_t>(MB_ICONHAND), run.boxes[0].flags & 0xF0u);
  ExpectSameAsSequenceAlone("xp");
}

// The reinstall question has no owner, so the dialog under it can still be clicked and
// sent Esc while the worker waits for the answer: the cancel is refused, the run goes on.
TEST_F(InstallerProgram, ACancelWhileTheWorkerRunsIsRefused) {
  Use("xp");
  ASSERT_TRUE(Run("press \"Install\"\nexpect-text 1000 \"" + std::string(kCompleted) +
                  "\"\npress \"Exit\"\nwait-closed\n")
                  .scriptPassed);
  const ProgramRun run = Run(std::string("press \"Install\"\nexpect \"") + kQuestion +
                             "\"\nkey Esc in \"Kestrolin\"\n"
                             "expect-text 1000 \"" +
                             kInProgress + "\"\nbox \"" + kQuestion +
                             "\" answer OK\n"
                             "expect-text 1000 \"" +
                             kCompleted + "\"\npress \"Exit\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  ExpectSameAsSequenceAlone("xp", {{}, {IDOK}});
}

// A script that fails while the worker waits on the reinstall question ends every modal
// loop from outside: the dialog closes under the running worker. The program returns only
// after the worker, which must not touch the dialog once it is gone (the sanitizer trees
// report it if it does), and the unanswered question declines the reinstall.
TEST_F(InstallerProgram, ADialogEndedFromOutsideWaitsForItsWorker) {
  Use("xp");
  ASSERT_TRUE(Run("press \"Install\"\nexpect-text 1000 \"" + std::string(kCompleted) +
                  "\"\npress \"Exit\"\nwait-closed\n")
                  .scriptPassed);
  const auto before = Take(*machine_);
  const ProgramRun run = Run(std::string("press \"Install\"\nexpect \"") + kQuestion +
                             "\"\ntimeout 50\nexpect \"a text no window shows\"\n");
  EXPECT_FALSE(run.scriptPassed);
  EXPECT_NE(std::string::npos, run.report.find("a text no window shows")) << run.report;
  EXPECT_EQ(std::vector<std::string>{}, Changes(before, Take(*machine_)));
}

TEST_F(InstallerProgram, ExitBeforeInstallChangesNothing) {
  Use("xp");
  const auto before = Take(*machine_);
  const ProgramRun run = Run("press \"Exit\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  EXPECT_EQ(std::vector<std::string>{}, Changes(before, Take(*machine_)));
}

}  // namespace
