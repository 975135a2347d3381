// A whole life cycle on XP x64 through the programs as the user meets them: the sample
// package installed through the installer's dialog, the card found by Plug and Play, and
// the uninstaller started from the Uninstall entry's command. Afterwards the machine is
// the fresh machine again, but for what Windows itself keeps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "installer/installer_app.h"
#include "platform/sim/machine/pending_file_operations.h"
#include "platform/sim/storage/reg_file.h"
#include "resources/program_resources.h"
#include "tests/unit/support/machine_snapshot.h"
#include "tests/unit/support/program_runner.h"
#include "uninstaller/uninstaller_app.h"

namespace {

const char kHklm[] = "HKEY_LOCAL_MACHINE\\";
const char kUninstallEntry[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane "
    "Semiconductor Technology Ltd";

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The sample package at the root of drive D:, with the installer beside it.
void PutSamplePackageOnD(sim::Machine& machine) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(KESTROLIN_SOURCE_DIR) / "packages" / "sample";
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().filename() == "README.md") continue;
    std::string name = fs::relative(entry.path(), root).generic_string();
    for (char& c : name)
      if (c == '/') c = '\\';
    machine.files.WriteFile("D:\\" + name, Read(entry.path()));
  }
  machine.files.WriteFile("D:\\Kestrolin.exe", "installer");
}

// What Plug and Play leaves when it finds the card and installs the staged drivers:
// the card's device and driver keys (from the XP x64 card fixture), its two COM names
// claimed, the port list and serial device map entries, and the driver files.
void PlugAndPlayFindsTheCard(sim::Machine& machine) {
  const std::string path =
      std::string(KESTROLIN_SOURCE_DIR) + "/tests/fixtures/reg/xp_x64_card_installed.reg";
  std::vector<sim::RegFileOp> ops;
  std::string error;
  ASSERT_TRUE(sim::ParseRegFile(Read(path), path, &ops, &error)) << error;
  const std::string ccs = std::string(kHklm) + "SYSTEM\\CurrentControlSet\\";
  const std::vector<std::string> cardDriverKeys = {
      "Control\\Class\\{4d36e971-e325-11ce-bfc1-08002be10318}\\0000",
      "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\0003",
      "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\0004",
      "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\0005"};
  std::vector<sim::RegFileOp> card;
  for (const sim::RegFileOp& op : ops) {
    bool isCard = op.keyPath.find("VEN_6A3C&DEV_5E17") != std::string::npos;
    for (const std::string& key : cardDriverKeys) isCard |= op.keyPath == ccs + key;
    if (isCard) card.push_back(op);
  }
  ASSERT_GT(card.size(), 20u);
  sim::ApplyRegFile(card, &machine.registry);

  auto arbiter = machine.registry.FindFull(ccs + "Control\\COM Name Arbiter");
  ASSERT_TRUE(arbiter);
  std::string comDb = arbiter->values.Find("ComDB") ? arbiter->values.Find("ComDB")->data : "";
  comDb.resize(std::max<size_t>(comDb.size(), 32), '\0');
  comDb[0] = static_cast<char>(comDb[0] | 0x04);  // COM3
  comDb[1] = static_cast<char>(comDb[1] | 0x02);  // COM10
  machine.registry.SetValue(ccs + "Control\\COM Name Arbiter", "ComDB", REG_BINARY, comDb);
  const std::string ports =
      std::string(kHklm) + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
  for (const char* port : {"COM3:", "COM10:"})
    machine.registry.SetValue(ports, port, REG_SZ, sim::Registry::StringData("9600,n,8,1"));
  const std::string serialComm = std::string(kHklm) + "HARDWARE\\DEVICEMAP\\SERIALCOMM";
  machine.registry.SetValue(serialComm, "\\Device\\Orrick0", REG_SZ,
                            sim::Registry::StringData("COM3"));
  machine.registry.SetValue(serialComm, "\\Device\\Orrick1", REG_SZ,
                            sim::Registry::StringData("COM10"));
  for (const char* file : {"drivers\\Orrick.sys", "drivers\\Tamble.sys", "drivers\\Quellmast.sys",
                           "Sabrelune.dll", "Pellacorte.dll"})
    machine.files.WriteFile("C:\\WINDOWS\\system32\\" + std::string(file), "driver");
}

std::string UninstallCommand(const sim::Machine& machine) {
  std::string path = std::string(kHklm) + kUninstallEntry;
  // A 32-bit program's entry on a 32-bit Windows is in the one view there is.
  if (!machine.os.Is64Bit()) path.replace(path.find("Wow6432Node\\"), 12, "");
  auto entry = machine.registry.FindFull(path);
  if (!entry || !entry->values.Find("UninstallString")) return "";
  const std::string& data = entry->values.Find("UninstallString")->data;
  return data.substr(0, data.find('\0'));
}

