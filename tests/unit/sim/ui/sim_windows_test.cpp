// The simulated windows: dialogs from templates, their procedures and modal loops, keys,
// the close box and system menu, controls changed by a worker thread, message boxes,
// progress bars, painting, client sizes and ExitWindowsEx.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/ui/window_manager.h"
#include "tests/unit/sim/ui/sim_windows_test_support.h"

namespace {

using namespace windows_test;

sim::FaultRule FaultOn(const char* call, uint32_t error) {
  sim::FaultRule rule;
  rule.call = call;
  rule.error = error;
  return rule;
}

struct ScriptedDialog {
  std::unique_ptr<sim::Machine> machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  std::unique_ptr<sim::ScriptFrontEnd> script;
  ProcState state;
  INT_PTR result = 0;
  std::string report;
  bool passed = false;

  // Runs the test dialog under `scriptText`; `before` runs in the process first.
  void Go(const std::string& scriptText, int templateId = kDialog,
          const std::function<void()>& before = {}) {
    script = Script(scriptText);
    ASSERT_TRUE(script);
    sim::ProcessOptions options;
    options.resources = &resources;
    options.frontEnd = script.get();
    sim::ProcessScope scope(*machine, options);
    InitCommonControls();
    if (before) before();
    result = RunTestDialog(state, templateId);
    passed = script->Finish();
    report = script->Report();
  }
};

TEST(SimWindows, ButtonPressReachesTheProcedureAndEndDialogGivesTheResult) {
  ScriptedDialog run;
  HWND okButton = nullptr;
  LPARAM clickedWith = 0;
  run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM lp) -> INT_PTR {
    if (m == WM_INITDIALOG) okButton = GetDlgItem(w, IDOK);
    if (m == WM_COMMAND && LOWORD(wp) == IDOK) {
      clickedWith = lp;
      EXPECT_EQ(GetFocus(), okButton);  // a click focuses the button
      EndDialog(w, 42);
      return TRUE;
    }
    return DefaultHandling(w, m, wp);
  };
  run.Go("expect \"Press Start...\"\nexpect-focus 1\npress \"Start\"\nwait-closed\n");
  EXPECT_TRUE(run.passed) << run.report;
  EXPECT_EQ(run.result, 42);
  EXPECT_EQ(clickedWith, reinterpret_cast<LPARAM>(okButton));
  EXPECT_EQ(run.state.log, (std::vector<std::string>{"init", "command 1", "destroy"}));
}

TEST(SimWindows, InitDialogResultDecidesTheFirstFocus) {
  struct Case {
    INT_PTR initResult;
    int focusedByProcedure;
    int expectedFocus;
  } cases[] = {
      {TRUE, IDCANCEL, IDOK},       // the system puts the focus on the first tab stop
      {FALSE, IDCANCEL, IDCANCEL},  // the procedure's own choice stands
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.initResult);
    ScriptedDialog run;
    run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
      if (m == WM_INITDIALOG) {
        SetFocus(GetDlgItem(w, c.focusedByProcedure));
        return c.initResult;
      }
      return DefaultHandling(w, m, wp);
    };
    run.Go("expect-focus " + std::to_string(c.expectedFocus) + "\nkey Esc\nwait-closed\n");
    EXPECT_TRUE(run.passed) << run.report;
    EXPECT_EQ(run.result, IDCANCEL);
  }
}

