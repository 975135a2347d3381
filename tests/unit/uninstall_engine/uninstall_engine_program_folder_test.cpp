// Whose a program folder is: only one that holds nothing but what the installer puts
// there is deleted, by the installer before it copies and by the uninstaller.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/program_folder.h"

namespace {

const char kFolder[] = "C:\\Program Files\\KORVANE";

TEST(ProgramFolderContents, OnlyWhatTheInstallerPutsThereMakesAFolderItsOwn) {
  const std::vector<std::string> own = {"Sabrelune.inf",       "DOVRIK.INF",
                                        "X86\\Orrick.sys",     "X86\\tamble.SYS",
                                        "X86\\Quellmast.sys",  "X86\\Sabrelune.dll",
                                        "X86\\Pellacorte.dll", "X86\\KORVANE_Wendmarrow.exe",
                                        "AMD64\\Orrick.sys",   "IA64\\korvane_wendmarrow.exe"};
  struct Case {
    const char* what;
    std::vector<std::string> files;  // below the folder; "dir\" alone makes a folder
    ProgramFolderState state;
  };
  const std::vector<Case> cases = {
      {"nothing there", {}, ProgramFolderState::kAbsent},
      {"an empty folder", {""}, ProgramFolderState::kOwn},
      {"an earlier installation", own, ProgramFolderState::kOwn},
      {"an empty platform folder", {"AMD64\\"}, ProgramFolderState::kOwn},
      {"a file of its own beside", {"Sabrelune.inf", "readme.txt"}, ProgramFolderState::kForeign},
      {"a file in a platform folder", {"X86\\setup.log"}, ProgramFolderState::kForeign},
      {"a folder in a platform folder", {"X86\\deep\\"}, ProgramFolderState::kForeign},
      {"a folder under a driver's name", {"X86\\Orrick.sys\\"}, ProgramFolderState::kForeign},
      {"another folder", {"System\\"}, ProgramFolderState::kForeign},
      {"another customer's uninstaller",
       {"X86\\ACME_Wendmarrow.exe"},
       ProgramFolderState::kForeign},
      {"a driver file outside a platform folder", {"Orrick.sys"}, ProgramFolderState::kForeign},
      {"a folder under an INF's name", {"Dovrik.inf\\"}, ProgramFolderState::kForeign},
  };
  for (const Case& c : cases) {
    auto machine = engine_test::Edition("xp");
    for (const std::string& file : c.files) {
      const std::string path = std::string(kFolder) + "\\" + file;
      if (path.back() == '\\') {
        machine->files.MakeDirectories(path.substr(0, path.size() - 1));
      } else {
        machine->files.WriteFile(path, "x");
      }
    }
    sim::ProcessScope scope(*machine);
    EXPECT_EQ(c.state, InspectProgramFolder(kFolder, "KORVANE")) << c.what;
  }
}

TEST(ProgramFolderContents, AFileUnderTheFoldersNameIsNotAFolderOfOurs) {
  auto machine = engine_test::Edition("xp");
  machine->files.WriteFile(kFolder, "a file");
  sim::ProcessScope scope(*machine);
  EXPECT_EQ(ProgramFolderState::kForeign, InspectProgramFolder(kFolder, "KORVANE"));
  DeleteOwnProgramFolder(kFolder, "KORVANE");
  EXPECT_TRUE(machine->files.Find(kFolder));
}

// A folder that cannot be listed whole cannot be shown to be ours.
TEST(ProgramFolderContents, AFolderThatCannotBeListedIsNotDeleted) {
  auto machine = engine_test::Edition("xp");
  machine->files.WriteFile(std::string(kFolder) + "\\Sabrelune.inf", "x");
  sim::FaultRule unlistable;
  unlistable.call = "FindNextFileA";
  unlistable.error = ERROR_ACCESS_DENIED;
  machine->faults.Add(unlistable);
  sim::ProcessScope scope(*machine);
  EXPECT_EQ(ProgramFolderState::kForeign, InspectProgramFolder(kFolder, "KORVANE"));
  DeleteOwnProgramFolder(kFolder, "KORVANE");
  EXPECT_TRUE(machine->files.Find(std::string(kFolder) + "\\Sabrelune.inf"));
}

// A junction leads the names below it elsewhere: one at any level makes the folder foreign,
// so that no deletion reaches through it.
TEST(ProgramFolderContents, AJunctionAtAnyLevelMakesTheFolderForeign) {
  struct Case {
    std::string junction;              // below the program folder ("" for the folder itself)
    std::vector<std::string> leadsTo;  // what the folder it leads to holds, each what the
                                       // installer would put there
  };
  const Case cases[] = {
      {"", {"Sabrelune.inf", "X86\\Orrick.sys"}},
      {"\\X86", {"Orrick.sys", "Tamble.sys"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(kFolder + c.junction);
    auto machine = engine_test::Edition("xp");
    for (const std::string& file : c.leadsTo)
      machine->files.WriteFile("C:\\Data\\" + file, "someone's");
    machine->files.WriteFile(std::string(kFolder) + "\\Dovrik.inf", "x");
    machine->files.MakeJunction(kFolder + c.junction, "C:\\Data");
    sim::ProcessScope scope(*machine);
    EXPECT_EQ(ProgramFolderState::kForeign, InspectProgramFolder(kFolder, "KORVANE"));
    DeleteOwnProgramFolder(kFolder, "KORVANE");
    for (const std::string& file : c.leadsTo)
      EXPECT_TRUE(machine->files.Find("C:\\Data\\" + file)) << file;
  }
}

// The folder is looked at, then emptied: what comes into it in between is no part of the
// installation and stays, with the folders that hold it.
TEST(ProgramFolderContents, WhatComesInAfterTheInspectionStays) {
  auto machine = engine_test::Edition("xp");
  const std::string folder = kFolder;
  for (const char* file :
       {"\\Sabrelune.inf", "\\Dovrik.inf", "\\X86\\Orrick.sys", "\\X86\\KORVANE_Wendmarrow.exe"})
    machine->files.WriteFile(folder + file, "x");
  sim::FaultRule meanwhile;  // as the first file goes, another program writes two
  meanwhile.call = "DeleteFileA";
  meanwhile.nth = 1;
  meanwhile.action = [&] {
    machine->files.WriteFile(folder + "\\X86\\setup.log", "someone's");
    machine->files.WriteFile(folder + "\\readme.txt", "someone's");
  };
  machine->faults.Add(meanwhile);
  sim::ProcessScope scope(*machine);
  DeleteOwnProgramFolder(kFolder, "KORVANE");
  EXPECT_TRUE(machine->files.Find(folder + "\\X86\\setup.log"));
  EXPECT_TRUE(machine->files.Find(folder + "\\readme.txt"));
  for (const char* file :
       {"\\Sabrelune.inf", "\\Dovrik.inf", "\\X86\\Orrick.sys", "\\X86\\KORVANE_Wendmarrow.exe"})
    EXPECT_FALSE(machine->files.Find(folder + file)) << file;
}

}  // namespace
