// The scenario scripts as the Wine driver reads them and as the simulator's front end
// takes them: one scenario description is run by both, so both must read every script alike.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/ui/front_end_script.h"
#include "platform/script/scenario_script.h"

namespace {

using scenario::ParseScript;
using scenario::ScriptStep;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> FilesIn(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        files.push_back(folder + "/" + name);
    }
    closedir(dir);
  }
  return files;
}

// What the simulator's side reads: the screenshot steps are left out there.
bool SimulatorAccepts(const std::string& text, std::string* error) {
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line)) {
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line.compare(first, 11, "screenshot ") == 0) continue;
    kept += line + "\n";
  }
  return sim::ScriptFrontEnd::FromText(kept, "script", {}, error) != nullptr;
}

TEST(DriverScriptTest, EveryScenarioAndDemoScriptReadsOnBothSides) {
  std::vector<std::string> scripts = FilesIn(E2E_SOURCE_DIR "/scripts", ".script");
  ASSERT_GE(scripts.size(), 7u) << "the scenario scripts are missing";
  for (const std::string& demo : FilesIn(DEMO_SCRIPT_DIR, ".script")) scripts.push_back(demo);
  for (const std::string& path : scripts) {
    const std::string text = ReadFile(path);
    std::vector<ScriptStep> steps;
    std::string error;
    EXPECT_TRUE(ParseScript(text, path, &steps, &error)) << error;
    EXPECT_FALSE(steps.empty()) << path;
    EXPECT_TRUE(SimulatorAccepts(text, &error)) << path << ": " << error;
  }
}

// Every script a scenario names exists and reads.
TEST(DriverScriptTest, EveryScenarioNamesScriptsThatExist) {
  const std::vector<std::string> scenarios = FilesIn(E2E_SOURCE_DIR "/scenarios", ".scenario");
  ASSERT_GE(scenarios.size(), 5u);
  for (const std::string& path : scenarios) {
    std::istringstream in(ReadFile(path));
    std::string line;
    int programs = 0;
    while (std::getline(in, line)) {
      const size_t close = line.find(']');
      std::istringstream words(line[0] == '[' && close != std::string::npos ? line.substr(close + 1)
                                                                            : line);
      std::string verb, script;
      words >> verb >> script;
      if (verb != "install" && verb != "uninstall") continue;
      ++programs;
      std::vector<ScriptStep> steps;
      std::string error;
      const std::string text = ReadFile(E2E_SOURCE_DIR "/scripts/" + script);
      EXPECT_FALSE(text.empty()) << path << " names " << script << ", which is not there";
      EXPECT_TRUE(ParseScript(text, script, &steps, &error)) << error;
    }
    EXPECT_GT(programs, 0) << path << " runs no program";
  }
}

// Each line as a one-step script: whether both readers take it. A screenshot step only
// the driver reads.
TEST(DriverScriptTest, BothReadersAcceptAndRefuseTheSameSteps) {
  struct Case {
    const char* line;
    bool accepted;
  };
  const Case cases[] = {
      {"expect \"Kestrolin\"", true},
      {"expect Kestrolin", false},  // TEXT must be quoted
      {"expect \"unclosed", false},
      {"expect \"bad \\t escape\"", false},
      {"expect-text 1000 \"a \\\"quoted\\\" \\\\ text\\n\"", true},
      {"expect-text x \"t\"", false},
      {"expect-text 0x3e8 \"hex id\"", true},
      {"expect-text 99999999999 \"t\"", false},  // beyond 32 bits
      {"expect-state 1 enabled", true},
      {"expect-state 1 greyed", false},
      {"expect-focus 2", true},
      {"expect-focus", false},
      {"expect-progress 1002 100", true},
      {"expect-progress 1002 full", false},
      {"press \"Reboot Later\"", true},
      {"press 2", true},
      {"press", false},
      {"key Esc", true},
      {"key Alt+X in \"Kestrolin\"", true},
      {"key F5", false},
      {"close", true},
      {"close now", false},
      {"sysmenu 16", true},
      {"box \"Driver...\" answer OK", true},
      {"box \"Driver...\" answer TryAgain", true},
      {"box \"Driver...\" answer Maybe", false},
      {"box \"Driver...\" reply OK", false},
      {"wait-closed", true},
      {"timeout 0", false},
      {"timeout -5", false},
      {"timeout 20000", true},
      {"frobnicate", false},
  };
  for (const Case& c : cases) {
    std::vector<ScriptStep> steps;
    std::string driverError, simError;
    EXPECT_EQ(ParseScript(c.line, "s", &steps, &driverError), c.accepted)
        << c.line << ": " << driverError;
    EXPECT_EQ(SimulatorAccepts(c.line, &simError), c.accepted) << c.line << ": " << simError;
    if (!c.accepted) {
      EXPECT_EQ(driverError.rfind("s:1: ", 0), 0u) << driverError;
    }
  }
}

