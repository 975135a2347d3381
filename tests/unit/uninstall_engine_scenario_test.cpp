// Whole uninstall runs on simulated machines on which the card was installed for the
// customer KORVANE, beside a second customer's installation (KORVANEX, same card) and
// another vendor's serial cards: the progress the dialog sees, the messages, and every
// change to the machine, listed in full.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/sim/reg_file.h"
#include "sysinfo/windows_version.h"
#include "tests/unit/machine_snapshot.h"
#include "tests/unit/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::ProgressRecorder;
using machine_snapshot::Snapshot;
using Lines = std::vector<std::string>;

const char kUnknownWindows[] = "Error Detecting Operating System Version";

// The staged INF files and their precompiled forms, as the device installer left them:
// the card's two INFs and another vendor's.
struct Staged {
  const char* name;
  std::string text;
};

std::string Utf16(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Import(sim::Machine& machine, const char* fixture) {
  const std::string path = std::string(KESTROLIN_SOURCE_DIR) + "/tests/fixtures/reg/" + fixture;
  std::vector<sim::RegFileOp> ops;
  std::string error;
  ASSERT_TRUE(sim::ParseRegFile(Read(path), path, &ops, &error)) << error;
  sim::ApplyRegFile(ops, &machine.registry);
}

// The files the installer and the device installer leave for both customers.
void LayOutFiles(sim::Machine& machine) {
  const std::string inf =
      Read(std::string(KESTROLIN_SOURCE_DIR) + "/packages/sample/Sabrelune.inf");
  const std::string mf = Read(std::string(KESTROLIN_SOURCE_DIR) + "/packages/sample/Dovrik.inf");
  const std::string other =
      "[Version]\r\nProvider=NetMos\r\n[Models]\r\nPCI\\VEN_9710&DEV_9835\r\n";
  const Staged staged[] = {{"oem2.inf", mf},           {"oem2.pnf", Utf16(mf)},
                           {"oem3.inf", inf},          {"oem3.pnf", Utf16(inf)},
                           {"oem4.inf", other},        {"oem4.pnf", Utf16(other)},
                           {"oem5.inf", Utf16(other)}, {"oem5.pnf", Utf16(other)}};
  for (const Staged& s : staged)
    machine.files.WriteFile("C:\\WINDOWS\\inf\\" + std::string(s.name), s.text);
  const bool wow64 = machine.os.Is64Bit();
  for (const char* customer : {"KORVANE", "KORVANEX"}) {
    const std::string copy = std::string(customer) + "_Wendmarrow.exe";
    machine.files.WriteFile("C:\\WINDOWS\\system32\\" + copy, "uninstaller");
    if (wow64) machine.files.WriteFile("C:\\WINDOWS\\SysWOW64\\" + copy, "uninstaller");
    const std::string folder = std::string("C:\\Program Files\\") + customer;
    machine.files.WriteFile(folder + "\\Sabrelune.inf", inf);
    machine.files.WriteFile(folder + "\\Dovrik.inf", mf);
    machine.files.WriteFile(folder + (wow64 ? "\\AMD64" : "\\X86") + "\\Orrick.sys", "driver");
  }
  for (const char* file : {"drivers\\Orrick.sys", "drivers\\Tamble.sys", "drivers\\Quellmast.sys",
                           "Sabrelune.dll", "Pellacorte.dll"}) {
    machine.files.WriteFile("C:\\WINDOWS\\system32\\" + std::string(file), "driver");
  }
}

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
const Lines kNoPass = {"running", "100", "completion", "stopped"};

struct Scenario {
  const char* edition;
  const char* fixture;
  Lines events;
  Lines messages;
  const char* expectedFile;  // the full list of changes, under tests/fixtures/scenarios
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.edition; }

class UninstallScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(UninstallScenario, FirstCustomerThenTheLastOneThenNothingIsLeft) {
  const Scenario& s = GetParam();
  auto machine = engine_test::Edition(s.edition);
  ASSERT_NO_FATAL_FAILURE(Import(*machine, s.fixture));
  LayOutFiles(*machine);

  const RunResult first = Uninstall(*machine, "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe");
  EXPECT_EQ(s.events, first.events);
  EXPECT_EQ(s.messages, first.messages);
  const std::string expectedPath =
      std::string(KESTROLIN_SOURCE_DIR) + "/tests/fixtures/scenarios/" + s.expectedFile;
  const std::string actual = Join(first.changes);
  if (std::getenv("KESTROLIN_WRITE_SCENARIOS")) {
    std::ofstream(expectedPath, std::ios::binary) << actual;
  }
  EXPECT_EQ(Read(expectedPath), actual) << "changes of the first run:\n" << actual;
  // Whatever the branch, the second customer and the other vendors keep everything.
  for (const std::string& line : first.changes) {
    for (const char* untouchable : {"KORVANEX", "Nordvik", "VEN_9710", "DEV_5E18", "oem4", "oem5"})
      EXPECT_EQ(std::string::npos, line.find(untouchable)) << line;
  }
  if (s.events == kNoPass) {
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
  // A run after the last one finds nothing to do.
  const RunResult third = Uninstall(*machine, "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe");
  EXPECT_EQ(Lines{}, third.changes);
}

const Scenario kScenarios[] = {
    {"xp", "xp_card_installed.reg", kThroughDeviceInstaller, {}, "xp_uninstall.txt"},
    {"vista", "xp_card_installed.reg", kThroughDeviceInstaller, {}, "vista_uninstall.txt"},
    {"xp-x64", "xp_x64_card_installed.reg", kThroughRegistry, {}, "xp_x64_uninstall.txt"},
    {"vista-x64", "xp_x64_card_installed.reg", kNoPass, {}, "vista_x64_uninstall.txt"},
    {"98-se", "xp_card_installed.reg", kNoPass, {kUnknownWindows}, "98_uninstall.txt"},
};

INSTANTIATE_TEST_SUITE_P(Editions, UninstallScenario, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           std::string name = info.param.edition;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
