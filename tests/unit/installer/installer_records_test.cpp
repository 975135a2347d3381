// The product's records: DeleteOldUninstaller, WriteUninstallEntry (with
// CopyUninstallerToSystem), WriteProductRecord (with WriteSupportedIds) and
// ClearReadOnly, on simulated machines of the supported editions and of NT 6.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "platform/sim/machine/process.h"
#include "tests/unit/installer/installer_scenario.h"

namespace {

using installer_test::Changes;
using installer_test::Edition;
using installer_test::Fault;
using installer_test::Package;
using installer_test::PortsInf;
using installer_test::Sorted;
using installer_test::Take;

const std::string kEntry =
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "Korvane Semiconductor Technology Ltd";
const std::string kProduct =
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller";
const std::string kZeros = "\\x00\\x00\\x00\\x00";

std::string Sz(const std::string& text) { return "type 1 \"" + text + kZeros + "\""; }

struct StepRun {
  std::unique_ptr<sim::Machine> machine;
  std::vector<std::string> changes;
  std::vector<std::string> messages;
  bool entry = false, record = false;
};

// The three record steps in the install sequence's order, after the customisation read.
StepRun RecordSteps(const char* edition, const Package& package,
                    const std::function<void(sim::Machine&)>& prepare = nullptr,
                    sim::ProcessOptions options = {}) {
  StepRun r;
  r.machine = Edition(edition);
  package.WriteTo(*r.machine);
  if (prepare) prepare(*r.machine);
  const auto before = Take(*r.machine);
  if (options.modulePath == sim::ProcessOptions().modulePath) options = package.Options();
  {
    sim::ProcessScope scope(*r.machine, options);
    InstallContext context;
    installer_test::Detect(&context);
    EXPECT_TRUE(context.ReadCustomisation());
    context.DeleteOldUninstaller();
    r.entry = context.WriteUninstallEntry();
    r.record = context.WriteProductRecord();
    r.messages = installer_test::Messages(scope.process());
  }
  r.changes = Changes(before, Take(*r.machine));
  return r;
}

std::vector<std::string> FreshXpRecords(const std::string& uninstaller) {
  return Sorted({
      "+ file C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe = attr 20 \"" + uninstaller + "\"",
      "+ key " + kEntry,
      "+ value " + kEntry + " : DisplayName = " + Sz("Korvane PCI-Express Multi-IO Controller"),
      "+ value " + kEntry +
          " : UninstallString = " + Sz("C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe"),
      "+ key " + kProduct,
      "+ key " + kProduct + "\\KORVANE",
      "+ value " + kProduct + "\\KORVANE : VID_PID_NAME1 = " + Sz("VEN_6A3C&DEV_5E17"),
      "+ value " + kProduct + "\\KORVANE : VID_PID_NAME2 = " + Sz("VEN_6A3C&DEV_5E18"),
  });
}

TEST(ProductRecords, FreshXpGetsTheCopyTheEntryAndTheCustomerSubkey) {
  // The package carries the uninstaller under its generic name only.
  const StepRun r = RecordSteps("xp", Package());
  EXPECT_TRUE(r.entry);
  EXPECT_TRUE(r.record);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(r.changes, FreshXpRecords("X86\\Wendmarrow.exe"));
  // 17 characters and four zero bytes.
  auto customer = r.machine->registry.FindFull(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io "
      "Controller\\KORVANE");
  ASSERT_TRUE(customer);
  EXPECT_EQ(customer->values.Find("VID_PID_NAME1")->data.size(), 21u);
}

TEST(ProductRecords, SupportedIdsFollowTheWindowRule) {
  struct Case {
    const char* what;
    std::string ids;                    // the INF's lines after the customisation block
    std::vector<std::string> expected;  // "name=value" of the customer subkey
  };
  const std::vector<Case> cases = {
      {"names 1 and 2 only",
       "VID_PID_NAME1 = VEN_1111&DEV_2222\r\nVID_PID_NAME2 = VEN_3333&DEV_4444",
       {"VID_PID_NAME1=VEN_1111&DEV_2222", "VID_PID_NAME2=VEN_3333&DEV_4444"}},
      {"blanks and commas only",
       "VID_PID_NAME1 = ,, , \t,  ,, ,, ,\r\nDiskId=1",
       {"VID_PID_NAME1=VEN_6A3C&DEV_5E17"}},
      {"cut after 17 characters",
       "VID_PID_NAME1 = VEN_1111&DEV_2222XYZ",
       {"VID_PID_NAME1=VEN_1111&DEV_2222"}},
      {"commas removed",
       "VID_PID_NAME5 = VEN_11,11&DEV_222\r\n",
       {"VID_PID_NAME5=VEN_1111&DEV_222"}},
      {"window clamped at the end of the text", "VID_PID_NAME3 = VEN_1", {"VID_PID_NAME3=VEN_1"}},
      {"name at the very end", "VID_PID_NAME6", {"VID_PID_NAME6=VEN_6A3C&DEV_5E17"}},
      {"only numbers 1 to 6", "VID_PID_NAME7 = VEN_7777&DEV_7777\r\nVID_PID_NAME0 = VEN_0", {}},
      {"first occurrence counts",
       "; VID_PID_NAME2 = VEN_AAAA&DEV_AAAA\r\nVID_PID_NAME2 = VEN_BBBB&DEV_BBBB",
       {"VID_PID_NAME2=VEN_AAAA&DEV_AAAA"}},
      {"case-sensitive", "vid_pid_name1 = VEN_1111&DEV_2222", {}},
  };
  const std::string block =
      "CustomerName=\"ACME\"\r\nProviderName=\"P\"\r\nUninstallName=\"U\"\r\nDiskName=\"D\"\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Package package;
    package.portsInf = block + c.ids;
    // A value of a number the INF no longer names stays.
    const StepRun r = RecordSteps("xp", package, [](sim::Machine& m) {
      m.registry.SetValue(
          "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io "
          "Controller\\ACME",
          "VID_PID_NAME4", REG_SZ, sim::Registry::StringData("VEN_4444&DEV_OLD"));
    });
    EXPECT_TRUE(r.record);
    std::vector<std::string> expected;
    for (const auto& e : c.expected) {
      const size_t eq = e.find('=');
      expected.push_back("+ value " + kProduct + "\\ACME : " + e.substr(0, eq) + " = " +
                         Sz(e.substr(eq + 1)));
    }
    std::vector<std::string> written;
    for (const auto& change : r.changes)
      if (change.find(kProduct + "\\ACME : ") != std::string::npos) written.push_back(change);
    EXPECT_EQ(written, Sorted(expected));
  }
}

