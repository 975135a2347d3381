// A program run on a machine folder, killed while the machine is saved. The installer
// runs on machine A loaded from the folder, which makes it machine B; a child process
// holding B saves it over the folder and is killed with SIGKILL at one write point of
// the save (a folder made, a file written, a flush, a rename, a removal); nothing of it
// runs after that point. The parent then loads the folder and finds exactly A or
// exactly B, byte for byte on disk and key for key and file for file once loaded, with
// nothing left beside it. Every write point in turn, until the save completes; with the
// one-rename swap, and with the two-rename fallback from where the two differ.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/process.h"
#include "tests/unit/support/host_temp_dir.h"
#include "tests/unit/installer/installer_scenario.h"
#include "tests/unit/robustness/robustness_card_machine.h"

namespace {

namespace fs = std::filesystem;

// Every regular file below `root`: relative path -> bytes; folders as "<dir>".
std::map<std::string, std::string> Contents(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(e.path(), root).string();
    if (e.is_directory()) {
      out[relative] = "<dir>";
      continue;
    }
    out[relative] = host_files::ReadFile(e.path());
  }
  return out;
}

// Machine A: a fresh XP with the driver package on D:, its x86 part only (each file is
// a few more write points, and the others are not read on XP).
std::unique_ptr<sim::Machine> MachineA() {
  auto machine = installer_test::Edition("xp");
  installer_test::Package package;
  package.folder = "D:\\Pkg";
  package.platforms = {"X86"};
  package.WriteTo(*machine);
  return machine;
}

sim::ProcessOptions InstallerProcess() {
  installer_test::Package package;
  package.folder = "D:\\Pkg";
  return package.Options();
}

// What the program does between loading and saving: the whole install, A -> B.
bool InstallOn(sim::Machine& machine) {
  sim::ProcessScope scope(machine, InstallerProcess());
  InstallContext context;
  return robustness::InstallAsTheInstaller(&context) == kInstallCompleted;
}

// Saves `machine` over the folder in a child process; the child's wait status.
int SaveInChild(const sim::Machine& machine, const std::string& folder,
                const sim::SaveTestHooks& hooks) {
  const pid_t child = ::fork();
  if (child == 0) {
    sim::SetSaveTestHooks(hooks);
    std::string error;
    ::_exit(sim::SaveMachine(machine, folder, &error) ? 0 : 1);
  }
  int status = -1;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return status;
}

// Kills the save at each write point from `firstPoint` on, and once lets it complete;
// the first write point after which the folder holds the new machine.
int KillAtEveryWritePoint(bool withoutExchange, int firstPoint) {
  host_files::TempDir tmp("killed-save");
  const std::string oldFolder = tmp.path() + "/old";
  const std::string newFolder = tmp.path() + "/new";
  const std::string folder = tmp.path() + "/machine";
  std::string error;

  // The two complete machines, saved whole, to compare against.
  auto a = MachineA();
  EXPECT_TRUE(sim::SaveMachine(*a, oldFolder, &error)) << error;
  auto oldMachine = sim::LoadMachine(oldFolder, &error);
  auto newMachine = sim::LoadMachine(oldFolder, &error);
  if (!oldMachine || !newMachine || !InstallOn(*newMachine)) {
    ADD_FAILURE() << "machine A: " << error;
    return 0;
  }
  EXPECT_TRUE(sim::SaveMachine(*newMachine, newFolder, &error)) << error;
  const auto oldBytes = Contents(oldFolder);
  const auto newBytes = Contents(newFolder);
  EXPECT_NE(oldBytes, newBytes);

  // The program's run on the folder, up to its save, and that save's write points.
  fs::copy(oldFolder, folder, fs::copy_options::recursive);
  sim::SetSaveTestHooks({0, withoutExchange, false});
  auto program = sim::LoadMachine(folder, &error);
  if (!program || !InstallOn(*program) || !sim::SaveMachine(*program, folder, &error)) {
    ADD_FAILURE() << "the program's run: " << error;
    return 0;
  }
  const int writePoints = sim::StepsOfLastSave();
  sim::SetSaveTestHooks({});
  EXPECT_GT(writePoints, static_cast<int>(newBytes.size()));
  ::testing::Test::RecordProperty("writePoints", writePoints);

  int firstNew = 0;
  for (int point = firstPoint; point <= writePoints + 1; ++point) {
    SCOPED_TRACE("killed at write point " + std::to_string(point) + " of " +
                 std::to_string(writePoints));
    fs::remove_all(folder);
    fs::copy(oldFolder, folder, fs::copy_options::recursive);
    const int status = SaveInChild(*program, folder, {point, withoutExchange, true});
    if (point <= writePoints) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    auto loaded = sim::LoadMachine(folder, &error);
    if (!loaded) {
      ADD_FAILURE() << error;
      return 0;
    }
    // The load finished or undid the killed save: nothing of it is left beside.
    EXPECT_EQ(host_files::Entries(tmp.path()), (std::vector<std::string>{"machine", "new", "old"}));
    const auto bytes = Contents(folder);
    const bool isOld = bytes == oldBytes;
    const bool isNew = bytes == newBytes;
    EXPECT_TRUE(isOld || isNew) << "the folder on disk is neither machine";
    // Once the new machine is in place, a later kill cannot bring the old one back.
    if (firstNew) {
      EXPECT_TRUE(isNew) << "the old machine came back";
    }
    std::string vsOld, vsNew;
    EXPECT_TRUE(isOld ? loaded->SameAs(*oldMachine, &vsOld) : loaded->SameAs(*newMachine, &vsNew))
        << vsOld << vsNew;
    if (isNew && !firstNew) firstNew = point;
    if (::testing::Test::HasFailure()) break;
  }
  return firstNew;
}

// The save writes the new folder the same way whether it then swaps it in with one
// rename or falls back to two: the fallback's write points are visited from the last
// one before the swap on.
TEST(KilledSave, LeavesTheOldMachineOrTheNewOneNeverAMix) {
  const int swap = KillAtEveryWritePoint(false, 1);
  ASSERT_GT(swap, 1) << "the old machine never survived a kill";
  EXPECT_GT(KillAtEveryWritePoint(true, swap - 1), swap - 1) << "the fallback swapped too early";
}

}  // namespace
