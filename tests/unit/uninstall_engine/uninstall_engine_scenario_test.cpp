// Whole uninstall runs on simulated machines on which the card was installed for the
// customer KORVANE, beside a second customer's installation (KORVANEX, same card) and
// another vendor's serial cards: the progress the dialog sees, the messages, and every
// change to the machine, listed in full.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sysinfo/windows_version.h"
#include "tests/unit/support/card_installed_machine.h"
#include "tests/unit/support/machine_snapshot.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::ProgressRecorder;
using machine_snapshot::Snapshot;
using Lines = std::vector<std::string>;

const char kUnknownWindows[] = "Error Detecting Operating System Version";
const char kUnsupported64Bit[] =
    "The Multi-IO drivers cannot be uninstalled on this version of Windows. Nothing was changed.";

// Removals under a removed key or folder are folded into it, so that the list names
// what went as a whole.
Lines Folded(const Lines& changes) {
  std::vector<std::string> removedRoots;
  for (const std::string& line : changes) {
    if (line.rfind("- key ", 0) == 0 || line.rfind("- dir ", 0) == 0)
      removedRoots.push_back(line.substr(6) + "\\");
  }
  const auto underRemovedRoot = [&](const std::string& path) {
    for (const std::string& root : removedRoots)
      if (path.compare(0, root.size(), root) == 0) return true;
    return false;
  };
  Lines out;
  for (const std::string& line : changes) {
    if (line.rfind("- ", 0) == 0) {
      std::string path = line.substr(line.find(' ', 2) + 1);
      // A value's line names its key, " : ", and the value's name.
      const size_t colon = path.find(" : ");
      if (colon != std::string::npos) path = path.substr(0, colon) + "\\";
      if (underRemovedRoot(path)) continue;
    }
    out.push_back(line);
  }
  return out;
}

struct RunResult {
  Lines events;
  Lines messages;
  Lines changes;
};

RunResult Uninstall(sim::Machine& machine, const char* program) {
  const Snapshot before = machine_snapshot::Take(machine);
  RunResult run;
  {
    sim::ProcessOptions options;
    options.modulePath = program;
    sim::ProcessScope scope(machine, options);
    UninstallContext context = engine_test::ContextForRunningWindows();
    ProgressRecorder progress;
    RunUninstallSequence(context, progress);
    run.events = progress.events;
    run.messages = machine_snapshot::Messages(scope.process());
  }
  run.changes = Folded(machine_snapshot::Changes(before, machine_snapshot::Take(machine)));
  return run;
}

std::string Join(const Lines& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

const Lines kThroughDeviceInstaller = {"running", "10", "20", "30",  "40",         "busy",   "50",
                                       "60",      "70", "90", "100", "completion", "stopped"};
const Lines kThroughRegistry = {"running", "10", "busy", "20", "30",  "50",         "55",
                                "60",      "70", "80",   "90", "100", "completion", "stopped"};
const Lines kRefused = {"running", "100", "not uninstalled", "stopped"};

struct Scenario {
  const char* edition;
  Lines events;
  Lines messages;
  const char* expectedFile;  // the full list of changes, under tests/fixtures/scenarios
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.edition; }

class UninstallScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(UninstallScenario, FirstCustomerThenTheLastOneThenNothingIsLeft) {
  const Scenario& s = GetParam();
  auto machine = card_installed::CardMachine(s.edition);
  ASSERT_TRUE(machine);

  const RunResult first = Uninstall(*machine, "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe");
  EXPECT_EQ(s.events, first.events);
  EXPECT_EQ(s.messages, first.messages);
  const std::string expectedFile = std::string("tests/fixtures/scenarios/") + s.expectedFile;
  const std::string actual = Join(first.changes);
  if (std::getenv("KESTROLIN_WRITE_SCENARIOS")) {
    std::ofstream(std::string(KESTROLIN_SOURCE_DIR) + "/" + expectedFile, std::ios::binary)
        << actual;
  }
  EXPECT_EQ(card_installed::ReadSourceFile(expectedFile), actual) << "changes of the first run:\n"
                                                                  << actual;
  // Whatever the branch, the second customer and the other vendors keep everything.
  for (const std::string& line : first.changes) {
    for (const char* untouchable : {"KORVANEX", "Nordvik", "VEN_9710", "DEV_5E18", "oem4", "oem5"})
      EXPECT_EQ(std::string::npos, line.find(untouchable)) << line;
  }
  if (s.events == kRefused) {
    EXPECT_TRUE(first.changes.empty());
    return;
  }

  // The second customer's run is the last one: everything of it goes, and with it the
  // drivers no customer needs any more and the emptied product key.
  EXPECT_NE(nullptr, machine->files.Find("C:\\WINDOWS\\system32\\drivers\\Orrick.sys"));
  const RunResult second = Uninstall(*machine, "C:\\WINDOWS\\system32\\KORVANEX_Wendmarrow.exe");
  const std::string secondText = Join(second.changes);
  for (const char* gone :
       {"Program Files\\KORVANEX", "KORVANEX_Wendmarrow.exe", "PCIe Multi-Io Controller\n",
        "Uninstall\\Nordvik", "system32\\Pellacorte.dll", "system32\\Sabrelune.dll",
        "drivers\\Orrick.sys", "drivers\\Quellmast.sys", "drivers\\Tamble.sys"}) {
    EXPECT_NE(std::string::npos, secondText.find(gone)) << gone << "\n" << secondText;
  }
  // A run after the last one finds nothing to do: even the copy of the first run is gone
  // from its name, moved aside for the restart to delete.
  const RunResult third = Uninstall(*machine, "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe");
  EXPECT_EQ(Lines{}, third.changes);
}

const Scenario kScenarios[] = {
    {"xp", kThroughDeviceInstaller, {}, "xp_uninstall.txt"},
    {"vista", kThroughDeviceInstaller, {}, "vista_uninstall.txt"},
    {"xp-x64", kThroughRegistry, {}, "xp_x64_uninstall.txt"},
    {"vista-x64", kRefused, {kUnsupported64Bit}, "vista_x64_uninstall.txt"},
    {"98-se", kRefused, {kUnknownWindows}, "98_uninstall.txt"},
};

INSTANTIATE_TEST_SUITE_P(Editions, UninstallScenario, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           std::string name = info.param.edition;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