TEST(ProductRecords, CustomerNamedUninstallerIsPreferred) {
  Package package;
  package.portsInf = PortsInf("ACME");
  package.platformFiles.push_back("ACME_Wendmarrow.exe");
  const StepRun r = RecordSteps("xp", package);
  EXPECT_TRUE(r.entry);
  auto copy = r.machine->files.Find("C:\\WINDOWS\\system32\\ACME_Wendmarrow.exe");
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->content, "X86\\ACME_Wendmarrow.exe");
}

TEST(ProductRecords, StartedFromTheRootOfADrive) {
  Package package;
  package.folder = "D:";
  // A source written "D:\\X86\..." would meet this fault; "D:\X86\..." does not.
  const StepRun r = RecordSteps("xp", package, [](sim::Machine& m) {
    m.faults.Add(Fault("CopyFileA", ERROR_INVALID_NAME, "D:\\\\"));
  });
  EXPECT_TRUE(r.entry);
  auto copy = r.machine->files.Find("C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe");
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->content, "X86\\Wendmarrow.exe");
}

TEST(ProductRecords, Nt61WritesAndDeletesNothing) {
  std::string error;
  auto twin = sim::MachineFromEdition("7-x64", &error);
  Package package;
  package.WriteTo(*twin);
  for (const char* f : {"C:\\Windows\\System32\\KORVANE_Wendmarrow.exe",
                        "C:\\Windows\\SysWOW64\\KORVANE_Wendmarrow.exe"})
    twin->files.WriteFile(f, "old");
  const StepRun r = RecordSteps("7-x64", package, [](sim::Machine& m) {
    for (const char* f : {"C:\\Windows\\System32\\KORVANE_Wendmarrow.exe",
                          "C:\\Windows\\SysWOW64\\KORVANE_Wendmarrow.exe"})
      m.files.WriteFile(f, "old");
  });
  EXPECT_TRUE(r.entry);
  EXPECT_TRUE(r.record);
  EXPECT_TRUE(r.changes.empty()) << ::testing::PrintToString(r.changes);
  std::string difference;
  EXPECT_TRUE(r.machine->SameAs(*twin, &difference)) << difference;
}

