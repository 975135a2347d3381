// The programs' resource scripts hold the dialogs and texts of the design: every template,
// control, position, style and string, as the simulator reads the scripts built into the
// programs. (tools/resdump proves that the simulator reads them as windres compiles them.)
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/ui/dialog_template.h"
#include "platform/sim/ui/resource_script.h"
#include "platform/win32.h"
#include "resources/program_resources.h"

namespace {

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kDefaultButton = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr uint32_t kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr uint32_t kCentredText = kChild | WS_GROUP | SS_CENTER;
constexpr uint32_t kLeftText = kChild | WS_GROUP | SS_LEFT;
constexpr uint32_t kIcon = kChild | SS_ICON;

struct ExpectedControl {
  int id;
  const char* className;
  const char* text;  // nullptr: any non-empty text (left to the implementer)
  int x, y, cx, cy;
  uint32_t style;
};

struct ExpectedDialog {
  int id;
  const char* caption;
  int cx, cy;
  uint32_t style;
  uint32_t exStyle;
  std::vector<ExpectedControl> controls;
};

void ExpectDialog(const sim::ResourceSet& set, const ExpectedDialog& want) {
  SCOPED_TRACE("dialog " + std::to_string(want.id));
  auto found = set.dialogs.find(want.id);
  ASSERT_NE(found, set.dialogs.end());
  const sim::DialogTemplate& d = found->second;
  EXPECT_EQ(d.caption, want.caption);
  EXPECT_EQ(d.x, 0);
  EXPECT_EQ(d.y, 0);
  EXPECT_EQ(d.cx, want.cx);
  EXPECT_EQ(d.cy, want.cy);
  EXPECT_EQ(d.style, want.style) << std::hex << d.style;
  EXPECT_EQ(d.exStyle, want.exStyle) << std::hex << d.exStyle;
  EXPECT_EQ(d.fontName, "MS Sans Serif");
  EXPECT_EQ(d.fontPointSize, 8);
  ASSERT_EQ(d.controls.size(), want.controls.size());
  for (size_t i = 0; i < want.controls.size(); ++i) {
    const ExpectedControl& w = want.controls[i];
    const sim::ControlTemplate& c = d.controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(w.id) + ")");
    EXPECT_EQ(c.id, w.id);
    EXPECT_EQ(c.className, w.className);
    if (w.text) {
      EXPECT_EQ(c.text, w.text);
    } else {
      EXPECT_FALSE(c.text.empty());
    }
    EXPECT_EQ(c.x, w.x);
    EXPECT_EQ(c.y, w.y);
    EXPECT_EQ(c.cx, w.cx);
    EXPECT_EQ(c.cy, w.cy);
    EXPECT_EQ(c.style, w.style) << std::hex << c.style;
    EXPECT_EQ(c.exStyle, 0u);
  }
}

// ---- Kestrolin ---------------------------------------------------------------------

TEST(KestrolinResources, MainDialogHasNoSystemMenuAndTwoDefaultButtons) {
  // An icon line keeps its place only; the icon gives the control its size.
  ExpectDialog(KestrolinResources(),
               {102,
                "Kestrolin",
                292,
                108,
                WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT,
                WS_EX_APPWINDOW,
                {
                    {IDOK, "Button", "&Install", 58, 64, 62, 17, kDefaultButton},
                    {IDCANCEL, "Button", "E&xit", 174, 63, 62, 17, kDefaultButton},
                    {1000, "Static",
                     "This utility will install the drivers and supporting files for PCIe Multi-Io "
                     "Controller",
                     57, 17, 207, 33, kCentredText},
                    {-1, "Static", "#128", 21, 17, 0, 0, kIcon},
                    {-1, "Button", "", 7, 0, 278, 101, kChild | BS_GROUPBOX},
                }});
}

TEST(KestrolinResources, AboutBox) {
  ExpectDialog(KestrolinResources(),
               {100,
                "About Kestrolin",
                235,
                55,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                0,
                {
                    {-1, "Static", "#128", 11, 17, 0, 0, kIcon},
                    {-1, "Static", "Kestrolin Version 1.0", 40, 10, 119, 8, kLeftText},
                    {-1, "Static", nullptr, 40, 25, 119, 8, kLeftText},
                    {IDOK, "Button", "OK", 178, 7, 50, 14, kDefaultButton},
                }});
}