TEST(DriverScriptTest, ScreenshotNamesAreSafeFileNames) {
  struct Case {
    const char* line;
    bool accepted;
    const char* name;
    const char* window;
  };
  const Case cases[] = {
      {"screenshot installer-idle", true, "installer-idle", ""},
      {"screenshot installer-installing \"Kestrolin\"", true, "installer-installing", "Kestrolin"},
      {"screenshot v1.0_about", true, "v1.0_about", ""},
      {"screenshot", false, "", ""},
      {"screenshot \"quoted\"", false, "", ""},
      {"screenshot ../escape", false, "", ""},
      {"screenshot .hidden", false, "", ""},
      {"screenshot a\\b", false, "", ""},
      {"screenshot C:x", false, "", ""},
      {"screenshot a Kestrolin", false, "", ""},  // the caption must be quoted
      {"screenshot a \"b\" c", false, "", ""},
      {"screenshot "
       "x123456789x123456789x123456789x123456789x123456789x123456789x1234",
       false, "", ""},  // 65 characters
  };
  for (const Case& c : cases) {
    std::vector<ScriptStep> steps;
    std::string error;
    ASSERT_EQ(ParseScript(c.line, "s", &steps, &error), c.accepted) << c.line << ": " << error;
    if (!c.accepted) continue;
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].kind, ScriptStep::Kind::Screenshot);
    EXPECT_EQ(steps[0].text, c.name);
    EXPECT_EQ(steps[0].window, c.window);
  }
}

TEST(DriverScriptTest, StepsCarryTheirValuesAndLines) {
  const std::string script =
      "# a comment\n"
      "\n"
      "  expect-progress 1002 100\r\n"
      "box \"Q\" answer Cancel\n"
      "press \"E&xit\"\n"
      "timeout 250\n";
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(ParseScript(script, "s", &steps, &error)) << error;
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].kind, ScriptStep::Kind::ExpectProgress);
  EXPECT_EQ(steps[0].id, 1002);
  EXPECT_EQ(steps[0].text, "100");
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[0].source, "expect-progress 1002 100");
  EXPECT_EQ(steps[1].kind, ScriptStep::Kind::Box);
  EXPECT_EQ(steps[1].id, 2);  // IDCANCEL
  EXPECT_EQ(steps[2].byCaption, true);
  EXPECT_EQ(steps[2].text, "E&xit");
  EXPECT_EQ(steps[3].id, 250);
}

TEST(DriverScriptTest, TextsMatchWholeOrByTheirBeginning) {
  struct Case {
    const char* pattern;
    const char* text;
    bool text_matches;
    bool caption_matches;
  };
  const Case cases[] = {
      {"Exit", "Exit", true, true},
      {"Exit", "Exit ", false, false},  // whole text: a trailing blank counts
      {"Exit", "E&xit", false, true},   // captions also without their mnemonic marks
      {"R&&D", "R&&D", true, true},
      {"R&D", "R&&D", false, true},       // "&&" shows one '&'
      {"Exit...", "E&xit", false, true},  // the beginning of the caption without marks
      {"Installation...", "Installation completed.", true, true},
      {"...", "anything", true, true},
      {"Inst...", "In", false, false},
      {"", "", true, true},
      {"", "x", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scenario::TextMatches(c.pattern, c.text), c.text_matches)
        << c.pattern << " / " << c.text;
    EXPECT_EQ(scenario::CaptionMatches(c.pattern, c.text), c.caption_matches)
        << c.pattern << " / " << c.text;
  }
}

}  // namespace