TEST(SimWindows, KeysCloseBoxAndSystemMenuBecomeCommands) {
  struct Case {
    const char* name;
    std::string script;
    int templateId;
    INT_PTR result;
    std::vector<std::string> log;
  } cases[] = {
      {"Esc is Cancel",
       "key Esc\nwait-closed\n",
       kDialog,
       IDCANCEL,
       {"init", "command 2", "destroy"}},
      {"Enter presses the focused button",
       "key Tab\nexpect-focus 2\nkey Enter\nwait-closed\n",
       kDialog,
       IDCANCEL,
       {"init", "command 2", "destroy"}},
      {"Enter presses the default button",
       "key Enter\nwait-closed\n",
       kDialog,
       IDOK,
       {"init", "command 1", "destroy"}},
      {"Space presses the focused button",
       "key Space\nwait-closed\n",
       kDialog,
       IDOK,
       {"init", "command 1", "destroy"}},
      {"Alt and the mnemonic",
       "key Alt+x\nwait-closed\n",
       kDialog,
       IDCANCEL,
       {"init", "command 2", "destroy"}},
      {"the mnemonic alone",
       "key S\nwait-closed\n",
       kDialog,
       IDOK,
       {"init", "command 1", "destroy"}},
      {"close box",
       "close\nwait-closed\n",
       kDialog,
       IDCANCEL,
       {"init", "syscommand 61536", "close", "command 2", "destroy"}},
      {"system menu Close",
       "sysmenu 0xF060\nwait-closed\n",
       kDialog,
       IDCANCEL,
       {"init", "syscommand 61536", "close", "command 2", "destroy"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDialog run;
    run.Go(c.script, c.templateId);
    EXPECT_TRUE(run.passed) << run.report;
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.state.log, c.log);
  }
}

TEST(SimWindows, EscIsCancelEvenWithTheCancelButtonDisabled) {
  ScriptedDialog run;
  run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) EnableWindow(GetDlgItem(w, IDCANCEL), FALSE);
    return DefaultHandling(w, m, wp);
  };
  run.Go("expect-state 2 disabled\nkey Esc\nwait-closed\n");
  EXPECT_TRUE(run.passed) << run.report;
  EXPECT_EQ(run.result, IDCANCEL);
}

TEST(SimWindows, WhatCannotBePressedStopsTheRunWithAReport) {
  struct Case {
    const char* name;
    std::string script;
    int templateId;
    const char* why;
  } cases[] = {
      {"disabled button", "expect-state 1 disabled\npress 1\n", kDialog,
       "button 1 \"&Start\" is disabled"},
      {"Enter on a disabled default", "expect-state 1 disabled\nkey Enter\n", kDialog,
       "button 1 \"&Start\" is disabled"},
      {"no close box", "close\n", kNoSystemMenu, "no close box"},
      {"no system menu", "sysmenu 16\n", kNoSystemMenu, "has no system menu"},
      {"unknown menu command", "sysmenu 16\n", kDialog, "has no command 16"},
      {"unknown mnemonic", "key Alt+q\n", kDialog, "mnemonic Q"},
      {"no such button", "timeout 200\npress 77\n", kDialog, "no dialog has the button 77"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDialog run;
    run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
      if (m == WM_INITDIALOG) {
        EnableWindow(GetDlgItem(w, IDOK), FALSE);
        return FALSE;  // no focus: Enter goes to the default button
      }
      return DefaultHandling(w, m, wp);
    };
    run.Go(c.script, c.templateId);
    EXPECT_FALSE(run.passed);
    EXPECT_NE(run.report.find(c.why), std::string::npos) << run.report;
    EXPECT_EQ(run.result, -1);  // the run was stopped: the modal loop gave up
    EXPECT_EQ(run.state.log, (std::vector<std::string>{"init", "destroy"}));
  }
}

// A worker started by the OK button changes the controls while the dialog's thread sits in
// its modal loop; the script waits for each change.
TEST(SimWindows, WorkerThreadChangesControlsWhileTheDialogWaits) {
  ScriptedDialog run;
  std::atomic<int> previousPosition{-1};
  std::atomic<bool> focusFromWorker{true};
  std::string readBack;
  static HWND dialog;
  run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && LOWORD(wp) == IDOK) {
      dialog = w;
      EnableWindow(GetDlgItem(w, IDOK), FALSE);
      EnableWindow(GetDlgItem(w, IDCANCEL), FALSE);
      auto worker = [](LPVOID p) -> DWORD {
        auto* out = static_cast<std::pair<std::atomic<int>*, std::string*>*>(p);
        SetWindowTextA(GetDlgItem(dialog, kStatus), "Working...");
        for (int pos : {10, 40, 70})
          SendMessageA(GetDlgItem(dialog, kProgress), PBM_SETPOS, pos, 0);
        out->first->store(
            static_cast<int>(SendMessageA(GetDlgItem(dialog, kProgress), PBM_SETPOS, 100, 0)));
        char text[64];
        GetWindowTextA(GetDlgItem(dialog, kStatus), text,
                       sizeof text);  // answered by the dialog thread
        *out->second = text;
        EnableWindow(GetDlgItem(dialog, IDCANCEL), TRUE);
        SetWindowTextA(GetDlgItem(dialog, IDCANCEL), "Close");
        SetDlgItemTextA(dialog, kStatus, "Done.");
        return 0;
      };
      static std::pair<std::atomic<int>*, std::string*> out;
      out = {&previousPosition, &readBack};
      HANDLE t = CreateThread(nullptr, 0, worker, &out, 0, nullptr);
      EXPECT_NE(t, nullptr);
      CloseHandle(t);
      return TRUE;
    }
    return DefaultHandling(w, m, wp);
  };
  run.Go(
      "press \"&Start\"\n"
      "expect-state 1 disabled\n"
      "expect-progress 1002 100\n"
      "expect \"Done.\"\n"
      "expect-text 2 \"Close\"\n"
      "expect-state 2 enabled\n"
      "press \"Close\"\n"
      "wait-closed\n");
  EXPECT_TRUE(run.passed) << run.report;
  EXPECT_EQ(run.result, IDCANCEL);
  EXPECT_EQ(previousPosition.load(), 70);
  EXPECT_EQ(readBack, "Working...");
  (void)focusFromWorker;
}