TEST(KestrolinResources, StringTableHoldsExactlyTheEightTexts) {
  const std::map<unsigned, std::string> want = {
      {101, "&About Kestrolin..."},
      {102, "Installation is in Progress.......Please wait!"},
      {103,
       "Driver for this device is already installed in this system! \n\nTo update/reinstall "
       "press OK!\nTo abort installation press cancel!"},
      {104,
       "PCIe Multi-Io Controller Adapter Drivers Updation is Aborted. Press \"Exit\" to close "
       "the application."},
      {105,
       "PCIe Multi-Io Controller Adapter Drivers Installed\n Press \"Reboot Now\" for "
       "installation to take effect.\n Else press \"Reboot Later\". "},
      {106,
       "Installation completed. Press \"Exit\" to terminate the application. No need to restart "
       "the machine. "},
      {107, "Installation is aborted. Press \"Exit\" to close the application."},
      {108,
       "Press \"Install\" button to Install the drives for PCIe Multi-Io Controller Adapterl "
       "Device. For Cancelling the Installation press \"Exit\" button."},
  };
  EXPECT_EQ(KestrolinResources().strings, want);
  EXPECT_EQ(KestrolinResources().icons, std::set<int>{128});
  EXPECT_EQ(KestrolinResources().dialogs.size(), 2u);
}

// ---- Wendmarrow --------------------------------------------------------------------

TEST(WendmarrowResources, MainDialogWithProgressBar) {
  ExpectDialog(WendmarrowResources(),
               {102,
                "PCIExpress Multi-I/O Drivers Uninstall",
                220,
                95,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                WS_EX_APPWINDOW,
                {
                    {IDCANCEL, "Button", "Exit", 156, 70, 46, 14, kButton},
                    {IDOK, "Button", "OK", 15, 71, 46, 14, kButton},
                    {1002, "msctls_progress32", "", 16, 43, 186, 10, kChild | WS_BORDER},
                    {1003, "Static",
                     "This program would uninstall the Multi-IO drivers installed on this "
                     "system.",
                     42, 11, 159, 23, kCentredText},
                    {-1, "Static", "#128", 11, 10, 20, 20, kIcon},
                }});
  EXPECT_TRUE(WendmarrowResources().dialogs.at(102).extended);
}

TEST(WendmarrowResources, AboutBox) {
  ExpectDialog(WendmarrowResources(),
               {100,
                "About Wendmarrow",
                235,
                55,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                0,
                {
                    {-1, "Static", "#128", 11, 17, 0, 0, kIcon},
                    {-1, "Static", "Wendmarrow Version 1.0", 40, 10, 119, 8, kLeftText},
                    {IDOK, "Button", "OK", 178, 7, 50, 14, kDefaultButton},
                }});
}

TEST(WendmarrowResources, StringTableHoldsTheMenuEntryAndTheStatusTexts) {
  const std::map<unsigned, std::string> want = {
      {101, "&About Wendmarrow..."},
      {102, " Please wait. PCIExpress Multi-IO device driver uninstallation is in progress ..... "},
      {103,
       " PCI Multi-IO device drivers are completely uninstalled. You must restart computer for "
       "the changes to take effect."},
      {104,
       " PCIe Multi-IO device drivers are completely uninstalled. No need to restart computer "
       "for the changes to take effect."},
      {105,
       " PCIe Multi-IO device drivers were not uninstalled. Nothing was changed on this "
       "computer."},
  };
  EXPECT_EQ(WendmarrowResources().strings, want);
  EXPECT_EQ(WendmarrowResources().icons, std::set<int>{128});
  EXPECT_EQ(WendmarrowResources().dialogs.size(), 2u);
}

// ---- Both --------------------------------------------------------------------------

// The scripts on disk read the same as the copies built into the programs.
TEST(ProgramResources, BuiltInScriptsEqualTheSourceTree) {
  struct Case {
    const char* script;
    const sim::ResourceSet& builtIn;
  };
  const Case cases[] = {{"kestrolin.rc", KestrolinResources()},
                        {"wendmarrow.rc", WendmarrowResources()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    sim::ResourceSet fromDisk;
    std::string error;
    ASSERT_TRUE(sim::ParseResourceScriptFile(
        std::string(KESTROLIN_SOURCE_DIR) + "/resources/" + c.script, &fromDisk, &error))
        << error;
    EXPECT_EQ(fromDisk.strings, c.builtIn.strings);
    EXPECT_EQ(fromDisk.icons, c.builtIn.icons);
    ASSERT_EQ(fromDisk.dialogs.size(), c.builtIn.dialogs.size());
    for (const auto& [id, d] : fromDisk.dialogs) {
      EXPECT_EQ(d.controls.size(), c.builtIn.dialogs.at(id).controls.size());
      EXPECT_EQ(d.style, c.builtIn.dialogs.at(id).style);
    }
  }
}

// Several threads asking for the first time get the one set, parsed once.
TEST(ProgramResources, ParsedOnceAcrossThreads) {
  std::vector<const sim::ResourceSet*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back(
        [&seen, i] { seen[i] = i % 2 ? &KestrolinResources() : &WendmarrowResources(); });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i], i % 2 ? &KestrolinResources() : &WendmarrowResources());
  }
}

}  // namespace