TEST(ProductRecords, EverySupportedEditionGetsTheRecords) {
  for (const char* edition : {"2000", "xp", "vista"}) {
    SCOPED_TRACE(edition);
    const StepRun r = RecordSteps(edition, Package());
    EXPECT_TRUE(r.entry);
    EXPECT_TRUE(r.record);
    EXPECT_EQ(r.changes.size(), 8u) << ::testing::PrintToString(r.changes);
  }
}

TEST(ProductRecords, OldUninstallerIsDeletedAlsoWhenReadOnly) {
  const StepRun r = RecordSteps("xp", Package(), [](sim::Machine& m) {
    m.files.WriteFile("C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe", "old",
                      FILE_ATTRIBUTE_READONLY);
  });
  EXPECT_TRUE(r.entry);
  auto copy = r.machine->files.Find("C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe");
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->content, "X86\\Wendmarrow.exe");
}

TEST(ProductRecords, ReadOnlyUninstallerArrivesWritable) {
  const StepRun r = RecordSteps("xp", Package(), [](sim::Machine& m) {
    m.files.Find("C:\\Pkg\\X86\\Wendmarrow.exe")->attributes =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
  });
  EXPECT_EQ(r.machine->files.Find("C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe")->attributes,
            static_cast<uint32_t>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST(ProductRecords, SecondCustomerWithTheSameProviderTakesTheEntryOver) {
  auto machine = Edition("xp");
  for (const char* customer : {"ACME", "BOLT"}) {
    Package package;
    package.portsInf = PortsInf(customer, "Shared Ltd", std::string(customer) + " IO");
    package.WriteTo(*machine);
    sim::ProcessScope scope(*machine, package.Options());
    InstallContext context;
    installer_test::Detect(&context);
    ASSERT_TRUE(context.ReadCustomisation());
    context.DeleteOldUninstaller();
    EXPECT_TRUE(context.WriteUninstallEntry());
    EXPECT_TRUE(context.WriteProductRecord());
  }
  auto entry = machine->registry.FindFull(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Shared Ltd");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->values.Find("DisplayName")->data, std::string("BOLT IO") + std::string(4, '\0'));
  EXPECT_EQ(entry->values.Find("UninstallString")->data,
            std::string("C:\\WINDOWS\\System32\\BOLT_Wendmarrow.exe") + std::string(4, '\0'));
  // Both customers keep their subkeys and their copies.
  EXPECT_TRUE(machine->files.Find("C:\\WINDOWS\\system32\\ACME_Wendmarrow.exe"));
  EXPECT_TRUE(machine->files.Find("C:\\WINDOWS\\system32\\BOLT_Wendmarrow.exe"));
}

TEST(ProductRecords, FailuresEndTheirStepBeforeWhatDependsOnThem) {
  struct Case {
    const char* what;
    sim::FaultRule fault;
    bool entry, record;
    std::vector<std::string> messages;
    std::vector<std::string> absent;  // changes of the fresh run that must not happen
  };
  const std::string copy =
      "+ file C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe = attr 20 \"X86\\Wendmarrow.exe\"";
  const std::string uninstallString = "+ value " + kEntry + " : UninstallString = " +
                                      Sz("C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe");
  const std::string display =
      "+ value " + kEntry + " : DisplayName = " + Sz("Korvane PCI-Express Multi-IO Controller");
  const std::vector<Case> cases = {
      {"uninstaller missing from the package",
       Fault("CopyFileA", ERROR_FILE_NOT_FOUND),
       false,
       true,
       {},
       {copy, "+ key " + kEntry, display, uninstallString}},
      {"no current folder",
       Fault("GetCurrentDirectoryA", ERROR_NOT_ENOUGH_MEMORY, "", 2),
       false,
       true,
       {"GetCurrentDirectory failed!"},
       {copy, "+ key " + kEntry, display, uninstallString}},
      {"no Windows folder",
       Fault("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY, "", 2),
       false,
       true,
       {"GetWindowsDirectory failed!"},
       {copy, "+ key " + kEntry, display, uninstallString}},
      {"entry key not created",
       Fault("RegCreateKeyExA", ERROR_ACCESS_DENIED, "Uninstall"),
       false,
       true,
       {},
       {"+ key " + kEntry, display, uninstallString}},
      {"display name not written",
       Fault("RegSetValueExA", ERROR_ACCESS_DENIED, "", 1),
       false,
       true,
       {},
       {display, uninstallString}},
      {"product key not created",
       Fault("RegCreateKeyExA", ERROR_ACCESS_DENIED, "PCIe"),
       true,
       false,
       {},
       {"+ key " + kProduct, "+ key " + kProduct + "\\KORVANE"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const StepRun r = RecordSteps("xp", Package(), [&](sim::Machine& m) { m.faults.Add(c.fault); });
    EXPECT_EQ(r.entry, c.entry);
    EXPECT_EQ(r.record, c.record);
    EXPECT_EQ(r.messages, c.messages);
    for (const auto& change : c.absent) {
      EXPECT_EQ(std::count(r.changes.begin(), r.changes.end(), change), 0) << change;
    }
    // Everything else of the fresh run still happens.
    for (const auto& change : FreshXpRecords("X86\\Wendmarrow.exe")) {
      if (std::count(c.absent.begin(), c.absent.end(), change)) continue;
      if (!c.record && change.find(kProduct) != std::string::npos) continue;
      EXPECT_EQ(std::count(r.changes.begin(), r.changes.end(), change), 1) << change;
    }
  }
}

// Under WOW64 the 32-bit installer's copy lands in SysWOW64, while the 64-bit shell
// that runs "UninstallString" looks in System32: the copy must be in both.
TEST(ProductRecords, UninstallCommandFindsTheCopyFromA64BitProcessToo) {
  for (const char* edition : {"xp-x64", "7-x64"}) {
    SCOPED_TRACE(edition);
    auto machine = Edition(edition);
    if (std::string(edition) == "7-x64") machine->os.minorVersion = 0;  // a 64-bit NT 6.0
    Package package;
    package.WriteTo(*machine);
    std::string command;
    {
      sim::ProcessScope scope(*machine, package.Options());
      InstallContext context;
      installer_test::Detect(&context);
      ASSERT_TRUE(context.ReadCustomisation());
      context.DeleteOldUninstaller();
      EXPECT_TRUE(context.WriteUninstallEntry());
      // Redirection is back on for the thread afterwards.
      EXPECT_FALSE(sim::ThreadFsRedirectionDisabled());
      EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\System32\\drivers\\serial.sys"),
                INVALID_FILE_ATTRIBUTES);
    }
    const std::string windows = machine->os.windowsFolder;
    auto entry = machine->registry.FindFull(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
        "Uninstall\\Korvane Semiconductor Technology Ltd");
    ASSERT_TRUE(entry);
    command = entry->values.Find("UninstallString")->data.c_str();
    EXPECT_EQ(command, windows + "\\System32\\KORVANE_Wendmarrow.exe");
    for (bool is64 : {false, true}) {
      sim::ProcessOptions shell;
      shell.modulePath = windows + "\\explorer.exe";
      shell.is64BitProcess = is64;
      sim::ProcessScope scope(*machine, shell);
      EXPECT_NE(GetFileAttributesA(command.c_str()), INVALID_FILE_ATTRIBUTES) << is64;
    }
    // DeleteOldUninstaller removes both copies.
    {
      sim::ProcessScope scope(*machine, package.Options());
      InstallContext context;
      installer_test::Detect(&context);
      ASSERT_TRUE(context.ReadCustomisation());
      context.DeleteOldUninstaller();
    }
    EXPECT_FALSE(machine->files.Find(windows + "\\System32\\KORVANE_Wendmarrow.exe"));
    EXPECT_FALSE(machine->files.Find(windows + "\\SysWOW64\\KORVANE_Wendmarrow.exe"));
  }
}

TEST(ProductRecords, WhenTheSecondCopyFailsRedirectionIsStillRestored) {
  auto machine = Edition("xp-x64");
  Package package;
  package.WriteTo(*machine);
  machine->faults.Add(Fault("CopyFileA", ERROR_DISK_FULL, "", 2));
  sim::ProcessScope scope(*machine, package.Options());
  InstallContext context;
  installer_test::Detect(&context);
  ASSERT_TRUE(context.ReadCustomisation());
  EXPECT_FALSE(context.WriteUninstallEntry());
  EXPECT_FALSE(sim::ThreadFsRedirectionDisabled());
  EXPECT_FALSE(machine->registry.FindFull(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
      "Uninstall\\Korvane Semiconductor Technology Ltd"));
}

}  // namespace
