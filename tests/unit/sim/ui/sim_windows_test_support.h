// Shared pieces of the window tests: a small hand-built resource set with a test dialog,
// a dialog procedure that logs what it receives, and a script front end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/ui/dialog_template.h"
#include "platform/sim/ui/front_end_script.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace windows_test {

constexpr int kDialog = 200;        // system menu, progress bar
constexpr int kNoSystemMenu = 201;  // like the installer's main dialog
constexpr int kMinimizable = 202;   // system menu with minimise box
constexpr int kAbout = 203;         // a small box with an OK button
constexpr int kStatus = 1000;
constexpr int kProgress = 1002;
constexpr uint32_t kDialogStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;

inline sim::ControlTemplate Control(const char* className, int id, const char* text, uint32_t style,
                                    int x, int y, int cx, int cy) {
  sim::ControlTemplate c;
  c.className = className;
  c.id = id;
  c.text = text;
  c.style = WS_CHILD | WS_VISIBLE | style;
  c.x = x;
  c.y = y;
  c.cx = cx;
  c.cy = cy;
  return c;
}

inline sim::DialogTemplate TestDialog(int id, uint32_t extraStyle, bool withProgress) {
  sim::DialogTemplate d;
  d.id = id;
  d.caption = "Test Setup";
  d.style = kDialogStyle | extraStyle;
  d.cx = 200;
  d.cy = 100;
  d.fontName = "MS Sans Serif";
  d.fontPointSize = 8;
  d.controls.push_back(
      Control("Button", IDOK, "&Start", BS_DEFPUSHBUTTON | WS_TABSTOP, 20, 70, 50, 14));
  d.controls.push_back(
      Control("Button", IDCANCEL, "E&xit", BS_PUSHBUTTON | WS_TABSTOP, 130, 70, 50, 14));
  d.controls.push_back(
      Control("Static", kStatus, "Press Start to begin.", SS_CENTER | WS_GROUP, 10, 10, 180, 30));
  if (withProgress)
    d.controls.push_back(Control(PROGRESS_CLASSA, kProgress, "", 0, 10, 45, 180, 10));
  d.controls.push_back(Control("Static", -1, "#128", SS_ICON, 2, 2, 20, 20));
  return d;
}

inline sim::ResourceSet TestResources() {
  sim::ResourceSet r;
  r.dialogs[kDialog] = TestDialog(kDialog, WS_SYSMENU, true);
  r.dialogs[kNoSystemMenu] = TestDialog(kNoSystemMenu, 0, false);
  r.dialogs[kMinimizable] = TestDialog(kMinimizable, WS_SYSMENU | WS_MINIMIZEBOX, false);
  sim::DialogTemplate about;
  about.id = kAbout;
  about.caption = "About Test";
  about.style = kDialogStyle | WS_SYSMENU;
  about.cx = 120;
  about.cy = 40;
  about.fontName = "MS Sans Serif";
  about.fontPointSize = 8;
  about.controls.push_back(Control("Static", -1, "Test Version 1.0", SS_LEFT, 10, 10, 80, 8));
  about.controls.push_back(
      Control("Button", IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 80, 20, 30, 14));
  r.dialogs[kAbout] = about;
  r.icons.insert(128);
  return r;
}

inline std::unique_ptr<sim::Machine> XpMachine() {
  std::string error;
  auto machine = sim::MachineFromEdition("xp", &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

inline std::unique_ptr<sim::ScriptFrontEnd> Script(const std::string& text, int timeoutMs = 3000) {
  sim::ScriptFrontEnd::Options options;
  options.timeout = std::chrono::milliseconds(timeoutMs);
  std::string error;
  auto script = sim::ScriptFrontEnd::FromText(text, "test.script", options, &error);
  EXPECT_TRUE(script) << error;
  return script;
}

// A dialog procedure's state: what it received (written on the dialog's thread only)
// and what it does; without a handler it ends on IDOK and IDCANCEL with their ids.
struct ProcState {
  std::vector<std::string> log;
  std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handler;
};

inline INT_PTR DefaultHandling(HWND window, UINT message, WPARAM wParam) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
      (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(window, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

inline ProcState*& CurrentProcState() {
  static ProcState* state = nullptr;
  return state;
}

inline INT_PTR CALLBACK LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) CurrentProcState() = reinterpret_cast<ProcState*>(lParam);
  ProcState* state = CurrentProcState();
  if (!state) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      state->log.push_back("init");
      break;
    case WM_COMMAND:
      state->log.push_back("command " + std::to_string(LOWORD(wParam)));
      break;
    case WM_SYSCOMMAND:
      state->log.push_back("syscommand " + std::to_string(wParam));
      break;
    case WM_CLOSE:
      state->log.push_back("close");
      break;
    case WM_DESTROY:
      state->log.push_back("destroy");
      break;
    default:
      break;
  }
  if (state->handler) return state->handler(window, message, wParam, lParam);
  return DefaultHandling(window, message, wParam);
}

inline INT_PTR RunTestDialog(ProcState& state, int templateId = kDialog) {
  return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(templateId), nullptr, &LoggingProc,
                         reinterpret_cast<LPARAM>(&state));
}

}  // namespace windows_test