// Only the window's own thread moves the focus; a worker asks the dialog with
// WM_NEXTDLGCTL, which the dialog's thread carries out.
TEST(SimWindows, FocusFromAWorkerNeedsTheDialogsThread) {
  ScriptedDialog run;
  static HWND dialog;
  static std::atomic<bool> setFocusFailed{false};
  run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && LOWORD(wp) == IDOK) {
      dialog = w;
      auto worker = [](LPVOID) -> DWORD {
        HWND exitButton = GetDlgItem(dialog, IDCANCEL);
        setFocusFailed = SetFocus(exitButton) == nullptr;
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(exitButton), TRUE);
        return 0;
      };
      CloseHandle(CreateThread(nullptr, 0, worker, nullptr, 0, nullptr));
      return TRUE;
    }
    return DefaultHandling(w, m, wp);
  };
  run.Go("press 1\nexpect-focus 2\nkey Enter\nwait-closed\n");
  EXPECT_TRUE(run.passed) << run.report;
  EXPECT_TRUE(setFocusFailed.load());
  EXPECT_EQ(run.result, IDCANCEL);
}

TEST(SimWindows, MessageBoxesAreAnsweredByTheScriptOnEitherThread) {
  ScriptedDialog run;
  static HWND dialog;
  static std::atomic<int> workerAnswer{0};
  int dialogAnswer = 0;
  run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && LOWORD(wp) == IDOK) {
      dialog = w;
      dialogAnswer = MessageBoxA(w, "Go on?", "Test Setup", MB_OKCANCEL);
      auto worker = [](LPVOID) -> DWORD {
        workerAnswer = MessageBoxA(dialog, "Reinstall?\n\nSure?", "Test Setup", MB_YESNO);
        SetDlgItemTextA(dialog, kStatus, workerAnswer == IDNO ? "Kept." : "Redone.");
        return 0;
      };
      CloseHandle(CreateThread(nullptr, 0, worker, nullptr, 0, nullptr));
      return TRUE;
    }
    return DefaultHandling(w, m, wp);
  };
  run.Go(
      "press 1\n"
      "box \"Go on?\" answer Cancel\n"
      "box \"Reinstall?\\n\\nSure?\" answer No\n"
      "expect \"Kept.\"\n"
      "key Esc\n"
      "wait-closed\n");
  EXPECT_TRUE(run.passed) << run.report;
  EXPECT_EQ(dialogAnswer, IDCANCEL);
  EXPECT_EQ(workerAnswer.load(), IDNO);
  ASSERT_EQ(run.machine != nullptr, true);
}

TEST(SimWindows, MessageBoxKeysFollowTheBoxType) {
  struct Case {
    UINT type;
    const char* key;
    int answer;  // 0: the key is refused
  } cases[] = {
      {MB_OK, "Esc", IDOK},
      {MB_OKCANCEL, "Esc", IDCANCEL},
      {MB_YESNO, "Esc", 0},
      {MB_YESNO, "Enter", IDYES},
      {MB_YESNO | MB_DEFBUTTON2, "Enter", IDNO},
      {MB_YESNO, "Alt+n", IDNO},
      {MB_OKCANCEL, "Tab", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " type " + std::to_string(c.type));
    auto machine = XpMachine();
    std::string text = std::string("key ") + c.key + "\n";
    if (c.answer == -1) text += "key Enter\n";  // Tab moved to Cancel
    auto script = Script(text);
    sim::ProcessOptions options;
    options.frontEnd = script.get();
    int answer = 0;
    {
      sim::ProcessScope scope(*machine, options);
      answer = MessageBoxA(nullptr, "Question", "T", c.type);
      ASSERT_EQ(scope.process().messageBoxes.size(), 1u);
      EXPECT_EQ(scope.process().messageBoxes[0].answer, answer);
    }
    const bool passed = script->Finish();
    if (c.answer == 0) {
      EXPECT_FALSE(passed);
      EXPECT_EQ(answer, 0);
    } else {
      EXPECT_TRUE(passed) << script->Report();
      EXPECT_EQ(answer, c.answer == -1 ? IDCANCEL : c.answer);
    }
  }
}

