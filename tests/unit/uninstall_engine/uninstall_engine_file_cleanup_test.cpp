// The file passes: staged INF and PNF files that name the card, the program folder and
// the uninstaller's copy in the system folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::HandleCheck;
using engine_test::MachineTest;
using engine_test::ProgressRecorder;

const char kCard[] = "VEN_6A3C&DEV_5E17";
const char kInf[] = "C:\\WINDOWS\\inf\\";

std::string Utf16(const std::string& text) {
  std::string out = "\xff\xfe";
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

class FileCleanup : public MachineTest {
 protected:
  explicit FileCleanup(const char* edition = "xp") : MachineTest(edition) {}

  template <typename Body>
  void Run(Body body, BOOL nt5 = TRUE, BOOL nt60 = FALSE, const char* customer = "KORVANE") {
    sim::ProcessOptions options;
    options.modulePath = "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe";
    sim::ProcessScope scope(*machine_, options);
    HandleCheck handles(scope.process());
    UninstallContext context;
    context.customerName = customer;
    context.isNt5x = nt5;
    context.isNt60 = nt60;
    body(context);
    messages_ = scope.process().messageBoxes.size();
  }
  bool Has(const std::string& path) const { return machine_->files.Find(path) != nullptr; }
  std::string PendingDeletions() const { return engine_test::PendingDeletions(*machine_); }
  size_t messages_ = 0;
};

TEST_F(FileCleanup, StagedFilesThatNameTheCardAreDeleted) {
  struct File {
    std::string name;
    std::string content;
    uint32_t attributes;
    bool deleted;
  };
  const std::vector<File> files = {
      {"oem3.inf", "[Strings]\r\nID=\"PCI\\ven_6a3c&dev_5e17\"\r\n", 0x20, true},
      {"oem3.pnf", Utf16("PCI\\VEN_6A3C&DEV_5E17&SUBSYS_1"), 0x20, true},
      {"oem4.inf", Utf16("; 16-bit INF\r\nPCI\\VEN_6A3C&DEV_5E17"), 0x01 | 0x02 | 0x04, true},
      {"oem5.inf", "PCI\\VEN_6A3C&DEV_5E18", 0x20, false},  // another card
      {"oem6.inf", "VEN_6A3C&DEV_5E17", 0x80, false},       // FILE_ATTRIBUTE_NORMAL only
      {"machine.inf", "[Version]\r\nClass=System\r\n", 0x20, false},
      {"oem7.txt", "VEN_6A3C&DEV_5E17", 0x20, false},      // neither .inf nor .pnf
      {"sub\\oem8.inf", "VEN_6A3C&DEV_5E17", 0x20, true},  // sub-folders are searched
      {"oem9.inf.bak", "VEN_6A3C&DEV_5E17", 0x20, true},   // the masks end in a wildcard
  };
  for (const File& f : files) machine_->files.WriteFile(kInf + f.name, f.content, f.attributes);
  ProgressRecorder progress;
  Run([&](UninstallContext& c) {
    c.progress = &progress;
    c.DeleteStagedInfFiles({kCard});
  });
  for (const File& f : files) EXPECT_EQ(f.deleted, !Has(kInf + f.name)) << f.name;
  EXPECT_EQ((std::vector<std::string>{"busy"}), progress.events);
}

TEST_F(FileCleanup, EveryIdOfTheListIsSearchedForAndAnEmptyListSearchesNothing) {
  machine_->files.WriteFile(std::string(kInf) + "oem1.inf", "VEN_6A3C&DEV_5E17");
  machine_->files.WriteFile(std::string(kInf) + "oem2.pnf", Utf16("VEN_6A3C&DEV_5E18"));
  Run([&](UninstallContext& c) { c.DeleteStagedInfFiles({}); });
  EXPECT_EQ(0, machine_->faults.CallCounts()["FindFirstFileA"]);
  EXPECT_TRUE(Has(std::string(kInf) + "oem1.inf"));
  Run([&](UninstallContext& c) { c.DeleteStagedInfFiles({kCard, "VEN_6A3C&DEV_5E18"}); });
  EXPECT_FALSE(Has(std::string(kInf) + "oem1.inf"));
  EXPECT_FALSE(Has(std::string(kInf) + "oem2.pnf"));
}

TEST_F(FileCleanup, AFileHeldOpenElsewhereStaysAndTheSearchGoesOn) {
  machine_->files.WriteFile(std::string(kInf) + "oem1.inf", "VEN_6A3C&DEV_5E17");
  machine_->files.WriteFile(std::string(kInf) + "oem2.inf", "VEN_6A3C&DEV_5E17");
  sim::FaultRule busy;
  busy.call = "DeleteFileA";
  busy.error = ERROR_SHARING_VIOLATION;
  busy.subject = "oem1.inf";
  machine_->faults.Add(busy);
  Run([&](UninstallContext& c) { c.DeleteStagedInfFiles({kCard}); });
  EXPECT_TRUE(Has(std::string(kInf) + "oem1.inf"));
  EXPECT_FALSE(Has(std::string(kInf) + "oem2.inf"));
  EXPECT_EQ(0u, messages_);
}

TEST_F(FileCleanup, TheProgramFolderGoesWithEverythingInIt) {
  machine_->files.WriteFile("C:\\Program Files\\KORVANE\\X86\\Orrick.sys", "x", 0x21);
  machine_->files.WriteFile("C:\\Program Files\\KORVANE\\Sabrelune.inf", "x", 0x20);
  machine_->files.WriteFile("C:\\Program Files\\KORVANEX\\Sabrelune.inf", "x", 0x20);
  Run([&](UninstallContext& c) { c.RemoveProgramFolder(); });
  EXPECT_FALSE(Has("C:\\Program Files\\KORVANE"));
  EXPECT_TRUE(Has("C:\\Program Files\\KORVANEX\\Sabrelune.inf"));
  EXPECT_EQ(0u, messages_);
}

// A customer word such as "Common Files" names a folder of other software: it stays
// whole, silently, and the run goes on.
TEST_F(FileCleanup, AProgramFolderHoldingAnythingElseStaysWhole) {
  machine_->files.WriteFile("C:\\Program Files\\KORVANE\\Sabrelune.inf", "x", 0x20);
  machine_->files.WriteFile("C:\\Program Files\\KORVANE\\System\\msado15.dll", "x", 0x20);
  Run([&](UninstallContext& c) { c.RemoveProgramFolder(); });
  EXPECT_TRUE(Has("C:\\Program Files\\KORVANE\\Sabrelune.inf"));
  EXPECT_TRUE(Has("C:\\Program Files\\KORVANE\\System\\msado15.dll"));
  EXPECT_EQ(0u, messages_);
}

TEST_F(FileCleanup, TheProgramFolderStaysOnAnUnsupportedWindows) {
  machine_->files.WriteFile("C:\\Program Files\\KORVANE\\Sabrelune.inf", "x", 0x20);
  Run([&](UninstallContext& c) { c.RemoveProgramFolder(); }, FALSE, FALSE);
  EXPECT_TRUE(Has("C:\\Program Files\\KORVANE\\Sabrelune.inf"));
}

TEST_F(FileCleanup, TheUninstallerCopyGoesOnEverySupportedWindows) {
  struct Case {
    BOOL nt5, nt60;
    bool deleted;
  };
  for (const Case& c :
       {Case{TRUE, FALSE, true}, Case{FALSE, TRUE, true}, Case{FALSE, FALSE, false}}) {
    machine_->files.WriteFile("C:\\WINDOWS\\system32\\ACME_Wendmarrow.exe", "x", 0x21);
    Run([&](UninstallContext& context) { context.DeleteUninstallerCopy(); }, c.nt5, c.nt60, "ACME");
    EXPECT_EQ(c.deleted, !Has("C:\\WINDOWS\\system32\\ACME_Wendmarrow.exe")) << c.nt5 << c.nt60;
    EXPECT_EQ("", PendingDeletions());
  }
}

// Windows will not delete the image of the running uninstaller, but lets it be renamed:
// it is moved aside to a name of its own, and that name's deletion is left to the next
// start, so that a copy installed before then stays. Where the rename is refused, the
// copy's own name is left to the next start. Any other copy goes at once. Under WOW64
// each copy is named by its own folder, since the restart's deletions are carried out
// without redirection.
TEST(RunningUninstallerCopy, IsMovedAsideAndItsNewNameLeftToTheNextStart) {
  const std::string kSystem32 = "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe";
  const std::string kSysWow64 = "C:\\WINDOWS\\SysWOW64\\KORVANE_Wendmarrow.exe";
  const std::string kAside = ".delete-at-restart-";
  struct Case {
    const char* edition;
    std::string runningFrom;
    bool earlierAside;  // an uninstall before this one, since the last start, moved its copy aside
    bool renameRefused;
    std::string leftToTheRestart;
  };
  const Case cases[] = {
      {"xp", kSystem32, false, false, kSystem32 + kAside + "1"},
      {"vista", kSystem32, false, false, kSystem32 + kAside + "1"},
      {"xp-x64", kSystem32, false, false, kSystem32 + kAside + "1"},  // the 64-bit shell's
      {"xp-x64", kSysWow64, false, false, kSysWow64 + kAside + "1"},  // a 32-bit program's
      {"xp", kSystem32, true, false, kSystem32 + kAside + "2"},
      {"xp", kSystem32, false, true, kSystem32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.edition) + " " + c.runningFrom + (c.earlierAside ? " again" : "") +
                 (c.renameRefused ? " refused" : ""));
    auto machine = engine_test::Edition(c.edition);
    const bool wow64 = machine->os.Is64Bit();
    machine->files.WriteFile(kSystem32, "uninstaller", 0x21);
    if (wow64) machine->files.WriteFile(kSysWow64, "uninstaller", 0x21);
    if (c.earlierAside) machine->files.WriteFile(c.runningFrom + kAside + "1", "earlier", 0x21);
    if (c.renameRefused) {
      sim::FaultRule refused;
      refused.call = "MoveFileA";
      refused.error = ERROR_ACCESS_DENIED;
      machine->faults.Add(refused);
    }
    {
      sim::ProcessOptions options;
      options.modulePath = c.runningFrom;
      sim::ProcessScope scope(*machine, options);
      UninstallContext context = engine_test::ContextForRunningWindows();
      context.customerName = "KORVANE";
      context.DeleteUninstallerCopy();
    }
    EXPECT_EQ("\\??\\" + c.leftToTheRestart + std::string(3, '\0'),
              engine_test::PendingDeletions(*machine));
    EXPECT_TRUE(machine->files.Find(c.leftToTheRestart));
    for (const std::string& path : {kSystem32, kSysWow64}) {
      EXPECT_EQ(path == c.leftToTheRestart, machine->files.Find(path) != nullptr) << path;
    }
  }
}

class FileCleanupOnXpX64 : public FileCleanup {
 protected:
  FileCleanupOnXpX64() : FileCleanup("xp-x64") {}
};

// Redirection is back on after the pass: the thread's next System32 is SysWOW64 again.
TEST_F(FileCleanupOnXpX64, RedirectionIsRestoredAfterThePasses) {
  machine_->files.WriteFile("C:\\WINDOWS\\SysWOW64\\probe.txt", "x", 0x20);
  bool seenThroughSystem32 = false;
  Run([&](UninstallContext& c) {
    c.DeleteUninstallerCopy();
    c.DeleteDriverFiles();
    seenThroughSystem32 =
        GetFileAttributesA("C:\\WINDOWS\\system32\\probe.txt") != INVALID_FILE_ATTRIBUTES;
  });
  EXPECT_TRUE(seenThroughSystem32);
}

}  // namespace
