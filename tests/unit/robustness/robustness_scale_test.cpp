// Size and length limits: a registry of 100,000 keys under the keys the engine walks,
// an INF folder of 10,000 files, and paths of MAX_PATH - 1 and MAX_PATH characters for
// the program folder and the INF search. Large inputs change nothing but the time the
// run takes; a path one character too long is refused as a whole, never cut short into
// the name of something else.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"
#include "tests/unit/installer/installer_scenario.h"
#include "tests/unit/robustness/robustness_card_machine.h"
#include "tests/unit/robustness/robustness_run.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"

namespace {

using robustness::Outcome;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Numbered(const char* format, int n) {
  char text[64];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

const char kCcs[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet";

// 100,000 keys of other devices and programs where the engine's passes walk: 15,000
// device keys with one instance each under Enum\PCI and under Enum\MF, 10,000 driver
// keys in each class the engine searches, and 20,000 uninstall entries, each with the
// values the passes read.
void AddHundredThousandKeys(sim::Machine& machine) {
  sim::Registry& r = machine.registry;
  const std::string wow =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\"
      "CurrentVersion\\Uninstall\\";
  for (int n = 0; n < 15000; ++n) {
    const std::string pci = std::string(kCcs) + "\\Enum\\PCI\\" +
                            Numbered("VEN_1AF4&DEV_%04X&SUBSYS_00011AF4&REV_01", n) + "\\3&0&0";
    r.SetValue(pci, "Class", REG_SZ, sim::Registry::StringData("Ports"));
    r.SetValue(pci, "Service", REG_SZ, sim::Registry::StringData("Serial"));
    const std::string mf = std::string(kCcs) + "\\Enum\\MF\\" +
                           Numbered("PCI#VEN_1AF4&DEV_%04X#CHILD0000", n) + "\\4&0&0";
    r.SetValue(mf, "HardwareID", REG_MULTI_SZ, std::string("VIRTHW\\COM\0\0", 12));
    r.SetValue(mf, "Driver", REG_SZ,
               sim::Registry::StringData("{4D36E978-E325-11CE-BFC1-08002BE10318}\\9999"));
  }
  for (int n = 0; n < 10000; ++n) {
    r.SetValue(std::string(kCcs) + "\\Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\" +
                   Numbered("%05d", 10000 + n),
               "MatchingDeviceId", REG_SZ, sim::Registry::StringData("virthw\\com"));
    r.SetValue(std::string(kCcs) + "\\Control\\Class\\{4d36e971-e325-11ce-bfc1-08002be10318}\\" +
                   Numbered("%05d", 10000 + n),
               "MatchingDeviceId", REG_SZ, sim::Registry::StringData("pci\\ven_1af4&dev_0001"));
  }
  for (int n = 0; n < 20000; ++n) {
    r.SetValue(wow + Numbered("Program %05d", n), "UninstallString", REG_SZ,
               sim::Registry::StringData(Numbered("C:\\Program Files\\P%05d\\remove.exe", n)));
  }
}

// The uninstaller's run; `seconds` (optional) gets the time the sequence itself took.
Outcome Uninstall(sim::Machine& machine, double* seconds = nullptr) {
  return robustness::RunOn(machine, robustness::UninstallerProcess(), {}, [&](Outcome* o) {
    engine_test::ProgressRecorder progress;
    const auto start = Clock::now();
    const DWORD result = robustness::UninstallAsTheUninstaller(&progress);
    if (seconds) *seconds = SecondsSince(start);
    o->progress = progress.events;
    return static_cast<int>(result);
  });
}

// Measured on the development machine (two shared cores, load about 5): the uninstall
// sequence over the 100,000 extra keys takes 2.7 s in the Debug build and 12 s with the
// sanitizers, most of it the access-list grants reaching every key below Enum\PCI,
// Enum\MF and Uninstall. The bound only catches a walk that went quadratic.
TEST(Scale, UninstallAmongHundredThousandKeysRemovesJustTheCard) {
  auto plain = card_installed::CardMachine("xp-x64");
  const Outcome expected = Uninstall(*plain);

  auto big = card_installed::CardMachine("xp-x64");
  AddHundredThousandKeys(*big);
  double seconds = 0;
  const Outcome o = Uninstall(*big, &seconds);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.progress, expected.progress);
  EXPECT_EQ(o.changes, expected.changes);
  EXPECT_EQ(o.openHandles, 0u);
  EXPECT_LT(seconds, 60.0);
  RecordProperty("seconds", std::to_string(seconds));
}

// Enumerating a key of 100,000 subkeys by index, as every walk does: each index in
// logarithmic time, in name order, and ERROR_NO_MORE_ITEMS right after the last.
// Measured: 0.2 s in the Debug build, 1.4 s with the sanitizers.
TEST(Scale, HundredThousandSubkeysEnumerateInOrder) {
  auto machine = engine_test::Edition("xp");
  const std::string parent = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Many";
  for (int n = 0; n < 100000; ++n) machine->registry.CreateFull(parent + Numbered("\\K%06d", n));
  sim::ProcessScope scope(*machine);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many", 0, KEY_READ, &key), ERROR_SUCCESS);
  const auto start = Clock::now();
  char name[MAX_PATH];
  DWORD index = 0;
  for (; RegEnumKeyA(key, index, name, sizeof name) == ERROR_SUCCESS; ++index) {
    if (Numbered("K%06d", static_cast<int>(index)) != name) {
      ADD_FAILURE() << "index " << index << " gave " << name;
      break;
    }
  }
  const double seconds = SecondsSince(start);
  EXPECT_EQ(index, 100000u);
  EXPECT_EQ(RegEnumKeyA(key, 100000, name, sizeof name), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
  EXPECT_LT(seconds, 30.0);
  RecordProperty("seconds", std::to_string(seconds));
}

// The INF search over 10,000 other vendors' staged files deletes the card's four and
// no other. Measured: 0.5 s in the Debug build, 2.7 s with the sanitizers.
TEST(Scale, TenThousandStagedFilesLeaveOnlyTheCardsGone) {
  auto machine = card_installed::CardMachine("xp");
  const std::string other =
      "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Models]\r\nPCI\\VEN_1AF4&DEV_1000\r\n";
  for (int n = 10; n < 10010; ++n) {
    machine->files.WriteFile(Numbered("C:\\WINDOWS\\inf\\oem%d.", n) + (n % 2 ? "pnf" : "inf"),
                             other);
  }
  auto count = [&] {
    size_t files = 0;
    machine->files.Find("C:\\WINDOWS\\inf")->children.ForEach([&](const auto&, const auto&) {
      ++files;
    });
    return files;
  };
  const size_t before = count();
  sim::ProcessScope scope(*machine, robustness::UninstallerProcess());
  UninstallContext context = engine_test::ContextForRunningWindows();
  const auto start = Clock::now();
  context.DeleteStagedInfFiles({"VEN_6A3C&DEV_5E17"});
  const double seconds = SecondsSince(start);
  EXPECT_EQ(count(), before - 4);
  for (const char* gone : {"oem2.inf", "oem2.pnf", "oem3.inf", "oem3.pnf"})
    EXPECT_EQ(machine->files.Find(std::string("C:\\WINDOWS\\inf\\") + gone), nullptr) << gone;
  EXPECT_EQ(scope.process().handles.Count(), 0u);
  EXPECT_LT(seconds, 60.0);
  RecordProperty("seconds", std::to_string(seconds));
}

// ---------------------------------------------------------------------------------------
// MAX_PATH

// A path of exactly `length` characters: `prefix`, a run of 'd' folders, `name`.
std::string PathOfLength(const std::string& prefix, const std::string& name, size_t length) {
  std::string path = prefix;
  while (path.size() + 1 + name.size() < length) {
    const size_t room = length - path.size() - 1 - name.size();
    const size_t folder = std::min<size_t>(room > 1 ? room - 1 : room, 100);
    path += "\\" + std::string(folder, 'd');
    if (path.size() + 1 + name.size() > length) break;
  }
  path += "\\" + name;
  EXPECT_EQ(path.size(), length) << path;
  return path;
}

// A path's length, and whether the step acts on what stands there: only a path that
// fits Windows' limit can be named.
struct AtLength {
  size_t length;
  bool fits;
};

// Test names show the length, not the struct's bytes (its padding is not set).
void PrintTo(const AtLength& p, std::ostream* out) {
  *out << p.length << (p.fits ? " fits" : " does not fit");
}

// Either side of MAX_PATH, which a name and its terminator must fit.
const AtLength kAroundMaxPath[] = {
    {MAX_PATH - 2, true}, {MAX_PATH - 1, true}, {MAX_PATH, false}, {MAX_PATH + 1, false}};

class StagedFileAtLength : public ::testing::TestWithParam<AtLength> {};

// The card's INF below the INF folder at a path of MAX_PATH - 1 characters goes; at
// MAX_PATH no file can be opened by that name, so it stays, and so does the file its
// first MAX_PATH - 1 characters name.
TEST_P(StagedFileAtLength, IsDeletedOnlyWhenItsPathFits) {
  const AtLength& p = GetParam();
  auto machine = engine_test::Edition("xp");
  const std::string card = "[Models]\r\nPCI\\VEN_6A3C&DEV_5E17\r\n";
  const std::string path = PathOfLength("C:\\WINDOWS\\inf", "oem7.infx", p.length);
  machine->files.WriteFile(path, card);
  // What the path's first MAX_PATH - 1 characters name, if a search cut it there.
  const std::string cut = path.substr(0, MAX_PATH - 1);
  if (cut != path && cut.back() != '\\') machine->files.WriteFile(cut, "not the card's");
  sim::ProcessScope scope(*machine, robustness::UninstallerProcess());
  UninstallContext context = engine_test::ContextForRunningWindows();
  context.DeleteStagedInfFiles({"VEN_6A3C&DEV_5E17"});
  EXPECT_EQ(machine->files.Find(path) == nullptr, p.fits);
  if (cut != path && cut.back() != '\\') {
    EXPECT_NE(machine->files.Find(cut), nullptr);
  }
  EXPECT_EQ(scope.process().handles.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, StagedFileAtLength, ::testing::ValuesIn(kAroundMaxPath));

// The length is that of "C:\Program Files\<customer>".
class ProgramFolderAtLength : public ::testing::TestWithParam<AtLength> {};

// The uninstaller named after a long customer word: its program folder goes only when
// its contents can be listed, that is when the folder's path with "\*" fits MAX_PATH
// with its terminator. A folder deeper than that cannot be shown to hold only what the
// installer puts there (which could not fit in it either), so it is left whole.
TEST_P(ProgramFolderAtLength, IsRemovedOnlyWhenItsContentsCanBeListed) {
  const AtLength& p = GetParam();
  const std::string programFiles = "C:\\Program Files\\";
  const std::string customer(p.length - programFiles.size(), 'K');
  auto machine = engine_test::Edition("xp");
  const std::string folder = programFiles + customer;
  machine->files.MakeDirectories(folder);
  sim::ProcessOptions options;
  options.modulePath = "C:\\WINDOWS\\" + customer.substr(0, 200) + "_Wendmarrow.exe";
  sim::ProcessScope scope(*machine, options);
  UninstallContext context = engine_test::ContextForRunningWindows();
  context.customerName = customer;
  context.RemoveProgramFolder();
  EXPECT_EQ(machine->files.Find(folder) == nullptr, p.fits);
  EXPECT_EQ(scope.process().handles.Count(), 0u);
}

const AtLength kAroundListableFolder[] = {
    {MAX_PATH - 4, true}, {MAX_PATH - 3, true}, {MAX_PATH - 2, false}, {MAX_PATH - 1, false}};

INSTANTIATE_TEST_SUITE_P(Lengths, ProgramFolderAtLength,
                         ::testing::ValuesIn(kAroundListableFolder));

// The installer's program folder and its platform sub-folder at the limits: Windows
// makes a folder only while its path leaves room for "\" and an 8.3 name within
// MAX_PATH (247 characters). The step succeeds when the sub-folder fits that, fails
// when it does not, and in no case leaves a folder or file whose path Windows could
// not name. The length is that of "C:\Program Files\<customer>\X86".
class InstallerFolderAtLength : public ::testing::TestWithParam<AtLength> {};

void LongestPath(const sim::FsNode& node, size_t* longest) {
  *longest = std::max(*longest, node.FullPath().size());
  node.children.ForEach([&](const std::string&, const std::shared_ptr<sim::FsNode>& child) {
    LongestPath(*child, longest);
  });
}

TEST_P(InstallerFolderAtLength, CreatesOnlyWhatFits) {
  const AtLength& p = GetParam();
  const std::string programFiles = "C:\\Program Files\\";
  const std::string customer(p.length - programFiles.size() - 4, 'K');
  auto machine = installer_test::Edition("xp");
  installer_test::Package package;
  package.WriteTo(*machine);
  sim::ProcessScope scope(*machine, package.Options());
  InstallContext context;
  installer_test::Detect(&context);
  context.customerName = customer;
  context.uninstallerName = customer + "_Wendmarrow";
  EXPECT_EQ(context.CreateProgramFolder(), p.fits);
  // The copies' paths are longer still: the package cannot be copied, and says so.
  EXPECT_FALSE(context.CopyPackage());
  size_t longest = 0;
  LongestPath(*machine->files.Drive('C'), &longest);
  EXPECT_LT(longest, static_cast<size_t>(MAX_PATH));
  EXPECT_EQ(scope.process().handles.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, InstallerFolderAtLength,
                         ::testing::Values(AtLength{MAX_PATH - 14, true},
                                           AtLength{MAX_PATH - 13, true},
                                           AtLength{MAX_PATH - 12, false},
                                           AtLength{MAX_PATH - 1, false},
                                           AtLength{MAX_PATH, false}));

}  // namespace