TEST(SimWindows, ProgressBarRules) {
  auto machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*machine, options);
  InitCommonControls();
  ProcState state;
  HWND dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(kDialog), nullptr, &LoggingProc,
                                   reinterpret_cast<LPARAM>(&state));
  ASSERT_NE(dialog, nullptr);
  HWND bar = GetDlgItem(dialog, kProgress);
  ASSERT_NE(bar, nullptr);
  struct Step {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
    int positionAfter;
  } steps[] = {
      {PBM_GETPOS, 0, 0, 0, 0},
      {PBM_SETPOS, 30, 0, 0, 30},  // returns the previous position
      {PBM_SETPOS, 100, 0, 30, 100},
      {PBM_SETPOS, 101, 0, 100, 100},                    // clamped to the default range
      {PBM_SETPOS, static_cast<WPARAM>(-5), 0, 100, 0},  // and at the bottom
      {PBM_GETRANGE, TRUE, 0, 0, 0},                     // low end
      {PBM_GETRANGE, FALSE, 0, 100, 0},                  // high end
      {PBM_SETPOS, 90, 0, 0, 90},
      {PBM_SETRANGE, 0, MAKELPARAM(10, 50), MAKELONG(0, 100), 50},  // position clamped
      {PBM_DELTAPOS, static_cast<WPARAM>(-45), 0, 50, 10},
      {PBM_SETSTEP, 15, 0, 10, 10},
      {PBM_STEPIT, 0, 0, 10, 25},
      {PBM_SETRANGE32, 0, 1000, MAKELONG(10, 50), 25},
      {PBM_SETPOS, 999, 0, 25, 999},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.message);
    EXPECT_EQ(SendMessageA(bar, s.message, s.wParam, s.lParam), s.result);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), s.positionAfter);
  }
  // A plain static control knows nothing of progress messages.
  EXPECT_EQ(SendMessageA(GetDlgItem(dialog, kStatus), PBM_SETPOS, 50, 0), 0);
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_FALSE(IsWindow(bar));
}

TEST(SimWindows, SystemMenuExistsOnlyWithTheSystemMenuStyle) {
  auto machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*machine, options);
  InitCommonControls();
  ProcState state;
  HWND plain = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(kNoSystemMenu), nullptr, &LoggingProc,
                                  reinterpret_cast<LPARAM>(&state));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(GetSystemMenu(plain, FALSE), nullptr);
  HWND withMenu = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(kDialog), nullptr, &LoggingProc,
                                     reinterpret_cast<LPARAM>(&state));
  HMENU menu = GetSystemMenu(withMenu, FALSE);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetSystemMenu(withMenu, FALSE), menu);  // the same copy each time
  EXPECT_TRUE(AppendMenuA(menu, MF_SEPARATOR, 0, nullptr));
  EXPECT_TRUE(AppendMenuA(menu, MF_STRING, 16, "&About Test..."));
  const sim::Screen screen = scope.process().windows().Snapshot();
  const sim::WindowView* view = screen.Find(reinterpret_cast<uintptr_t>(withMenu));
  ASSERT_NE(view, nullptr);
  ASSERT_GE(view->systemMenu.size(), 2u);
  EXPECT_EQ(view->systemMenu.back().command, 16);
  EXPECT_EQ(view->systemMenu.back().text, "&About Test...");
  EXPECT_EQ(view->systemMenu[view->systemMenu.size() - 2].command, 0);
  SetLastError(0);
  EXPECT_FALSE(AppendMenuA(reinterpret_cast<HMENU>(0x1234), MF_STRING, 17, "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
  EXPECT_EQ(GetSystemMenu(withMenu, TRUE), nullptr);  // revert: the added entries go
  DestroyWindow(plain);
  DestroyWindow(withMenu);
}

TEST(SimWindows, AboutCommandOfTheSystemMenuReachesTheProcedure) {
  ScriptedDialog run;
  run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      HMENU menu = GetSystemMenu(w, FALSE);
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, 16, "&About...");
    }
    if (m == WM_SYSCOMMAND && (wp & 0xFFF0) == 16) {
      SetDlgItemTextA(w, kStatus, "About shown");
      return TRUE;
    }
    return DefaultHandling(w, m, wp);
  };
  run.Go("sysmenu 16\nexpect \"About shown\"\nkey Esc\nwait-closed\n");
  EXPECT_TRUE(run.passed) << run.report;
  EXPECT_EQ(run.state.log,
            (std::vector<std::string>{"init", "syscommand 16", "command 2", "destroy"}));
}

