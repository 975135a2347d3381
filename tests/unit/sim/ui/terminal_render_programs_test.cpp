// Every state of both programs' dialogs, as the programs show them on simulated machines,
// drawn for the terminal at the sizes the demo is used at: the drawing fits, every word of
// the front window's texts is on it in order, and buttons side by side in the template
// stand on one row.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/about_dialog.h"
#include "installer/installer_app.h"
#include "platform/sim/ui/front_end_terminal_render.h"
#include "resources/kestrolin_resource.h"
#include "resources/program_resources.h"
#include "tests/unit/installer/installer_scenario.h"
#include "tests/unit/support/program_runner.h"
#include "uninstaller/uninstaller_app.h"

namespace {

// The installer's About box has no way in (its main dialog has no system menu): opened
// on its own.
int KestrolinAbout() {
  AboutDialog about(nullptr);
  return static_cast<int>(about.DoModal());
}

struct Program {
  int (*main)();
  const sim::ResourceSet& (*resources)();
  const char* modulePath;
};
const Program kInstaller = {&KestrolinMain, &KestrolinResources, "C:\\Pkg\\Kestrolin.exe"};
const Program kInstallerAbout = {&KestrolinAbout, &KestrolinResources, "C:\\Pkg\\Kestrolin.exe"};
const Program kUninstaller = {&WendmarrowMain, &WendmarrowResources,
                              "C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe"};

// Scripts that end whatever the outcome: once the work is done Exit (id 2, "Reboot Later"
// when a restart is offered) is enabled.
const char kInstall[] = "press \"Install\"\nexpect-state 2 enabled\npress 2\nwait-closed\n";
const char kReinstall[] =
    "press \"Install\"\nbox \"Driver for this device...\" answer OK\n"
    "expect-state 2 enabled\npress 2\nwait-closed\n";
const char kDecline[] =
    "press \"Install\"\nbox \"Driver for this device...\" answer Cancel\n"
    "expect-state 2 enabled\npress 2\nwait-closed\n";
// Both completion texts begin " PCI"; Exit is "Reboot Later" when a restart is offered.
const char kUninstall[] = "press \"OK\"\nexpect-text 1003 \" PCI...\"\npress 2\nwait-closed\n";
// Where the uninstaller cannot tell the Windows version, or cannot uninstall on it, a
// message box says so.
const char kUninstallAnswering[] =
    "press \"OK\"\nbox \"...\" answer OK\nexpect-text 1003 \" PCI...\"\npress 2\nwait-closed\n";
const char kAbout[] =
    "sysmenu 16\nexpect \"About Wendmarrow\"\npress \"OK\"\npress 2\nwait-closed\n";

struct Run {
  const char* edition;  // one machine per edition, its runs in this order
  const Program* program;
  const char* script;
};
const Run kRuns[] = {
    {"xp", &kInstaller, kInstall},
    {"xp", &kInstaller, kReinstall},
    {"xp", &kInstaller, kDecline},
    {"xp", &kUninstaller, kAbout},
    {"xp", &kUninstaller, kUninstall},
    {"xp", &kInstallerAbout, "press \"OK\"\nwait-closed\n"},
    {"xp-x64", &kInstaller, kInstall},
    {"xp-x64", &kInstaller, kReinstall},
    {"xp-x64", &kUninstaller, kUninstall},
    {"98-se", &kInstaller, kInstall},
    {"98-se", &kUninstaller, kUninstallAnswering},
    // 64-bit Vista: the uninstaller says it cannot uninstall there, and did not.
    {"vista-x64", &kInstaller, kInstall},
    {"vista-x64", &kUninstaller, kUninstallAnswering},
};

struct Shown {
  const Program* program;
  sim::Screen screen;
};

std::vector<Shown> EveryState() {
  std::vector<Shown> states;
  std::map<std::string, std::unique_ptr<sim::Machine>> machines;
  installer_test::Package package;
  for (const Run& run : kRuns) {
    std::unique_ptr<sim::Machine>& machine = machines[run.edition];
    if (!machine) {
      machine = installer_test::Edition(run.edition);
      package.WriteTo(*machine);
    }
    const program_test::ProgramRun done = program_test::RunProgram(
        *machine, run.program->main, run.program->resources(), run.program->modulePath, run.script);
    EXPECT_TRUE(done.scriptPassed) << run.edition << "\n" << done.report;
    for (const sim::Screen& screen : done.shown) states.push_back({run.program, screen});
  }
  return states;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The words appear in this order among the screen's (read row by row).
bool InOrder(const std::vector<std::string>& words, const std::vector<std::string>& screen) {
  size_t at = 0;
  for (const std::string& word : words) {
    while (at < screen.size() && screen[at] != word) ++at;
    if (at++ >= screen.size()) return false;
  }
  return true;
}

// The row a button's label is drawn on: "[ OK ]", "> OK <" or "( OK )"; -1 when none.
int ButtonRow(const std::vector<std::string>& lines, const std::string& label) {
  const std::regex drawn("[\\[>(] +" + label + " +[\\]<)]");
  for (size_t row = 0; row < lines.size(); ++row)
    if (std::regex_search(lines[row], drawn)) return static_cast<int>(row);
  return -1;
}

TEST(TerminalRenderPrograms, EveryDialogStateIsDrawnWholeAtTheDemosTerminalSizes) {
  const std::vector<Shown> states = EveryState();
  // The runs reach every dialog and every text of both programs but the About menu entry.
  std::set<std::pair<const sim::ResourceSet*, int>> dialogs;
  std::set<std::string> texts;
  for (const Shown& s : states) {
    for (const sim::WindowView& w : s.screen.windows) {
      dialogs.insert({&s.program->resources(), w.templateId});
      texts.insert(w.text);
      for (const sim::ControlView& c : w.controls) texts.insert(c.text);
    }
  }
  for (const sim::ResourceSet* resources : {&KestrolinResources(), &WendmarrowResources()}) {
    for (const auto& [id, dialog] : resources->dialogs)
      EXPECT_TRUE(dialogs.count({resources, id})) << dialog.caption;
    // Both programs number their About menu entry IDS_ABOUTBOX.
    for (const auto& [id, text] : resources->strings)
      EXPECT_TRUE(id == IDS_ABOUTBOX || texts.count(text)) << text;
  }

  const struct { int columns, rows; } sizes[] = {{80, 24}, {100, 32}};
  std::set<std::string> checked;  // a state drawn as an earlier one was needs no second look
  for (const auto& size : sizes) {
    for (const Shown& s : states) {
      if (s.screen.windows.empty()) continue;
      sim::RenderOptions options;
      options.ansi = true;
      options.columns = size.columns;
      // What the terminal says under the windows when a key could not be taken.
      options.statusLine = "the dialog is disabled while a window it owns is open";
      const std::string drawn = std::regex_replace(sim::RenderScreen(s.screen, options),
                                                   std::regex("\x1b\\[[0-9;?]*[A-Za-z]"), "");
      if (!checked.insert(drawn).second) continue;
      std::vector<std::string> lines;
      std::vector<std::string> screenWords;
      for (size_t at = 0, end; (end = drawn.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(drawn.substr(at, end - at));
        for (const std::string& word : Words(lines.back())) screenWords.push_back(word);
      }
      const std::string where = std::to_string(size.columns) + "x" + std::to_string(size.rows) +
                                "\n" + sim::DescribeScreen(s.screen) + drawn;
      // A last line ends with a line feed: one row more would scroll the top one away.
      EXPECT_LT(static_cast<int>(lines.size()), size.rows) << where;
      for (const std::string& line : lines)
        EXPECT_LE(static_cast<int>(line.size()), size.columns) << where;
      // The front window is drawn over the others: all of its words show.
      const sim::WindowView& front = s.screen.windows.back();
      std::vector<std::string> texts = {front.caption, front.text};
      for (const sim::ControlView& c : front.controls)
        if (c.visible && c.kind != sim::ControlKind::Icon)
          texts.push_back(sim::WithoutMnemonics(c.text));
      for (const std::string& text : texts)
        EXPECT_TRUE(InOrder(Words(text), screenWords)) << text << "\n" << where;
      for (const sim::ControlView& a : front.controls) {
        for (const sim::ControlView& b : front.controls) {
          if (&a == &b || !a.visible || !b.visible || a.kind != sim::ControlKind::PushButton ||
              b.kind != sim::ControlKind::PushButton || a.y >= b.y + b.cy || b.y >= a.y + a.cy ||
              (a.x < b.x + b.cx && b.x < a.x + a.cx))
            continue;
          EXPECT_EQ(ButtonRow(lines, sim::WithoutMnemonics(a.text)),
                    ButtonRow(lines, sim::WithoutMnemonics(b.text)))
              << a.text << " beside " << b.text << "\n"
              << where;
        }
      }
    }
  }
}

}  // namespace
