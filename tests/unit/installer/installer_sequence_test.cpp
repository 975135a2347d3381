// The install sequence as the installer's worker runs it: results, the reinstall
// question, the earlier installation removed with the uninstall engine, and the restart
// decision.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "resources/program_resources.h"
#include "tests/unit/installer/installer_scenario.h"

namespace {

using installer_test::Changes;
using installer_test::Edition;
using installer_test::Package;
using installer_test::Take;

const char kQuestion[] =
    "Driver for this device is already installed in this system! \n\nTo update/reinstall "
    "press OK!\nTo abort installation press cancel!";
const char kCaption[] = "PCIe Multi-Io Controller Installer";
const char kProductKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io "
    "Controller\\";

struct Outcome {
  int result = -1;
  int restartNeeded = -1;
  std::vector<sim::MessageBoxRecord> boxes;
};

class InstallSequence : public ::testing::Test {
 public:
  void Use(const char* edition) {
    machine_ = Edition(edition);
    package_.WriteTo(*machine_);
  }
  Outcome Install(std::vector<int> answers = {}) {
    sim::ProcessOptions options = package_.Options();
    options.resources = &KestrolinResources();
    sim::ProcessScope scope(*machine_, options);
    scope.process().messageBoxAnswers = answers;
    InstallContext context;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::tmpfile(), &std::fclose);
    context.descriptionOutput = sink.get();
    Outcome o;
    o.result = context.RunInstallSequence();
    o.restartNeeded = context.restartNeeded;
    o.boxes = scope.process().messageBoxes;
    return o;
  }
  std::string Software() const {
    return machine_->os.Is64Bit() ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\"
                                  : "HKEY_LOCAL_MACHINE\\SOFTWARE\\";
  }
  bool HasRecord(const std::string& customer) const {
    return machine_->registry.FindFull(Software() +
                                       "Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io "
                                       "Controller\\" +
                                       customer) != nullptr;
  }

  std::unique_ptr<sim::Machine> machine_;
  Package package_;
};

TEST_F(InstallSequence, AFreshInstallAsksNothingAndNeedsNoRestart) {
  for (const char* edition : {"xp", "2000", "2003", "vista", "xp-x64", "2003-ia64", "vista-x64"}) {
    Use(edition);
    const Outcome o = Install();
    EXPECT_EQ(kInstallCompleted, o.result) << edition;
    EXPECT_EQ(0, o.restartNeeded) << edition;
    EXPECT_TRUE(o.boxes.empty()) << edition;
    EXPECT_TRUE(HasRecord("KORVANE")) << edition;
  }
}

TEST_F(InstallSequence, AReinstallAsksAndOnOkReplacesTheEarlierInstallation) {
  struct Case {
    const char* edition;
    int restartNeeded;
    bool earlierRemoved;  // 64-bit Windows after NT 5 gets no removal pass
  };
  for (const Case& c : {Case{"xp", 0, true}, Case{"vista", 0, true}, Case{"xp-x64", 1, true},
                        Case{"2003-ia64", 1, true}, Case{"vista-x64", 1, false}}) {
    Use(c.edition);
    ASSERT_EQ(kInstallCompleted, Install().result) << c.edition;
    // A value only the earlier installation had must be gone after the reinstall.
    machine_->registry.SetValue(Software() +
                                    "Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io "
                                    "Controller\\KORVANE",
                                "Earlier", REG_SZ, "x");
    const Outcome o = Install({IDOK});
    EXPECT_EQ(kInstallCompleted, o.result) << c.edition;
    EXPECT_EQ(c.restartNeeded, o.restartNeeded) << c.edition;
    ASSERT_EQ(1u, o.boxes.size()) << c.edition;
    EXPECT_EQ(kQuestion, o.boxes[0].text);
    EXPECT_EQ(kCaption, o.boxes[0].caption);
    EXPECT_EQ(static_cast<uint32_t>(MB_OKCANCEL), o.boxes[0].flags);
    EXPECT_FALSE(o.boxes[0].hasOwner);
    const auto record = machine_->registry.FindFull(
        Software() + "Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller\\KORVANE");
    ASSERT_TRUE(record) << c.edition;
    EXPECT_EQ(c.earlierRemoved, record->values.Find("Earlier") == nullptr) << c.edition;
  }
}

