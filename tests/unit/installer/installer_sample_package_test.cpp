// The four installer steps in the install sequence's order, from the sample package in
// packages/sample, on fresh machines: the whole machine before and after.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/storage/reg_file.h"
#include "tests/unit/installer/installer_scenario.h"

namespace {

using installer_test::Changes;
using installer_test::Edition;
using installer_test::Escaped;
using installer_test::Sorted;
using installer_test::Take;

// The sample package's files by their path in the package ("X86\Orrick.sys").
std::map<std::string, std::string> SamplePackage() {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(KESTROLIN_SOURCE_DIR) / "packages" / "sample";
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().filename() == "README.md") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string name = fs::relative(entry.path(), root).generic_string();
    for (char& c : name)
      if (c == '/') c = '\\';
    files[name] = text.str();
  }
  return files;
}

struct FullRun {
  bool read = false, entry = false, record = false, created = false, copied = false, staged = false;
  std::vector<std::string> messages;
  std::vector<std::string> changes;
};

FullRun RunSteps(sim::Machine& machine, const std::map<std::string, std::string>& package) {
  for (const auto& [name, text] : package) machine.files.WriteFile("C:\\Setup\\" + name, text);
  machine.files.WriteFile("C:\\Setup\\Kestrolin.exe", "installer");
  const auto before = Take(machine);
  FullRun r;
  {
    sim::ProcessOptions options;
    options.modulePath = "C:\\Setup\\Kestrolin.exe";
    sim::ProcessScope scope(machine, options);
    InstallContext context;
    installer_test::Detect(&context);
    r.read = context.ReadCustomisation();
    context.DeleteOldUninstaller();
    r.entry = context.WriteUninstallEntry();
    r.record = context.WriteProductRecord();
    r.created = context.CreateProgramFolder();
    r.copied = context.CopyPackage();
    r.staged = context.StageInfFiles();
    r.messages = installer_test::Messages(scope.process());
  }
  r.changes = Changes(before, Take(machine));
  return r;
}

std::string File(const std::string& path, const std::string& text) {
  return "+ file " + path + " = attr 20 \"" + Escaped(text) + "\"";
}

std::string Sz(const std::string& text) {
  return "type 1 \"" + Escaped(text + std::string(4, '\0')) + "\"";
}

// What the run leaves for customer KORVANE, with the registry's SOFTWARE as the
// program sees it and the copies of the uninstaller in `systemFolders`.
std::vector<std::string> Expected(const std::map<std::string, std::string>& package,
                                  const std::string& software, const std::string& platform,
                                  const std::vector<std::string>& systemFolders,
                                  const std::string& windows = "C:\\WINDOWS") {
  const std::string entry = "HKLM\\" + software +
                            "\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane "
                            "Semiconductor Technology Ltd";
  const std::string product =
      "HKLM\\" + software + "\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller";
  const std::string folder = "C:\\Program Files\\KORVANE";
  const std::string uninstaller = package.at(platform + "\\Wendmarrow.exe");
  std::vector<std::string> changes = {
      "+ key " + entry,
      "+ value " + entry + " : DisplayName = " + Sz("Korvane PCI-Express Multi-IO Controller"),
      "+ value " + entry +
          " : UninstallString = " + Sz(windows + "\\System32\\KORVANE_Wendmarrow.exe"),
      "+ key " + product,
      "+ key " + product + "\\KORVANE",
      "+ value " + product + "\\KORVANE : VID_PID_NAME1 = " + Sz("VEN_6A3C&DEV_5E17"),
      "+ value " + product + "\\KORVANE : VID_PID_NAME2 = " + Sz("VEN_6A3C&DEV_5E18"),
      "+ dir " + folder,
      "+ dir " + folder + "\\" + platform,
      File(folder + "\\Sabrelune.inf", package.at("Sabrelune.inf")),
      File(folder + "\\Dovrik.inf", package.at("Dovrik.inf")),
      File(folder + "\\" + platform + "\\KORVANE_Wendmarrow.exe", uninstaller),
      File(windows + "\\inf\\oem1.inf", package.at("Sabrelune.inf")),
      File(windows + "\\inf\\oem1.pnf", sim::AnsiToUtf16Le(package.at("Sabrelune.inf"))),
      File(windows + "\\inf\\oem2.inf", package.at("Dovrik.inf")),
      File(windows + "\\inf\\oem2.pnf", sim::AnsiToUtf16Le(package.at("Dovrik.inf"))),
  };
  for (const auto& system : systemFolders)
    changes.push_back(File(windows + "\\" + system + "\\KORVANE_Wendmarrow.exe", uninstaller));
  for (const char* f :
       {"Orrick.sys", "Tamble.sys", "Quellmast.sys", "Sabrelune.dll", "Pellacorte.dll"}) {
    changes.push_back(File(folder + "\\" + platform + "\\" + f, package.at(platform + "\\" + f)));
  }
  return Sorted(changes);
}

TEST(SamplePackage, HoldsTheLayoutTheInstallerExpects) {
  const auto package = SamplePackage();
  EXPECT_EQ(package.size(), 2u + 3u * 6u);
  for (const char* platform : {"X86", "AMD64", "IA64"}) {
    for (const char* f : {"Wendmarrow.exe", "Orrick.sys", "Tamble.sys", "Quellmast.sys",
                          "Sabrelune.dll", "Pellacorte.dll"}) {
      const std::string name = std::string(platform) + "\\" + f;
      ASSERT_TRUE(package.count(name)) << name;
      // Placeholders say so in their text.
      EXPECT_EQ(package.at(name).rfind("PLACEHOLDER: ", 0), 0u) << name;
    }
  }
}