TEST(LifeCycle, InstallPlugAndPlayUninstallOnXpX64LeavesTheFreshMachine) {
  std::string error;
  auto machine = sim::MachineFromEdition("xp-x64", &error);
  ASSERT_TRUE(machine) << error;
  PutSamplePackageOnD(*machine);
  const auto fresh = machine_snapshot::Take(*machine);

  const program_test::ProgramRun install =
      program_test::RunProgram(*machine, &KestrolinMain, KestrolinResources(), "D:\\Kestrolin.exe",
                               "press \"Install\"\nexpect-text 1000 \"Installation completed...\"\n"
                               "press \"Exit\"\nwait-closed\n");
  ASSERT_TRUE(install.scriptPassed) << install.report;
  ASSERT_NO_FATAL_FAILURE(PlugAndPlayFindsTheCard(*machine));

  const std::string command = UninstallCommand(*machine);
  ASSERT_EQ("C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe", command);
  const program_test::ProgramRun uninstall = program_test::RunProgram(
      *machine, &WendmarrowMain, WendmarrowResources(), command,
      "press \"OK\"\nexpect-text 1 \"Reboot Now\"\npress \"Reboot Now\"\nwait-closed\n");
  ASSERT_TRUE(uninstall.scriptPassed) << uninstall.report;
  EXPECT_EQ((std::vector<sim::RestartRequest>{{EWX_SHUTDOWN | EWX_REBOOT, 0xFFFFFFFF}}),
            machine->restartRequests);

  // What differs from the fresh machine. Windows' own: the multifunction enumerator's
  // key, made by Plug and Play for the card's functions, stays once made; the serial
  // device map keeps the running drivers' ports until the restart the uninstaller asks
  // for (Windows builds it anew at every start). And the port list's entry of the
  // released COM3, which XP lists from the start: the port-list pass removes the
  // entries of the card's numbers, and Windows writes it again for the next port that
  // takes the number. Last, the running uninstaller's own copy, which Windows will not
  // delete while it runs: its deletion waits for the restart, recorded for the session
  // manager. The copy is moved aside first, so that the deletion takes no later copy.
  const std::string copy = "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe.delete-at-restart-1";
  const std::vector<std::string> keptByWindows = {
      "+ file " + copy + " = attr 00 \"" +
          machine_snapshot::Escaped(Read(std::filesystem::path(KESTROLIN_SOURCE_DIR) /
                                         "packages/sample/AMD64/Wendmarrow.exe")) +
          "\"",
      "+ key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\MF",
      "+ value HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM : \\Device\\Orrick0 = type 1 \"COM3\\x00\"",
      "+ value HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM : \\Device\\Orrick1 = type 1 \"COM10\\x00\"",
      "+ value HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager : "
      "PendingFileRenameOperations = type 7 \"\\??\\" +
          copy + "\\x00\\x00\\x00\"",
      "- value HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports : COM3:",
  };
  EXPECT_EQ(keptByWindows, machine_snapshot::Changes(fresh, machine_snapshot::Take(*machine)));
}

// An uninstall leaves the deletion of its running copy to the next start; an installation
// before that start writes a new copy where the Uninstall entry points, and the restart
// must not take it: the product stays uninstallable. The uninstaller moves its copy aside
// first; where that is refused, the deletion names the copy itself, and the installer
// drops it before it writes there.
TEST(LifeCycle, AReinstallBeforeTheRestartKeepsItsUninstaller) {
  const char kInstall[] =
      "press \"Install\"\nexpect-text 1000 \"Installation completed...\"\n"
      "press \"Exit\"\nwait-closed\n";
  for (const char* edition : {"xp", "xp-x64"}) {
    for (const bool renameRefused : {false, true}) {
      SCOPED_TRACE(std::string(edition) + (renameRefused ? ", the rename refused" : ""));
      std::string error;
      auto machine = sim::MachineFromEdition(edition, &error);
      ASSERT_TRUE(machine) << error;
      PutSamplePackageOnD(*machine);
      const auto Run = [&](int (*program)(), const sim::ResourceSet& resources,
                           const std::string& path, const std::string& script) {
        const program_test::ProgramRun run =
            program_test::RunProgram(*machine, program, resources, path, script);
        EXPECT_TRUE(run.scriptPassed) << run.report;
      };
      // XP says no restart is needed; on XP x64 the user answers the offer with Reboot Later.
      const std::string uninstall =
          std::string("press \"OK\"\n") +
          (machine->os.Is64Bit() ? "expect-text 1 \"Reboot Now\"\n"
                                 : "expect-text 1003 \" PCIe Multi-IO device "
                                   "drivers are completely uninstalled...\"\n") +
          "press 2\nwait-closed\n";
      Run(&KestrolinMain, KestrolinResources(), "D:\\Kestrolin.exe", kInstall);
      const std::string command = UninstallCommand(*machine);
      ASSERT_FALSE(command.empty());
      if (renameRefused) {
        sim::FaultRule refused;
        refused.call = "MoveFileA";
        refused.error = ERROR_ACCESS_DENIED;
        machine->faults.Add(refused);
      }
      Run(&WendmarrowMain, WendmarrowResources(), command, uninstall);
      machine->faults.Clear();
      ASSERT_EQ("", UninstallCommand(*machine));
      Run(&KestrolinMain, KestrolinResources(), "D:\\Kestrolin.exe", kInstall);
      ASSERT_EQ(command, UninstallCommand(*machine));

      sim::Restart(*machine);
      // The shell that starts the command sees the native System32.
      ASSERT_TRUE(machine->files.Find(command)) << "the restart deleted the new copy";
      Run(&WendmarrowMain, WendmarrowResources(), command, uninstall);
      EXPECT_EQ("", UninstallCommand(*machine));
    }
  }
}

}  // namespace