TEST_F(InstallSequence, DecliningTheReinstallChangesNothing) {
  Use("xp-x64");
  ASSERT_EQ(kInstallCompleted, Install().result);
  const auto before = Take(*machine_);
  const Outcome o = Install({IDCANCEL});
  EXPECT_EQ(kInstallDeclined, o.result);
  EXPECT_EQ(0, o.restartNeeded);
  EXPECT_EQ((std::vector<std::string>{}), Changes(before, Take(*machine_)));
}

TEST_F(InstallSequence, AnInstallationForAnotherCustomerIsNotAskedAbout) {
  Use("xp");
  ASSERT_EQ(kInstallCompleted, Install().result);
  package_.portsInf = installer_test::PortsInf("ACME", "Acme Ltd", "Acme Multi-IO");
  package_.WriteTo(*machine_);
  const Outcome o = Install();
  EXPECT_EQ(kInstallCompleted, o.result);
  EXPECT_TRUE(o.boxes.empty());
  EXPECT_TRUE(HasRecord("KORVANE"));
  EXPECT_TRUE(HasRecord("ACME"));
}

TEST_F(InstallSequence, AbortedRuns) {
  const std::string kCommonFiles = "C:\\Program Files\\Common Files";
  const std::string kRecord = "PCIe Multi-Io Controller\\KORVANE";
  struct Case {
    const char* name;
    const char* edition;
    std::function<void(InstallSequence&)> prepare;
    std::vector<int> answers;
    std::vector<std::string> messages;
    bool changesNothing;
  };
  const Case cases[] = {
      // The missing INF ends the run before anything is written.
      {"no ports INF",
       "xp",
       [](InstallSequence& t) {
         sim::FileSystem::Detach(t.machine_->files.Find(t.package_.folder + "\\Sabrelune.inf"));
       },
       {},
       {"CreateFile failed"},
       true},
      // NT 6.1 is not supported: the records are skipped and the folder step fails.
      {"Windows 7", "7-x64", nullptr, {}, {}, false},
      // A customer word that names another program's folder: that folder is never
      // replaced, and nothing else is written either.
      {"program folder of other software",
       "xp",
       [&](InstallSequence& t) {
         t.package_.portsInf = installer_test::PortsInf("Common Files");
         t.package_.WriteTo(*t.machine_);
         t.machine_->files.WriteFile(kCommonFiles + "\\System\\msado15.dll", "ado");
       },
       {},
       {"The folder " + kCommonFiles +
        " holds files that this installer does not put there, so it cannot be the "
        "program folder. Nothing was changed."},
       true},
      // The earlier installation's record is there but cannot be read, at the question or
      // when the engine reads it: nothing is removed or written over.
      {"record unreadable",
       "xp",
       [&](InstallSequence& t) {
         ASSERT_EQ(kInstallCompleted, t.Install().result);
         t.machine_->faults.Add(
             installer_test::Fault("RegOpenKeyExA", ERROR_ACCESS_DENIED, kRecord.c_str()));
       },
       {},
       {"The installation record of KORVANE cannot be read (error 5). Nothing was changed."},
       true},
      {"record unreadable to the engine",
       "xp-x64",
       [&](InstallSequence& t) {
         ASSERT_EQ(kInstallCompleted, t.Install().result);
         t.machine_->faults.Add(
             installer_test::Fault("RegOpenKeyExA", ERROR_ACCESS_DENIED, kRecord.c_str(), 2));
       },
       {IDOK},
       {kQuestion,
        "The installation record of KORVANE cannot be read (error 5). "
        "Nothing was changed."},
       true},
  };
  for (const Case& c : cases) {
    package_ = Package();
    Use(c.edition);
    if (c.prepare) c.prepare(*this);
    const bool installedBefore = HasRecord("KORVANE");
    const auto before = Take(*machine_);
    const Outcome o = Install(c.answers);
    EXPECT_EQ(kInstallAborted, o.result) << c.name;
    std::vector<std::string> texts;
    for (const auto& box : o.boxes) texts.push_back(box.text);
    if (!c.messages.empty()) {
      EXPECT_EQ(c.messages, texts) << c.name;
    }
    if (c.changesNothing) {
      EXPECT_TRUE(Changes(before, Take(*machine_)).empty()) << c.name;
    }
    EXPECT_EQ(installedBefore, HasRecord("KORVANE")) << c.name;
  }
}

}  // namespace