TEST(SamplePackage, FourStepsOnAFreshXpLeaveExactlyTheRecordsFolderAndStagedInfs) {
  const auto package = SamplePackage();
  auto machine = Edition("xp");
  const FullRun r = RunSteps(*machine, package);
  EXPECT_TRUE(r.read && r.entry && r.record && r.created && r.copied && r.staged);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(r.changes, Expected(package, "SOFTWARE", "X86", {"system32"}));
  auto customer = machine->registry.FindFull(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io "
      "Controller\\KORVANE");
  ASSERT_TRUE(customer);
  EXPECT_EQ(customer->values.Find("VID_PID_NAME1")->data.size(), 21u);
  EXPECT_EQ(customer->values.Find("VID_PID_NAME2")->data.size(), 21u);
}

// The same run against a twin machine to which the expected records and files are
// added by hand: identity, registry with its access lists, and files with attributes
// and time stamps must all match.
TEST(SamplePackage, FourStepsOnAFreshXpMatchTheTwinMachine) {
  const auto package = SamplePackage();
  auto machine = Edition("xp");
  const FullRun r = RunSteps(*machine, package);
  ASSERT_TRUE(r.staged);

  auto twin = Edition("xp");
  for (const auto& [name, text] : package) twin->files.WriteFile("C:\\Setup\\" + name, text);
  twin->files.WriteFile("C:\\Setup\\Kestrolin.exe", "installer");
  const std::string uninstaller = package.at("X86\\Wendmarrow.exe");
  twin->files.WriteFile("C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe", uninstaller);
  const std::string folder = "C:\\Program Files\\KORVANE";
  twin->files.WriteFile(folder + "\\Sabrelune.inf", package.at("Sabrelune.inf"));
  twin->files.WriteFile(folder + "\\Dovrik.inf", package.at("Dovrik.inf"));
  twin->files.WriteFile(folder + "\\X86\\KORVANE_Wendmarrow.exe", uninstaller);
  for (const char* f :
       {"Orrick.sys", "Tamble.sys", "Quellmast.sys", "Sabrelune.dll", "Pellacorte.dll"}) {
    twin->files.WriteFile(folder + "\\X86\\" + f, package.at(std::string("X86\\") + f));
  }
  int n = 1;
  for (const char* inf : {"Sabrelune.inf", "Dovrik.inf"}) {
    const std::string staged = "C:\\WINDOWS\\inf\\oem" + std::to_string(n++);
    twin->files.WriteFile(staged + ".inf", package.at(inf));
    twin->files.WriteFile(staged + ".pnf", sim::AnsiToUtf16Le(package.at(inf)));
  }
  const std::string cv = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  const std::string entry = cv + "\\Uninstall\\Korvane Semiconductor Technology Ltd";
  const std::string zeros(4, '\0');
  twin->registry.SetValue(entry, "DisplayName", REG_SZ,
                          "Korvane PCI-Express Multi-IO Controller" + zeros);
  twin->registry.SetValue(entry, "UninstallString", REG_SZ,
                          "C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe" + zeros);
  const std::string customer = cv + "\\PCIe Multi-Io Controller\\KORVANE";
  twin->registry.SetValue(customer, "VID_PID_NAME1", REG_SZ, "VEN_6A3C&DEV_5E17" + zeros);
  twin->registry.SetValue(customer, "VID_PID_NAME2", REG_SZ, "VEN_6A3C&DEV_5E18" + zeros);

  std::string difference;
  EXPECT_TRUE(machine->SameAs(*twin, &difference)) << difference;
}

TEST(SamplePackage, FourStepsOnAFreshXpX64) {
  const auto package = SamplePackage();
  auto machine = Edition("xp-x64");
  const FullRun r = RunSteps(*machine, package);
  EXPECT_TRUE(r.read && r.entry && r.record && r.created && r.copied && r.staged);
  EXPECT_TRUE(r.messages.empty());
  // The 32-bit program's records lie in the registry's 32-bit view; its uninstaller
  // copy lies in both system folders.
  EXPECT_EQ(r.changes,
            Expected(package, "SOFTWARE\\Wow6432Node", "AMD64", {"system32", "SysWOW64"}));
}

TEST(SamplePackage, FourStepsOnFresh2000AndVista) {
  const auto package = SamplePackage();
  for (const char* edition : {"2000", "vista"}) {
    SCOPED_TRACE(edition);
    auto machine = Edition(edition);
    const FullRun r = RunSteps(*machine, package);
    EXPECT_TRUE(r.read && r.entry && r.record && r.created && r.copied && r.staged);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(r.changes,
              Expected(package, "SOFTWARE", "X86", {"system32"}, machine->os.windowsFolder));
  }
}

TEST(SamplePackage, OnNt61OnlyTheProgramFolderStepFails) {
  const auto package = SamplePackage();
  auto machine = Edition("7-x64");
  const FullRun r = RunSteps(*machine, package);
  EXPECT_TRUE(r.read && r.entry && r.record);
  EXPECT_FALSE(r.created || r.copied || r.staged);
  EXPECT_TRUE(r.changes.empty()) << ::testing::PrintToString(r.changes);
}

}  // namespace
