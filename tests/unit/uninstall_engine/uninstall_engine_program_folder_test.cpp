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

}  // namespace
