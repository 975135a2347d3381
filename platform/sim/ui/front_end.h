// What a front end sees of the simulated screen and what it can do there. The window
// manager hands the front end a snapshot of the open windows after every change, and the
// front end answers with inputs (a button press, a key, the close box, a system-menu
// command, a message-box answer), which the window manager carries out on the thread that
// owns the window, as Windows delivers input to a window's own thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/script/scenario_script.h"

namespace sim {

enum class ControlKind { PushButton, Static, Icon, GroupBox, ProgressBar, Other };

struct ControlView {
  uintptr_t handle = 0;
  int id = -1;
  ControlKind kind = ControlKind::Other;
  std::string className;
  std::string text;
  uint32_t style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  bool visible = true;
  bool enabled = true;
  bool focused = false;
  bool isDefault = false;  // the button Enter presses when no push button has the focus
  int position = 0, rangeMin = 0, rangeMax = 100;  // progress bars
};

struct MenuItemView {
  int command = 0;  // 0 for a separator
  std::string text;
};

enum class WindowKind { Dialog, MessageBox };

struct WindowView {
  uintptr_t handle = 0;
  WindowKind kind = WindowKind::Dialog;
  int templateId = 0;
  std::string caption;
  std::string text;  // a message box's text
  uint32_t style = 0;
  uint32_t boxType = 0;  // a message box's MB_* flags
  int cx = 0, cy = 0;    // a dialog's client size in dialog units
  bool enabled = true;   // false while a modal window it owns is open
  bool minimized = false;
  bool hasSystemMenu = false;
  std::vector<MenuItemView> systemMenu;
  std::vector<ControlView> controls;                 // a dialog's, in tab order
  std::vector<std::pair<int, std::string>> buttons;  // a message box's: answer id, label
  int focusedButton = 0;                             // a message box's, index into buttons
};

struct Screen {
  uint64_t version = 0;
  // The open top-level windows in the order they opened; the last one is on top.
  std::vector<WindowView> windows;

  // The window keys go to: the topmost one that is enabled; null when none is open.
  const WindowView* Active() const;
  // The topmost dialog (enabled or not); null when none is open.
  const WindowView* TopDialog() const;
  const WindowView* Find(uintptr_t handle) const;
};

// The control with this id, or null.
const ControlView* FindControl(const WindowView& window, int id);

// A dialog's or box's state as text, one line per control, for reports and the demo.
std::string DescribeWindow(const WindowView& window);
std::string DescribeScreen(const Screen& screen);

// A caption without its mnemonic marks: "E&xit" -> "Exit", "&&" -> "&".
using scenario::WithoutMnemonics;
// The mnemonic letter of a caption, upper-cased, or 0.
char MnemonicOf(const std::string& text);

struct Input {
  enum class Kind { Button, Key, CloseBox, SystemCommand, Answer };
  enum class Key { None, Enter, Escape, Tab, ShiftTab, Space, Letter, AltLetter };
  Kind kind = Kind::Key;
  uintptr_t window = 0;  // the dialog or box; 0 for the active window
  int id = 0;            // button id, system-menu command or box answer (IDOK, ...)
  Key key = Key::None;
  char letter = 0;  // for Letter and AltLetter
};

std::string DescribeInput(const Input& input);

class WindowManager;

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // The process starts: from now on inputs go to `windows` (WindowManager::Deliver).
  virtual void Attach(WindowManager& windows) = 0;
  // The screen changed. Called with the window manager's lock held, on whichever thread
  // made the change: it must not call Win32 or the window manager.
  virtual void Show(const Screen& screen) = 0;
  // The process ends; the window manager is about to go.
  virtual void Detach() = 0;
};

}  // namespace sim
