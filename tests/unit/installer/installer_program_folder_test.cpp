// The program folder and the package copy: CreateProgramFolder, RemoveProgramFolder,
// CopyPackage and CopyPackageFile.
#include <gtest/gtest.h>

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

struct FolderRun {
  std::unique_ptr<sim::Machine> machine;
  std::vector<std::string> changes;
  bool created = false, copied = false;
};

FolderRun FolderSteps(const char* edition, const Package& package,
                      const std::function<void(sim::Machine&)>& prepare = nullptr) {
  FolderRun r;
  r.machine = Edition(edition);
  package.WriteTo(*r.machine);
  if (prepare) prepare(*r.machine);
  const auto before = Take(*r.machine);
  {
    sim::ProcessScope scope(*r.machine, package.Options());
    InstallContext context;
    installer_test::Detect(&context);
    EXPECT_TRUE(context.ReadCustomisation());
    r.created = context.CreateProgramFolder();
    r.copied = r.created && context.CopyPackage();
    EXPECT_TRUE(scope.process().messageBoxes.empty());
  }
  r.changes = Changes(before, Take(*r.machine));
  return r;
}

// The changes a complete copy makes for customer KORVANE from `platform`.
std::vector<std::string> FullCopy(const std::string& platform,
                                  const std::string& uninstaller = "Wendmarrow.exe",
                                  const std::string& inf = PortsInf()) {
  const std::string folder = "C:\\Program Files\\KORVANE";
  std::vector<std::string> changes = {
      "+ dir " + folder,
      "+ dir " + folder + "\\" + platform,
      "+ file " + folder + "\\Sabrelune.inf = attr 20 \"" + installer_test::Escaped(inf) + "\"",
      "+ file " + folder + "\\Dovrik.inf = attr 20 \"" +
          installer_test::Escaped(Package::DovrikInf()) + "\"",
      "+ file " + folder + "\\" + platform + "\\KORVANE_Wendmarrow.exe = attr 20 \"" + platform +
          "\\" + uninstaller + "\"",
  };
  for (const char* f :
       {"Orrick.sys", "Tamble.sys", "Quellmast.sys", "Sabrelune.dll", "Pellacorte.dll"}) {
    changes.push_back("+ file " + folder + "\\" + platform + "\\" + f + " = attr 20 \"" + platform +
                      "\\" + f + "\"");
  }
  return Sorted(changes);
}

std::vector<std::string> Without(std::vector<std::string> all,
                                 const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const auto& change : all) {
    bool drop = false;
    for (const auto& n : names) drop = drop || change.find(n) != std::string::npos;
    if (!drop) out.push_back(change);
  }
  return out;
}

TEST(ProgramFolder, FreshCopyForEachSupportedEdition) {
  struct Case {
    const char* edition;
    const char* platform;
  };
  for (const Case& c : {Case{"2000", "X86"}, Case{"xp", "X86"}, Case{"vista", "X86"},
                        Case{"xp-x64", "AMD64"}, Case{"2003-ia64", "IA64"}}) {
    SCOPED_TRACE(c.edition);
    const FolderRun r = FolderSteps(c.edition, Package());
    EXPECT_TRUE(r.created);
    EXPECT_TRUE(r.copied);
    EXPECT_EQ(r.changes, FullCopy(c.platform));
  }
}

TEST(ProgramFolder, AnEarlierInstallationsFolderIsEmptiedFirst) {
  const FolderRun r = FolderSteps("xp", Package(), [](sim::Machine& m) {
    m.files.WriteFile("C:\\Program Files\\KORVANE\\Dovrik.inf", "old");
    m.files.WriteFile("C:\\Program Files\\KORVANE\\X86\\Orrick.sys", "old driver",
                      FILE_ATTRIBUTE_READONLY);
    m.files.WriteFile("C:\\Program Files\\KORVANE\\AMD64\\Tamble.sys", "old");
  });
  EXPECT_TRUE(r.created);
  EXPECT_TRUE(r.copied);
  const std::vector<std::string> expected = Sorted({
      "- dir C:\\Program Files\\KORVANE\\AMD64",
      "- file C:\\Program Files\\KORVANE\\AMD64\\Tamble.sys",
      "~ file C:\\Program Files\\KORVANE\\Dovrik.inf = attr 20 \"" +
          installer_test::Escaped(Package::DovrikInf()) + "\"",
      "~ file C:\\Program Files\\KORVANE\\X86\\Orrick.sys = attr 20 \"X86\\Orrick.sys\"",
  });
  std::vector<std::string> expectedAll =
      Without(FullCopy("X86"), {"+ dir", "Orrick.sys", "Dovrik.inf"});
  expectedAll.insert(expectedAll.end(), expected.begin(), expected.end());
  EXPECT_EQ(Sorted(r.changes), Sorted(expectedAll));
}

// Anything the installer does not put there makes the folder another program's: it is
// not emptied, so the folder cannot be made and nothing is copied.
TEST(ProgramFolder, AFolderHoldingAnythingElseIsLeftWhole) {
  const FolderRun r = FolderSteps("xp", Package(), [](sim::Machine& m) {
    m.files.WriteFile("C:\\Program Files\\KORVANE\\Sabrelune.inf", "old");
    m.files.WriteFile("C:\\Program Files\\KORVANE\\notes.txt", "a user's file");
  });
  EXPECT_FALSE(r.created);
  EXPECT_TRUE(r.changes.empty()) << ::testing::PrintToString(r.changes);
}

