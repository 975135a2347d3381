// What the driver sees of a running program: its top-level windows in Z order (the
// topmost first) and their controls, read through USER32 as any other process may.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace wine_driver {

struct ControlState {
  HWND handle = nullptr;
  int id = 0;
  std::string className;
  std::string text;
  bool enabled = false;
  bool visible = false;
};

struct WindowState {
  HWND handle = nullptr;
  std::string className;
  std::string caption;
  bool enabled = false;
  std::vector<ControlState> controls;

  const ControlState* Control(int id) const;
  // A message box: a dialog with the static text and the icon that MessageBox gives its
  // text (id 0xFFFF) and its icon (id 20 on Windows, 1088 under Wine).
  bool IsMessageBox() const;
};

// The visible top-level windows of the process, topmost first.
std::vector<WindowState> ReadProgramWindows(DWORD processId);

// The topmost window that is not a message box (what the scripts call the top dialog).
const WindowState* TopDialog(const std::vector<WindowState>& windows);

// Control `id` of the top dialog; null when there is none.
const ControlState* FindControl(const std::vector<WindowState>& windows, int id);

// Whether the control has the keyboard focus of its window's thread.
bool HasFocus(HWND control);

// A readable listing of the windows, for failure reports.
std::string Describe(const std::vector<WindowState>& windows);

}  // namespace wine_driver
