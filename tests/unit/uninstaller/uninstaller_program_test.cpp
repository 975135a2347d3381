// Wendmarrow as the user sees it, started the way Windows starts it (the Uninstall
// entry's command), on machines where the card was installed: the dialog's states, the
// progress bar's positions, the completion and the restart offer.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/storage/reg_file.h"
#include "sysinfo/windows_version.h"
#include "resources/program_resources.h"
#include "tests/unit/support/machine_snapshot.h"
#include "tests/unit/support/program_runner.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"
#include "uninstaller/uninstaller_app.h"
#include "uninstaller/uninstaller_dialog.h"

namespace {

using program_test::ProgramRun;
using program_test::ShownInOrder;

const char kReady[] = "This program would uninstall the Multi-IO drivers installed on this system.";
const char kBusy[] =
    " Please wait. PCIExpress Multi-IO device driver uninstallation is in progress ..... ";
const char kNoRestart[] =
    " PCIe Multi-IO device drivers are completely uninstalled. No need to restart computer "
    "for the changes to take effect.";
const char kRestart[] =
    " PCI Multi-IO device drivers are completely uninstalled. You must restart computer for "
    "the changes to take effect.";
const char kNotUninstalled[] =
    " PCIe Multi-IO device drivers were not uninstalled. Nothing was changed on this computer.";
const char kCopy[] = "C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe";

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::unique_ptr<sim::Machine> CardMachine(const char* edition, const char* fixture) {
  std::string error;
  auto machine = sim::MachineFromEdition(edition, &error);
  EXPECT_TRUE(machine) << error;
  const std::string path = std::string(KESTROLIN_SOURCE_DIR) + "/tests/fixtures/reg/" + fixture;
  std::vector<sim::RegFileOp> ops;
  EXPECT_TRUE(sim::ParseRegFile(Read(path), path, &ops, &error)) << error;
  sim::ApplyRegFile(ops, &machine->registry);
  machine->files.WriteFile(kCopy, "uninstaller");
  if (machine->os.Is64Bit())
    machine->files.WriteFile("C:\\WINDOWS\\SysWOW64\\KORVANE_Wendmarrow.exe", "uninstaller");
  machine->files.WriteFile("C:\\Program Files\\KORVANE\\Sabrelune.inf", "VEN_6A3C&DEV_5E17");
  return machine;
}

ProgramRun Uninstall(sim::Machine& machine, const std::string& script) {
  return program_test::RunProgram(machine, &WendmarrowMain, WendmarrowResources(), kCopy, script);
}

std::string Quoted(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return "\"" + out + "\"";
}

// The positions the progress bar was shown at, in order, without repeats.
std::vector<int> ProgressPositions(const std::string& screens) {
  std::vector<int> positions;
  const std::string marker = "1002 progress ";
  for (size_t at = screens.find(marker); at != std::string::npos;
       at = screens.find(marker, at + 1)) {
    const int position = std::atoi(screens.c_str() + at + marker.size());
    if (positions.empty() || positions.back() != position) positions.push_back(position);
  }
  return positions;
}

// The uninstall sequence alone on a twin machine: the program must leave its machine
// exactly as the twin.
void ExpectSameAsSequenceAlone(const sim::Machine& machine, const char* edition,
                               const char* fixture) {
  auto twin = CardMachine(edition, fixture);
  {
    sim::ProcessOptions options;
    options.modulePath = kCopy;
    options.resources = &WendmarrowResources();
    sim::ProcessScope scope(*twin, options);
    UninstallContext context = engine_test::ContextForRunningWindows();
    engine_test::ProgressRecorder progress;
    RunUninstallSequence(context, progress);
  }
  EXPECT_EQ(std::vector<std::string>{}, machine_snapshot::Changes(machine_snapshot::Take(*twin),
                                                                  machine_snapshot::Take(machine)))
      << edition;
}

TEST(UninstallerProgram, OnXpTheDeviceInstallerRemovesTheCardAndNoRestartIsNeeded) {
  auto machine = CardMachine("xp", "xp_card_installed.reg");
  const ProgramRun run = Uninstall(
      *machine, "expect-text 1003 " + Quoted(kReady) +
                    "\nexpect-state 1 enabled\nexpect-state 2 enabled\nexpect-progress 1002 0\n"
                    "press \"OK\"\n"
                    "expect-text 1003 " +
                    Quoted(kNoRestart) +
                    "\nexpect-progress 1002 100\nexpect-state 1 disabled\n"
                    "expect-state 2 enabled\nexpect-focus 2\nexpect-text 2 \"Exit\"\n"
                    "press \"Exit\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  EXPECT_TRUE(ShownInOrder(run.screens, {kReady, kBusy, kNoRestart})) << run.screens;
  EXPECT_EQ((std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 90, 100}),
            ProgressPositions(run.screens));
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(machine->restartRequests.empty());
  ExpectSameAsSequenceAlone(*machine, "xp", "xp_card_installed.reg");
}

TEST(UninstallerProgram, OnXpX64TheRegistryPassesRunAndARestartIsOffered) {
  for (const char* answer : {"Reboot Now", "Reboot Later"}) {
    auto machine = CardMachine("xp-x64", "xp_x64_card_installed.reg");
    const ProgramRun run =
        Uninstall(*machine, "press \"OK\"\nexpect-text 1003 " + Quoted(kRestart) +
                                "\nexpect-progress 1002 100\nexpect-text 1 \"Reboot Now\"\n"
                                "expect-text 2 \"Reboot Later\"\nexpect-state 1 enabled\n"
                                "expect-state 2 enabled\nexpect-focus 1\n"
                                "press " +
                                Quoted(answer) + "\nwait-closed\n");
    EXPECT_TRUE(run.scriptPassed) << answer << "\n" << run.report;
    EXPECT_EQ((std::vector<int>{0, 10, 20, 30, 50, 55, 60, 70, 80, 90, 100}),
              ProgressPositions(run.screens));
    const bool restart = std::string(answer) == "Reboot Now";
    // Shut down and start again, with the reason left undefined.
    const std::vector<sim::RestartRequest> asked = {{EWX_SHUTDOWN | EWX_REBOOT, 0xFFFFFFFF}};
    EXPECT_EQ(restart ? asked : std::vector<sim::RestartRequest>{}, machine->restartRequests);
    ExpectSameAsSequenceAlone(*machine, "xp-x64", "xp_x64_card_installed.reg");
  }
}

// A run that cannot be carried out says why, removes nothing (records, Uninstall entry
// and uninstaller copies stay for a retry), claims nothing and offers no restart.
TEST(UninstallerProgram, ARunThatCannotGoOnChangesNothingAndClaimsNothing) {
  struct Case {
    const char* what;
    const char* edition;
    const char* fixture;
    std::string program;
    const char* failingOpen;  // RegOpenKeyExA of this key fails with access denied
    std::string message;
  };
  const Case cases[] = {
      {"64-bit Vista", "vista-x64", "xp_x64_card_installed.reg", kCopy, nullptr,
       "The Multi-IO drivers cannot be uninstalled on this version of Windows. Nothing was "
       "changed."},
      {"record unreadable", "xp", "xp_card_installed.reg", kCopy,
       "PCIe Multi-Io Controller\\KORVANE",
       "The installation record of KORVANE cannot be read (error 5). Nothing was changed."},
      {"program named ._Wendmarrow", "xp", "xp_card_installed.reg",
       "C:\\WINDOWS\\System32\\._Wendmarrow.exe", nullptr,
       "This program's file name gives the customer name \".\", which cannot be used: it names "
       "a folder itself or the one above. Nothing was changed."},
      // A device, not a folder: its deletion would aim at the port.
      {"program named com1_Wendmarrow", "xp", "xp_card_installed.reg",
       "C:\\WINDOWS\\System32\\com1_Wendmarrow.exe", nullptr,
       "This program's file name gives the customer name \"com1\", which cannot be used: it "
       "names a device on Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, also with "
       "an extension), not a file or folder. Nothing was changed."},
  };
  for (const Case& c : cases) {
    auto machine = CardMachine(c.edition, c.fixture);
    if (c.failingOpen) {
      sim::FaultRule rule;
      rule.call = "RegOpenKeyExA";
      rule.error = ERROR_ACCESS_DENIED;
      rule.subject = c.failingOpen;
      machine->faults.Add(rule);
    }
    const auto before = machine_snapshot::Take(*machine);
    const ProgramRun run = program_test::RunProgram(
        *machine, &WendmarrowMain, WendmarrowResources(), c.program,
        "press \"OK\"\nbox " + Quoted(c.message) + " answer OK\nexpect-text 1003 " +
            Quoted(kNotUninstalled) +
            "\nexpect-state 1 disabled\nexpect-focus 2\npress \"Exit\"\nwait-closed\n");
    EXPECT_TRUE(run.scriptPassed) << c.what << "\n" << run.report;
    EXPECT_EQ((std::vector<int>{0, 100}), ProgressPositions(run.screens)) << c.what;
    EXPECT_TRUE(machine->restartRequests.empty()) << c.what;
    EXPECT_EQ(std::vector<std::string>{},
              machine_snapshot::Changes(before, machine_snapshot::Take(*machine)))
        << c.what;
  }
}

TEST(UninstallerProgram, OnWindows98TheSequenceSaysSoAndClaimsNothing) {
  auto machine = CardMachine("98-se", "xp_card_installed.reg");
  const auto before = machine_snapshot::Take(*machine);
  const ProgramRun run =
      Uninstall(*machine,
                "press \"OK\"\nbox \"Error Detecting Operating System Version\" answer OK\n"
                "expect-text 1003 " +
                    Quoted(kNotUninstalled) + "\npress \"Exit\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  EXPECT_EQ((std::vector<int>{0, 100}), ProgressPositions(run.screens));
  EXPECT_EQ(std::vector<std::string>{},
            machine_snapshot::Changes(before, machine_snapshot::Take(*machine)));
}

TEST(UninstallerProgram, AnUnreadableWindowsVersionEndsTheDialogAtOnce) {
  auto machine = CardMachine("xp", "xp_card_installed.reg");
  sim::FaultRule rule;
  rule.call = "GetVersionExA";
  rule.error = ERROR_INVALID_PARAMETER;
  machine->faults.Add(rule);
  const auto before = machine_snapshot::Take(*machine);
  const ProgramRun run = Uninstall(
      *machine,
      "box \"Invalid Windows OS. This Executable Run In Windows 64-Bit(AMD) OS\" answer OK\n"
      "wait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  EXPECT_EQ(std::vector<std::string>{},
            machine_snapshot::Changes(before, machine_snapshot::Take(*machine)));
}

// A worker that cannot start leaves the dialog as it was: OK tries again, and Exit closes
// it, as no worker runs.
TEST(UninstallerProgram, AWorkerThatCannotStartLeavesTheDialogReady) {
  const std::string failed =
      "press \"OK\"\nbox \"OnOK() => CreateThread - Error : 8 \\n\" answer OK\n"
      "expect-state 1 enabled\nexpect-text 1003 " +
      Quoted(kReady) + "\n";
  for (const bool tryAgain : {true, false}) {
    SCOPED_TRACE(tryAgain ? "OK again" : "Exit");
    auto machine = CardMachine("xp", "xp_card_installed.reg");
    const auto before = machine_snapshot::Take(*machine);
    sim::FaultRule rule;
    rule.call = "CreateThread";
    rule.error = ERROR_NOT_ENOUGH_MEMORY;
    rule.nth = 1;
    machine->faults.Add(rule);
    const ProgramRun run = Uninstall(
        *machine, failed +
                      (tryAgain ? "press \"OK\"\nexpect-text 1003 " + Quoted(kNoRestart) + "\n"
                                : std::string()) +
                      "press \"Exit\"\nwait-closed\n");
    EXPECT_TRUE(run.scriptPassed) << run.report;
    if (tryAgain) {
      ExpectSameAsSequenceAlone(*machine, "xp", "xp_card_installed.reg");
    } else {
      EXPECT_EQ(std::vector<std::string>{},
                machine_snapshot::Changes(before, machine_snapshot::Take(*machine)));
    }
  }
}

// OK that arrives while the worker runs (a command another program sends: the button is
// disabled then) does nothing: no restart, no end of the dialog under the worker.
TEST(UninstallerProgram, OkWhileTheWorkerRunsDoesNothing) {
  struct Exposed : UninstallerDialog {
    using UninstallerDialog::OnOK;
  };
  for (const BOOL running : {TRUE, FALSE}) {
    auto machine = CardMachine("xp-x64", "xp_x64_card_installed.reg");
    sim::ProcessScope scope(*machine);
    Exposed dialog;
    const bool wasFirstPress = firstPress;
    firstPress = false;  // the press that started the worker
    dialog.isRunning = running;
    dialog.OnOK();
    firstPress = wasFirstPress;
    // Once the run has ended, OK is Reboot Now.
    EXPECT_EQ(!running, !machine->restartRequests.empty()) << running;
  }
}

TEST(UninstallerProgram, TheAboutBoxOpensFromTheSystemMenu) {
  auto machine = CardMachine("xp", "xp_card_installed.reg");
  const auto before = machine_snapshot::Take(*machine);
  const ProgramRun run = Uninstall(*machine,
                                   "sysmenu 16\nexpect \"About Wendmarrow\"\n"
                                   "expect \"Wendmarrow Version 1.0\"\npress \"OK\"\n"
                                   "expect-text 1003 " +
                                       Quoted(kReady) + "\npress \"Exit\"\nwait-closed\n");
  EXPECT_TRUE(run.scriptPassed) << run.report;
  EXPECT_EQ(std::vector<std::string>{},
            machine_snapshot::Changes(before, machine_snapshot::Take(*machine)));
}

}  // namespace
