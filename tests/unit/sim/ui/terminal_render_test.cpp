// The terminal front end's drawing of a small dialog and a message box, its word wrap, its
// reading of keys from raw terminal bytes, the keys it names, and its use of a terminal's
// alternate screen.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/ui/front_end_terminal.h"
#include "platform/sim/ui/front_end_terminal_input.h"
#include "platform/sim/ui/front_end_terminal_render.h"
#include "platform/sim/ui/window_manager.h"
#include "platform/win32.h"
#include "tests/unit/sim/ui/sim_windows_test_support.h"

namespace {

sim::ControlView Control(sim::ControlKind kind, int id, const char* text, int x, int y, int cx,
                         int cy) {
  sim::ControlView c;
  c.kind = kind;
  c.id = id;
  c.text = text;
  c.x = x;
  c.y = y;
  c.cx = cx;
  c.cy = cy;
  return c;
}

// 120 x 56 dialog units: 30 columns and 7 rows inside the frame.
sim::WindowView SmallDialog() {
  sim::WindowView w;
  w.kind = sim::WindowKind::Dialog;
  w.caption = "Setup";
  w.cx = 120;
  w.cy = 56;
  sim::ControlView text =
      Control(sim::ControlKind::Static, 1000, "Press Install to copy the drivers.", 4, 0, 112, 16);
  text.style = SS_CENTER;
  w.controls.push_back(text);
  sim::ControlView bar = Control(sim::ControlKind::ProgressBar, 1002, "", 4, 24, 48, 8);
  bar.position = 50;
  w.controls.push_back(bar);
  sim::ControlView install = Control(sim::ControlKind::PushButton, IDOK, "&Install", 4, 40, 40, 8);
  install.focused = true;
  install.isDefault = true;
  w.controls.push_back(install);
  sim::ControlView exitButton =
      Control(sim::ControlKind::PushButton, IDCANCEL, "E&xit", 64, 40, 40, 8);
  exitButton.enabled = false;
  w.controls.push_back(exitButton);
  return w;
}

TEST(TerminalRender, SmallDialogAtItsProportions) {
  sim::Screen screen;
  screen.windows.push_back(SmallDialog());
  const std::string expected =
      "+- Setup ----------------------+\n"
      "|  Press Install to copy the   |\n"
      "|           drivers.           |\n"
      "|                              |\n"
      "| [#####.....]                 |\n"
      "|                              |\n"
      "| > Install <    (  Exit  )    |\n"
      "|                              |\n"
      "+------------------------------+\n";
  EXPECT_EQ(sim::RenderScreen(screen), expected);
}

// A text wraps into the free rows below its control, and ends with "..." only where
// another control takes the row; controls of one row side by side stand on one row, and
// controls above one another keep their own rows.
TEST(TerminalRender, TextsTakeFreeRowsAndControlsSideBySideShareOne) {
  using K = sim::ControlKind;
  const char kText[] = "one two three four five";
  struct Case {
    std::vector<sim::ControlView> controls;
    const char* drawn;
  } cases[] = {
      {{Control(K::Static, 1, kText, 0, 0, 40, 8)},
       "+- T ----------------+\n"
       "|one two             |\n"
       "|three four          |\n"
       "|five                |\n"
       "|                    |\n"
       "+--------------------+\n"},
      {{Control(K::Static, 1, kText, 0, 0, 40, 8), Control(K::PushButton, 2, "OK", 0, 16, 40, 8)},
       "+- T ----------------+\n"
       "|one two             |\n"
       "|three...            |\n"
       "|[   OK   ]          |\n"
       "|                    |\n"
       "+--------------------+\n"},
      {{Control(K::PushButton, 1, "Up", 0, 0, 40, 12),
        Control(K::PushButton, 2, "Down", 0, 14, 40, 12)},
       "+- T ----------------+\n"
       "|[   Up   ]          |\n"
       "|[  Down  ]          |\n"
       "|                    |\n"
       "|                    |\n"
       "+--------------------+\n"},
      {{Control(K::Static, 1, "Name", 0, 10, 16, 8), Control(K::PushButton, 2, "OK", 20, 7, 24, 14),
        Control(K::PushButton, 3, "Exit", 44, 4, 24, 20)},
       "+- T ----------------+\n"
       "|                    |\n"
       "|Name [ OK ][ Exit ] |\n"
       "|                    |\n"
       "|                    |\n"
       "+--------------------+\n"},
  };
  for (const Case& c : cases) {
    sim::Screen screen;
    screen.windows.emplace_back();
    screen.windows[0].caption = "T";
    screen.windows[0].cx = 80;
    screen.windows[0].cy = 32;
    screen.windows[0].controls = c.controls;
    EXPECT_EQ(sim::RenderScreen(screen), c.drawn);
  }
}

TEST(TerminalRender, AttributesInAnsiMode) {
  sim::Screen screen;
  screen.windows.push_back(SmallDialog());
  sim::RenderOptions options;
  options.ansi = true;
  const std::string out = sim::RenderScreen(screen, options);
  EXPECT_NE(out.find("\x1b[0;1;7m> "), std::string::npos);   // focused default: bold, reversed
  EXPECT_NE(out.find("\x1b[0;1;4;7mI"), std::string::npos);  // its mnemonic underlined
  EXPECT_NE(out.find("\x1b[0;2m(  E"), std::string::npos);   // disabled: dim
  EXPECT_NE(out.find("\r\n"), std::string::npos);            // raw-mode line ends
}

TEST(TerminalRender, MessageBoxOverTheDialogWithItsButtons) {
  sim::Screen screen;
  screen.windows.push_back(SmallDialog());
  screen.windows[0].enabled = false;
  sim::WindowView box;
  box.kind = sim::WindowKind::MessageBox;
  box.caption = "Setup";
  box.text = "Already installed.\n\nReinstall?";
  box.buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
  box.focusedButton = 1;
  screen.windows.push_back(box);
  const std::string out = sim::RenderScreen(screen);
  // The box is centred over the dialog, which stays drawn around it.
  EXPECT_EQ(out.rfind("+- +- Setup --", 0), 0u) << out;
  EXPECT_NE(out.find("| Already installed."), std::string::npos) << out;
  EXPECT_NE(out.find("| Reinstall?"), std::string::npos) << out;
  EXPECT_NE(out.find("| [   OK   ]  > Cancel < |"), std::string::npos) << out;
}

TEST(TerminalRender, ProgressBarFillFollowsTheRange) {
  struct Case {
    int position, low, high;
    const char* bar;
  } cases[] = {
      {0, 0, 100, "[..........]"},  {100, 0, 100, "[##########]"}, {55, 0, 100, "[#####.....]"},
      {15, 10, 20, "[#####.....]"}, {7, 7, 7, "[..........]"},  // an empty range draws nothing
                                                                // filled
  };
  for (const Case& c : cases) {
    sim::WindowView w;
    w.cx = 48;
    w.cy = 8;
    sim::ControlView bar = sim::ControlView();
    bar.kind = sim::ControlKind::ProgressBar;
    bar.cx = 48;
    bar.cy = 8;
    bar.position = c.position;
    bar.rangeMin = c.low;
    bar.rangeMax = c.high;
    w.controls.push_back(bar);
    sim::Screen screen;
    screen.windows.push_back(w);
    EXPECT_NE(sim::RenderScreen(screen).find(c.bar), std::string::npos) << c.position;
  }
}

TEST(TerminalRender, WordWrap) {
  struct Case {
    const char* text;
    int width;
    std::vector<std::string> lines;
  } cases[] = {
      {"one two three", 7, {"one two", "three"}},
      {"one two three", 100, {"one two three"}},
      {"a\n\nb", 10, {"a", "", "b"}},
      {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
      {"", 5, {""}},
      {" Please wait. ", 20, {"Please wait."}},
  };
  for (const Case& c : cases) EXPECT_EQ(sim::WrapText(c.text, c.width), c.lines) << c.text;
}

TEST(TerminalInput, BytesToKeys) {
  using K = sim::TerminalKey::Kind;
  struct Case {
    std::string bytes;
    std::vector<sim::TerminalKey> keys;
  } cases[] = {
      {"\r", {{K::Enter, 0}}},
      {"\r\n", {{K::Enter, 0}}},
      {"\t\x1b[Z", {{K::Tab, 0}, {K::ShiftTab, 0}}},
      {"\x1b", {{K::Escape, 0}}},
      {"\x1b\x1b", {{K::Escape, 0}, {K::Escape, 0}}},
      {"\x1bx", {{K::AltLetter, 'x'}}},
      {"x ", {{K::Letter, 'x'}, {K::Space, 0}}},
      {"\x1b[C\x1b[A", {{K::Tab, 0}, {K::ShiftTab, 0}}},
      {"\x1b[1;5C", {}},  // a modified arrow: passed over
      {"\x1bOP", {}},     // F1
      {"\x03", {{K::Interrupt, 0}}},
      {"\x01\x7f", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(sim::ParseTerminalInput(c.bytes), c.keys);
}

// The help names the buttons Space and Enter press (one item where they are the same),
// the Alt letters of the buttons that can be pressed, and how focused and disabled
// buttons look.
TEST(TerminalInput, KeyHelpNamesWhatTheKeysPress) {
  // SmallDialog: Install (IDOK) focused and the default, Exit disabled.
  sim::WindowView exitFocused = SmallDialog();  // Install disabled, Exit focused, default
  exitFocused.controls[2].enabled = false;
  exitFocused.controls[2].focused = exitFocused.controls[2].isDefault = false;
  exitFocused.controls[3].enabled = true;
  exitFocused.controls[3].focused = exitFocused.controls[3].isDefault = true;
  sim::WindowView defaultUnfocused = SmallDialog();  // nothing focused
  defaultUnfocused.controls[2].focused = false;
  sim::WindowView focusedNotDefault = SmallDialog();  // Install focused, Exit the default
  focusedNotDefault.controls[2].isDefault = false;
  focusedNotDefault.controls[3].enabled = true;
  focusedNotDefault.controls[3].isDefault = true;
  sim::WindowView noDefault = SmallDialog();  // Exit focused, no default: Enter is IDOK's
  noDefault.controls[2].focused = noDefault.controls[2].isDefault = false;
  noDefault.controls[3].enabled = noDefault.controls[3].focused = true;
  sim::WindowView disabledDefault = SmallDialog();  // Exit the default, disabled: Enter
  disabledDefault.controls[2].focused = false;      // is refused, not OK's command
  disabledDefault.controls[2].isDefault = false;
  disabledDefault.controls[3].isDefault = true;
  sim::WindowView box;
  box.kind = sim::WindowKind::MessageBox;
  box.buttons = {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
  box.focusedButton = 1;
  sim::WindowView ownerOfBox = SmallDialog();
  ownerOfBox.enabled = false;
  const std::vector<std::string> always = {"Ctrl+C: quit", "buttons: > focused <  ( disabled )"};
  struct Case {
    std::vector<sim::WindowView> windows;
    std::vector<std::string> items;  // before the two that are always there
  } cases[] = {
      {{SmallDialog()},
       {"Enter/Space: press Install", "Tab: next button", "Alt+I: Install", "Esc: cancel"}},
      {{exitFocused},
       {"Enter/Space: press Exit", "Tab: next button", "Alt+X: Exit", "Esc: cancel"}},
      {{defaultUnfocused},
       {"Enter: press Install", "Tab: next button", "Alt+I: Install", "Esc: cancel"}},
      {{focusedNotDefault},
       {"Space: press Install", "Enter: press Exit", "Tab: next button", "Alt+I: Install",
        "Alt+X: Exit", "Esc: cancel"}},
      {{noDefault},
       {"Space: press Exit", "Enter: press Install", "Tab: next button", "Alt+I: Install",
        "Alt+X: Exit", "Esc: cancel"}},
      {{disabledDefault}, {"Tab: next button", "Alt+I: Install", "Esc: cancel"}},
      {{ownerOfBox, box},
       {"Enter/Space: press No", "Tab: next button", "Alt+Y: Yes", "Alt+N: No", "Esc: cancel"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    sim::Screen screen;
    screen.windows = c.windows;
    std::vector<std::string> expected = c.items;
    expected.insert(expected.end(), always.begin(), always.end());
    EXPECT_EQ(sim::KeyHelp(screen), expected) << sim::DescribeScreen(screen);
  }
}

TEST(TerminalInput, KeysToInputs) {
  auto enter = sim::InputForKey({sim::TerminalKey::Kind::Enter, 0});
  ASSERT_TRUE(enter);
  EXPECT_EQ(enter->kind, sim::Input::Kind::Key);
  EXPECT_EQ(enter->key, sim::Input::Key::Enter);
  auto alt = sim::InputForKey({sim::TerminalKey::Kind::AltLetter, 'i'});
  ASSERT_TRUE(alt);
  EXPECT_EQ(alt->key, sim::Input::Key::AltLetter);
  EXPECT_EQ(alt->letter, 'i');
  EXPECT_FALSE(sim::InputForKey({sim::TerminalKey::Kind::Interrupt, 0}));
}

// The whole front end on a pipe instead of a terminal: keys written to it reach the
// dialog, and every state is drawn to the output.
TEST(TerminalFrontEnd, KeysFromTheInputReachTheDialogAndStatesAreDrawn) {
  int keys[2];
  ASSERT_EQ(pipe(keys), 0);
  std::FILE* output = std::tmpfile();
  ASSERT_NE(output, nullptr);
  auto machine = windows_test::XpMachine();
  sim::ResourceSet resources = windows_test::TestResources();
  INT_PTR result = 0;
  {
    sim::TerminalFrontEnd terminal(keys[0], fileno(output));
    sim::ProcessOptions options;
    options.resources = &resources;
    options.frontEnd = &terminal;
    sim::ProcessScope scope(*machine, options);
    // The user types once the dialog is on the screen: keys that arrive before any
    // window is open reach nothing. Tab, then Enter: the second button ends the dialog.
    sim::WindowManager& windows = scope.process().windows();
    std::thread user([&] {
      const bool shown =
          windows.WaitFor([](const sim::Screen& screen) { return screen.Active() != nullptr; },
                          std::chrono::steady_clock::now() + std::chrono::seconds(10));
      EXPECT_TRUE(shown);
      const char typed[] = "\t\r";
      EXPECT_EQ(write(keys[1], typed, 2), 2);
    });
    windows_test::ProcState state;
    result = windows_test::RunTestDialog(state, windows_test::kNoSystemMenu);
    user.join();
  }
  close(keys[1]);
  close(keys[0]);
  EXPECT_EQ(result, IDCANCEL);
  std::string drawn;
  std::rewind(output);
  for (int c; (c = std::fgetc(output)) != EOF;) drawn += static_cast<char>(c);
  std::fclose(output);
  EXPECT_NE(drawn.find(" Test Setup "), std::string::npos);
  EXPECT_NE(drawn.find("Press Start to begin."), std::string::npos);
  EXPECT_NE(drawn.find("(no window is open)"), std::string::npos);
}

// On a terminal the front end draws on the alternate screen, in place, and when the
// program ends leaves one drawing on the normal screen: the last state that had a window,
// without the key help.
TEST(TerminalFrontEnd, DrawsOnTheAlternateScreenAndLeavesTheLastStateOnce) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  std::string drawn;  // read all along: a full terminal would block the drawing
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) drawn.append(buffer, n);
  });
  auto machine = windows_test::XpMachine();
  sim::ResourceSet resources = windows_test::TestResources();
  INT_PTR result = 0;
  {
    sim::TerminalFrontEnd front(terminal, terminal);
    sim::ProcessOptions options;
    options.resources = &resources;
    options.frontEnd = &front;
    sim::ProcessScope scope(*machine, options);
    sim::WindowManager& windows = scope.process().windows();
    std::thread user([&] {
      EXPECT_TRUE(
          windows.WaitFor([](const sim::Screen& screen) { return screen.Active() != nullptr; },
                          std::chrono::steady_clock::now() + std::chrono::seconds(10)));
      EXPECT_EQ(write(master, "\t\r", 2), 2);  // Tab to Exit, Enter
    });
    windows_test::ProcState state;
    result = windows_test::RunTestDialog(state, windows_test::kNoSystemMenu);
    user.join();
  }
  close(terminal);  // the reader sees the end once the last descriptor of the terminal goes
  reader.join();
  close(master);
  EXPECT_EQ(result, IDCANCEL);
  const size_t enter = drawn.find("\x1b[?1049h");
  const size_t leave = drawn.find("\x1b[?1049l");
  ASSERT_NE(enter, std::string::npos) << drawn;
  ASSERT_NE(leave, std::string::npos) << drawn;
  EXPECT_EQ(drawn.find(" Test Setup "), drawn.find(" Test Setup ", enter));  // none before
  EXPECT_EQ(drawn.find("\x1b[2J"), std::string::npos);  // never cleared into the scrollback
  const std::string normal = drawn.substr(leave);
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = normal.find(what); at != std::string::npos; at = normal.find(what, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count(" Test Setup "), 1u) << normal;
  EXPECT_EQ(count("> "), 1u) << normal;  // the last state: Exit focused
  EXPECT_NE(normal.find("E\x1b[0;1;4;7mx"), std::string::npos) << normal;  // its letter marked
  EXPECT_EQ(count("(no window is open)"), 0u) << normal;
  EXPECT_EQ(count("Ctrl+C"), 0u) << normal;
}

}  // namespace