TEST(ProgramFolder, WithoutProgramFilesBothCreationsFail) {
  const FolderRun r = FolderSteps("xp", Package(), [](sim::Machine& m) {
    sim::FileSystem::Detach(m.files.Find("C:\\Program Files"));
  });
  EXPECT_FALSE(r.created);
  EXPECT_TRUE(r.changes.empty()) << ::testing::PrintToString(r.changes);
}

TEST(ProgramFolder, IncompletePackagesStopAtTheFirstMissingFile) {
  struct Case {
    const char* what;
    std::function<void(Package&)> change;
    std::vector<std::string> notCopied;
  };
  const std::vector<Case> cases = {
      {"no Dovrik.inf", [](Package& p) { p.withDovrik = false; }, {"Dovrik.inf", ".sys", ".dll"}},
      {"no Pellacorte.dll", [](Package& p) { p.platformFiles.pop_back(); }, {"Pellacorte.dll"}},
      {"no uninstaller",
       [](Package& p) { p.platformFiles.erase(p.platformFiles.begin()); },
       {"Wendmarrow.exe", ".inf", ".sys", ".dll"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Package package;
    c.change(package);
    const FolderRun r = FolderSteps("xp", package);
    EXPECT_TRUE(r.created);
    EXPECT_FALSE(r.copied);
    EXPECT_EQ(r.changes, Without(FullCopy("X86"), c.notCopied));
  }
}

TEST(ProgramFolder, CustomerNamedUninstallerIsPreferred) {
  Package package;
  package.platformFiles.push_back("KORVANE_Wendmarrow.exe");
  const FolderRun r = FolderSteps("xp", package);
  EXPECT_TRUE(r.copied);
  EXPECT_EQ(r.changes, FullCopy("X86", "KORVANE_Wendmarrow.exe"));
}

TEST(ProgramFolder, ReadOnlyPackageFileArrivesWritable) {
  const FolderRun r = FolderSteps("xp", Package(), [](sim::Machine& m) {
    m.files.Find("C:\\Pkg\\X86\\Tamble.sys")->attributes =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    m.files.Find("C:\\Pkg\\Dovrik.inf")->attributes = FILE_ATTRIBUTE_READONLY;
  });
  EXPECT_TRUE(r.copied);
  EXPECT_EQ(r.changes, FullCopy("X86"));
}

TEST(ProgramFolder, UnsupportedWindowsCreatesAndCopiesNothing) {
  auto machine = Edition("7-x64");
  Package package;
  package.WriteTo(*machine);
  const auto before = Take(*machine);
  sim::ProcessScope scope(*machine, package.Options());
  InstallContext context;
  installer_test::Detect(&context);
  ASSERT_TRUE(context.ReadCustomisation());
  EXPECT_FALSE(context.CreateProgramFolder());
  EXPECT_FALSE(context.CopyPackage());
  EXPECT_TRUE(Changes(before, Take(*machine)).empty());
}

TEST(ProgramFolder, WithoutACustomerNameProgramFilesIsNotTouched) {
  auto machine = Edition("xp");
  const auto before = Take(*machine);
  sim::ProcessScope scope(*machine, Package().Options());
  InstallContext context;
  installer_test::Detect(&context);
  // The customisation was never read: the program folder would be Program Files itself.
  context.RemoveProgramFolder();
  EXPECT_FALSE(context.CreateProgramFolder());
  EXPECT_TRUE(Changes(before, Take(*machine)).empty());
}

TEST(ProgramFolder, StartedFromTheRootOfADrive) {
  Package package;
  package.folder = "D:";
  const FolderRun r = FolderSteps("xp", package, [](sim::Machine& m) {
    // A source written "D:\\X86\..." would meet this fault; "D:\X86\..." does not.
    m.faults.Add(Fault("CopyFileA", ERROR_INVALID_NAME, "D:\\\\"));
  });
  EXPECT_TRUE(r.copied);
  EXPECT_EQ(r.changes, FullCopy("X86"));
}

TEST(ProgramFolder, ProgramPathBeyondMaxPathCopiesNothing) {
  Package package;
  // 262 characters: GetModuleFileNameA hands back a name cut to its buffer, which XP
  // leaves without a terminator.
  package.folder = "C:\\" + std::string(120, 'p') + "\\" + std::string(124, 'q');
  package.currentDirectory = "C:\\Pkg";
  const FolderRun r = FolderSteps("xp", package, [&](sim::Machine& m) {
    m.files.WriteFile("C:\\Pkg\\Sabrelune.inf", PortsInf());
  });
  EXPECT_TRUE(r.created);
  EXPECT_FALSE(r.copied);
  EXPECT_EQ(r.changes,
            Sorted({"+ dir C:\\Program Files\\KORVANE", "+ dir C:\\Program Files\\KORVANE\\X86"}));
}

}  // namespace
