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

// Windows will not delete the image of the running uninstaller: its deletion is left to
// the next start, and any other copy goes at once. Under WOW64 each copy is named by its
// own folder, since the restart's deletions are carried out without redirection.
TEST(RunningUninstallerCopy, ItsDeletionIsLeftToTheNextStart) {
  struct Case {
    const char* edition;
    const char* runningFrom;
    std::vector<std::string> stays;
  };
  const char kSystem32[] = "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe";
  const char kSysWow64[] = "C:\\WINDOWS\\SysWOW64\\KORVANE_Wendmarrow.exe";
  const Case cases[] = {
      {"xp", kSystem32, {kSystem32}},
      {"vista", kSystem32, {kSystem32}},
      {"xp-x64", kSystem32, {kSystem32}},  // started by the 64-bit shell
      {"xp-x64", kSysWow64, {kSysWow64}},  // started by a 32-bit program
  };
  for (const Case& c : cases) {
    auto machine = engine_test::Edition(c.edition);
    const bool wow64 = machine->os.Is64Bit();
    machine->files.WriteFile(kSystem32, "uninstaller", 0x21);
    if (wow64) machine->files.WriteFile(kSysWow64, "uninstaller", 0x21);
    {
      sim::ProcessOptions options;
      options.modulePath = c.runningFrom;
      sim::ProcessScope scope(*machine, options);
      UninstallContext context = engine_test::ContextForRunningWindows();
      context.customerName = "KORVANE";
      context.DeleteUninstallerCopy();
    }
    std::string expected;
    for (const std::string& path : c.stays) expected += "\\??\\" + path + std::string(2, '\0');
    EXPECT_EQ(expected + '\0', engine_test::PendingDeletions(*machine)) << c.edition;
    for (const char* path : {kSystem32, kSysWow64}) {
      const bool stays = std::find(c.stays.begin(), c.stays.end(), path) != c.stays.end();
      EXPECT_EQ(stays, machine->files.Find(path) != nullptr) << c.edition << " " << path;
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