TEST(SimWindows, MinimisedDialogPaintsItsIconCentred) {
  ScriptedDialog run;
  HICON icon = reinterpret_cast<HICON>(static_cast<uintptr_t>(0x5000));
  std::vector<sim::DrawnIcon> drawn;
  bool iconicWhenPainted = false;
  run.state.handler = [&](HWND w, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
    if (m == WM_PAINT && IsIconic(w)) {
      iconicWhenPainted = true;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(w, &ps);
      RECT r;
      GetClientRect(w, &r);
      DrawIcon(dc, (r.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
               (r.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, icon);
      EndPaint(w, &ps);
      drawn = sim::CurrentProcess().windows().DrawnIcons(w);
      SendMessageA(w, WM_SYSCOMMAND, SC_RESTORE, 0);
      return TRUE;
    }
    return DefaultHandling(w, m, wp);
  };
  run.Go("sysmenu 0xF020\nkey Esc\nwait-closed\n", kMinimizable);
  EXPECT_TRUE(run.passed) << run.report;
  EXPECT_TRUE(iconicWhenPainted);
  ASSERT_EQ(drawn.size(), 1u);
  // 200 x 100 dialog units in MS Sans Serif 8 (6 x 13 base units): 300 x 163 pixels.
  EXPECT_EQ(drawn[0].x, (300 - 32 + 1) / 2);
  EXPECT_EQ(drawn[0].y, (163 - 32 + 1) / 2);
  EXPECT_EQ(drawn[0].icon, icon);
}

TEST(SimWindows, ClientRectsInPixelsFromTheTemplateFont) {
  auto machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  sim::DialogTemplate noFont = TestDialog(300, 0, false);
  noFont.style &= ~static_cast<uint32_t>(DS_SETFONT);
  resources.dialogs[300] = noFont;
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*machine, options);
  ProcState state;
  struct Case {
    int templateId;
    int control;  // 0: the dialog
    LONG right, bottom;
  } cases[] = {
      {kNoSystemMenu, 0, 300, 163},   // 200 x 100 at 6 x 13
      {kNoSystemMenu, IDOK, 75, 23},  // 50 x 14
      {300, 0, 400, 200},             // the system font: 8 x 16
  };
  for (const Case& c : cases) {
    HWND dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(c.templateId), nullptr, &LoggingProc,
                                     reinterpret_cast<LPARAM>(&state));
    ASSERT_NE(dialog, nullptr);
    RECT r{-1, -1, -1, -1};
    ASSERT_TRUE(GetClientRect(c.control ? GetDlgItem(dialog, c.control) : dialog, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, c.right);
    EXPECT_EQ(r.bottom, c.bottom);
    DestroyWindow(dialog);
  }
}

TEST(SimWindows, DialogCreationFailures) {
  auto machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*machine, options);
  ProcState state;
  // The progress bar's class is there only once the common controls are initialised.
  SetLastError(0);
  EXPECT_EQ(RunTestDialog(state, kDialog), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_TRUE(state.log.empty());
  EXPECT_EQ(RunTestDialog(state, 999), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kNoSystemMenu),
                            reinterpret_cast<HWND>(0x4444), &LoggingProc, 0),
            0);  // an invalid owner
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  scope.process().machine.faults.Add(FaultOn("DialogBoxParamA", ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(RunTestDialog(state, kNoSystemMenu), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(SimWindows, WindowsBelongToTheirThread) {
  auto machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*machine, options);
  ProcState state;
  HWND dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(kNoSystemMenu), nullptr, &LoggingProc,
                                   reinterpret_cast<LPARAM>(&state));
  ASSERT_NE(dialog, nullptr);
  HWND button = GetDlgItem(dialog, IDOK);
  EXPECT_EQ(GetParent(button), dialog);
  EXPECT_EQ(GetParent(dialog), nullptr);
  EXPECT_EQ(GetDlgCtrlID(button), IDOK);
  EXPECT_EQ(GetDlgItem(dialog, 4242), nullptr);
  EXPECT_FALSE(EnableWindow(button, FALSE));  // was enabled
  EXPECT_TRUE(EnableWindow(button, FALSE));   // was disabled
  EXPECT_FALSE(IsWindowEnabled(button));
  EXPECT_EQ(SetFocus(button), nullptr);  // a disabled window takes no focus
  std::atomic<BOOL> destroyedElsewhere{TRUE};
  std::atomic<DWORD> error{0};
  std::thread other([&] {
    destroyedElsewhere = DestroyWindow(dialog);
    error = GetLastError();
  });
  other.join();
  EXPECT_FALSE(destroyedElsewhere.load());
  EXPECT_EQ(error.load(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DestroyWindow(dialog));
  SetLastError(0);
  EXPECT_EQ(SendMessageA(dialog, WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(SetWindowTextA(button, "x"));
  char text[8] = "junk";
  EXPECT_EQ(GetWindowTextA(button, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
}

TEST(SimWindows, WindowTextRoundTripsAndTruncates) {
  auto machine = XpMachine();
  sim::ResourceSet resources = TestResources();
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*machine, options);
  ProcState state;
  HWND dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(kNoSystemMenu), nullptr, &LoggingProc,
                                   reinterpret_cast<LPARAM>(&state));
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(SetDlgItemTextA(dialog, kStatus, "Installation completed."));
  HWND status = GetDlgItem(dialog, kStatus);
  EXPECT_EQ(GetWindowTextLengthA(status), 23);
  char small[6];
  EXPECT_EQ(GetWindowTextA(status, small, sizeof small), 5);
  EXPECT_STREQ(small, "Insta");
  char whole[64];
  EXPECT_EQ(GetDlgItemTextA(dialog, kStatus, whole, sizeof whole), 23u);
  EXPECT_STREQ(whole, "Installation completed.");
  EXPECT_EQ(GetWindowTextA(dialog, whole, sizeof whole), 10);  // the caption
  EXPECT_STREQ(whole, "Test Setup");
  scope.process().machine.faults.Add(FaultOn("SetWindowTextA", ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetWindowTextA(status, "no"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetWindowTextA(status, whole, sizeof whole), 23);
  DestroyWindow(dialog);
}

TEST(SimWindows, ExitWindowsExNeedsTheShutdownPrivilege) {
  struct Case {
    bool privilegeEnabled;
    UINT flags;
    BOOL result;
    DWORD error;
  } cases[] = {
      {true, EWX_SHUTDOWN | EWX_REBOOT, TRUE, 0},
      {false, EWX_SHUTDOWN | EWX_REBOOT, FALSE, ERROR_PRIVILEGE_NOT_HELD},
      {false, EWX_POWEROFF, FALSE, ERROR_PRIVILEGE_NOT_HELD},
      {false, EWX_LOGOFF, TRUE, 0},  // a log-off needs no privilege
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    auto machine = XpMachine();
    sim::ProcessScope scope(*machine);
    scope.process().privileges[SE_SHUTDOWN_NAME] = c.privilegeEnabled;
    SetLastError(0);
    EXPECT_EQ(ExitWindowsEx(c.flags, 0xFFFFFFFF), c.result);
    EXPECT_EQ(GetLastError(), c.error);
    if (c.result) {
      EXPECT_EQ(machine->restartRequests,
                (std::vector<sim::RestartRequest>{{c.flags, 0xFFFFFFFF}}));
    } else {
      EXPECT_TRUE(machine->restartRequests.empty());
    }
  }
}

TEST(SimWindows, ScriptThatEndsWhileTheDialogWaitsAbandonsTheRun) {
  ScriptedDialog run;
  run.Go("timeout 300\nexpect \"Test Setup\"\n");
  EXPECT_FALSE(run.passed);
  EXPECT_NE(run.report.find("still waits for input"), std::string::npos) << run.report;
  EXPECT_EQ(run.result, -1);
}

}  // namespace
