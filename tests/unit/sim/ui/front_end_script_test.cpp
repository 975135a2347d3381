// The script front end: its step syntax, its text matching, the report of a failing step
// and the screen states it prints.
#include <sstream>
#include <string>

#include "tests/unit/sim/ui/sim_windows_test_support.h"

namespace {

using namespace windows_test;

TEST(FrontEndScript, RefusesStepsItCannotRead) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"expect Ready\n", "test.script:1: expected a quoted text, not 'Ready'"},
      {"# comment\n\npress\n", "test.script:3: expected: press \"CAPTION\" or press ID"},
      {"expect \"open\n", "test.script:1: a quoted text is not closed"},
      {"expect \"a\\tb\"\n", "test.script:1: unknown escape \\t"},
      {"key F5\n", "test.script:1: unknown key 'F5'"},
      {"expect-state 1 grey\n", "test.script:1: unknown state 'grey'"},
      {"expect-focus one\n", "test.script:1: not a number: control id 'one'"},
      {"box \"Sure?\" answer Maybe\n", "test.script:1: expected: box \"TEXT\" answer"},
      {"timeout 0\n", "test.script:1: the timeout must be positive"},
      {"sysmenu\n", "test.script:1: expected: sysmenu N"},
      {"dance\n", "test.script:1: unknown step 'dance'"},
      // No screen to take a picture of: only the Wine driver reads this step.
      {"screenshot idle\n", "test.script:1: unknown step 'screenshot'"},
  };
  for (const Case& c : cases) {
    std::string error;
    auto script = sim::ScriptFrontEnd::FromText(c.text, "test.script", {}, &error);
    EXPECT_FALSE(script) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
  std::string error;
  EXPECT_FALSE(sim::ScriptFrontEnd::FromFile("/nonexistent/x.script", {}, &error));
  EXPECT_EQ(error, "/nonexistent/x.script: cannot be read");
  EXPECT_TRUE(sim::ScriptFrontEnd::FromText(
      "  # every step\nexpect \"a\\\"b\\\\c\\n\"\nexpect-text 1 \"x\"\nexpect-state 1 hidden\n"
      "expect-focus 0x10\nexpect-progress 1002 -1\npress \"&OK\"\npress 1\nkey Shift+Tab\n"
      "key Alt+x\nkey 7\nclose\nsysmenu 0xF060\nbox \"?\" answer TryAgain\nwait-closed\n"
      "timeout 10\r\n",
      "all.script", {}, &error))
      << error;
}

TEST(FrontEndScript, TextMatchesWholeOrByItsBeginning) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  } cases[] = {
      {"Ready.", "Ready.", true},
      {"Ready", "Ready.", false},
      {"Press \"Install\" button ...", "Press \"Install\" button to Install the drives", true},
      {"Press \"Exit\"...", "Press \"Install\" button", false},
      {"&About Kestrolin...", "&About Kestrolin...", true},  // a text that ends in dots
      {"...", "anything", true},
      {"", "", true},
      {"", "x", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(scenario::TextMatches(c.pattern, c.text), c.matches) << c.pattern << " / " << c.text;
}

TEST(FrontEndScript, AFailingExpectationReportsStepLineExpectationAndScreen) {
  auto machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  auto script = Script(
      "expect \"Press Start...\"\n"
      "timeout 100\n"
      "expect-state 1 disabled\n"
      "press 2\n",
      3000);
  ProcState state;
  INT_PTR result = 0;
  {
    sim::ProcessOptions options;
    options.resources = &resources;
    options.frontEnd = script.get();
    sim::ProcessScope scope(*machine, options);
    InitCommonControls();
    result = RunTestDialog(state, kNoSystemMenu);
  }
  EXPECT_FALSE(script->Finish());
  EXPECT_EQ(script->StepsPassed(), 2);
  EXPECT_EQ(result, -1);  // the run stopped; the dialog did not see `press 2`
  const std::string report = script->Report();
  EXPECT_EQ(report.rfind("test.script:3: step `expect-state 1 disabled` failed: control 1 is "
                         "not disabled (waited 100 ms)\nscreen:\n",
                         0),
            0u)
      << report;
  EXPECT_NE(report.find("dialog 201 \"Test Setup\"\n  1 button \"&Start\" focus default\n"
                        "  2 button \"E&xit\"\n  1000 text \"Press Start to begin.\"\n"),
            std::string::npos)
      << report;
  EXPECT_EQ(state.log, (std::vector<std::string>{"init", "destroy"}));
}

TEST(FrontEndScript, PrintsEveryNewScreenState) {
  auto machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  std::ostringstream echo;
  sim::ScriptFrontEnd::Options options;
  options.echo = &echo;
  std::string error;
  auto script = sim::ScriptFrontEnd::FromText("key Tab\nkey Esc\nwait-closed\n", "demo.script",
                                              options, &error);
  ASSERT_TRUE(script) << error;
  {
    sim::ProcessOptions processOptions;
    processOptions.resources = &resources;
    processOptions.frontEnd = script.get();
    sim::ProcessScope scope(*machine, processOptions);
    ProcState state;
    EXPECT_EQ(RunTestDialog(state, kNoSystemMenu), IDCANCEL);
  }
  EXPECT_TRUE(script->Finish()) << script->Report();
  const std::string out = echo.str();
  const size_t first = out.find("  1 button \"&Start\" focus default\n");
  const size_t second = out.find("  2 button \"E&xit\" focus default\n");
  EXPECT_NE(first, std::string::npos) << out;
  EXPECT_NE(second, std::string::npos) << out;
  EXPECT_LT(first, second);
  EXPECT_NE(out.rfind("--- screen\nno window is open\n"), std::string::npos) << out;
}

}  // namespace
