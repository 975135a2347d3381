// The dialog layer as the programs use it: a modal dialog from the program's own template,
// its controls, texts, enabled states, focus and default button; the progress bar's and the
// icon's messages; EndDialog's result; a command sent from another thread; a message box
// owned by the dialog; the system menu; painting the minimised icon. No person is needed:
// each case drives its dialog from its own dialog procedure or from a second thread.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "env/environment.h"

namespace conformance {
namespace {

// The conformance program's dialog templates (conformance_resources.rc).
constexpr int kDialog = 200;             // with a system menu, Start (default), Exit, a text
constexpr int kDialogWithoutMenu = 201;  // the same without WS_SYSMENU
constexpr int kText = 1003;
constexpr int kProgress = 1002;
constexpr int kMissing = 4711;
const char kBoxCaption[] = "Conformance box";
const char kBoxText[] = "A message for the case";

// A dialog whose procedure is the case's: `onInit` runs at WM_INITDIALOG, `onMessage` for
// every later message (its result, FALSE for "not handled").
struct Script {
  std::function<void(HWND)> onInit;
  std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> onMessage;
};

// The script of the dialog that runs; one at a time.
Script* g_script = nullptr;

INT_PTR CALLBACK ScriptedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!g_script) return FALSE;
  if (message == WM_INITDIALOG) {
    if (g_script->onInit) g_script->onInit(dialog);
    return TRUE;
  }
  if (g_script->onMessage) return g_script->onMessage(dialog, message, wParam, lParam);
  return FALSE;
}

INT_PTR RunDialog(int templateId, Script& script) {
  InitCommonControls();
  g_script = &script;
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                                         nullptr, &ScriptedProc, 0);
  g_script = nullptr;
  return result;
}

std::string ItemText(HWND dialog, int id) {
  char text[2048] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::string WindowText(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// A second thread, waited for on every path.
class SecondThread {
 public:
  explicit SecondThread(std::function<void()> body) : body_(std::move(body)) {
    thread_ = CreateThread(nullptr, 0, &SecondThread::Main, this, 0, nullptr);
  }
  ~SecondThread() { Join(); }
  SecondThread(const SecondThread&) = delete;
  SecondThread& operator=(const SecondThread&) = delete;
  bool started() const { return thread_ != nullptr; }
  void Join() {
    if (!thread_) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }

 private:
  static DWORD WINAPI Main(LPVOID self) {
    static_cast<SecondThread*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE thread_ = nullptr;
};

TEST(Dialogs, EndDialogsResultIsWhatDialogBoxParamReturns) {
  Script script;
  script.onInit = [](HWND dialog) { EXPECT_TRUE(EndDialog(dialog, 42)); };
  EXPECT_EQ(RunDialog(kDialog, script), 42);
}

TEST(Dialogs, TheTemplatesControlsAreThereWithTheirIdsTextsAndDefault) {
  Script script;
  script.onInit = [](HWND dialog) {
    for (int id : {IDOK, IDCANCEL, kText, kProgress})
      EXPECT_NE(GetDlgItem(dialog, id), nullptr) << id;
    EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dialog, IDCANCEL)), IDCANCEL);
    EXPECT_EQ(GetParent(GetDlgItem(dialog, IDOK)), dialog);
    EXPECT_EQ(ItemText(dialog, IDOK), "&Start");
    EXPECT_EQ(ItemText(dialog, IDCANCEL), "E&xit");
    EXPECT_EQ(ItemText(dialog, kText), "Ready");
    EXPECT_EQ(WindowText(dialog), "Conformance dialog");
    // The template's DEFPUSHBUTTON is the dialog's default.
    EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
    // Windows says why a missing id gives no window; Wine leaves the last error as it was.
    SetLastError(0);
    EXPECT_EQ(GetDlgItem(dialog, kMissing), nullptr);
    EXPECT_EQ(GetLastError(), IsWine() ? 0u : static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    EndDialog(dialog, 1);
  };
  EXPECT_EQ(RunDialog(kDialog, script), 1);
}

TEST(Dialogs, TextsRoundTripAndAreCutToTheBuffer) {
  Script script;
  script.onInit = [](HWND dialog) {
    HWND text = GetDlgItem(dialog, kText);
    for (const std::string& value : {std::string(), std::string("short"), std::string(1500, 'L')}) {
      EXPECT_TRUE(SetWindowTextA(text, value.c_str()));
      EXPECT_EQ(ItemText(dialog, kText), value);
      EXPECT_EQ(GetWindowTextLengthA(text), static_cast<int>(value.size()));
    }
    char small[6];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetWindowTextA(text, small, sizeof small), 5);  // 5 characters and the NUL
    EXPECT_STREQ(small, "LLLLL");
    EndDialog(dialog, 1);
  };
  RunDialog(kDialog, script);
}

// EnableWindow answers whether the window was disabled before. Enter in the dialog is a
// click of its default button only while that button is enabled; BM_CLICK (what the Wine
// test driver presses with) clicks an enabled button.
TEST(Dialogs, EnableWindowAnswersThePreviousStateAndEnterSkipsADisabledDefault) {
  constexpr UINT kCheck = WM_APP + 1;
  int starts = 0;
  std::vector<int> seen;
  Script script;
  script.onInit = [&](HWND dialog) {
    HWND start = GetDlgItem(dialog, IDOK);
    EXPECT_TRUE(IsWindowEnabled(start));
    EXPECT_EQ(EnableWindow(start, FALSE), FALSE);  // it was enabled
    EXPECT_NE(EnableWindow(start, FALSE), FALSE);  // it was disabled
    EXPECT_FALSE(IsWindowEnabled(start));
    // Enter with the focus on Exit, which is no default button: the dialog's default is
    // Start, disabled. Then once more with Start enabled.
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    PostMessageA(GetDlgItem(dialog, IDCANCEL), WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(dialog, kCheck, 0, 0);
  };
  script.onMessage = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
      ++starts;
      return TRUE;
    }
    if (message != kCheck) return FALSE;
    seen.push_back(starts);
    if (seen.size() == 1) {
      EXPECT_NE(EnableWindow(GetDlgItem(dialog, IDOK), TRUE), FALSE);
      EXPECT_EQ(EnableWindow(GetDlgItem(dialog, IDOK), TRUE), FALSE);
      PostMessageA(GetDlgItem(dialog, IDCANCEL), WM_KEYDOWN, VK_RETURN, 0);
      PostMessageA(dialog, kCheck, 0, 0);
    } else if (seen.size() == 2) {
      SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
      PostMessageA(dialog, kCheck, 0, 0);
    } else {
      EndDialog(dialog, 1);
    }
    return TRUE;
  };
  RunDialog(kDialog, script);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

TEST(Dialogs, SetFocusAnswersTheWindowThatHadIt) {
  Script script;
  script.onInit = [](HWND dialog) {
    HWND start = GetDlgItem(dialog, IDOK), exit = GetDlgItem(dialog, IDCANCEL);
    SetFocus(start);
    EXPECT_EQ(GetFocus(), start);
    EXPECT_EQ(SetFocus(exit), start);
    EXPECT_EQ(GetFocus(), exit);
    EndDialog(dialog, 1);
  };
  RunDialog(kDialog, script);
}

// The programs' worker reports its end by a command sent to the dialog from its own
// thread: the dialog procedure runs it on the dialog's thread, and the sender gets the
// procedure's result; the dialog may end there.
TEST(Dialogs, ACommandSentFromAnotherThreadRunsOnTheDialogsThread) {
  const DWORD dialogThread = GetCurrentThreadId();
  DWORD ranOn = 0;
  LRESULT answered = -1;
  std::unique_ptr<SecondThread> worker;
  Script script;
  script.onInit = [&](HWND dialog) {
    worker = std::make_unique<SecondThread>([&answered, dialog] {
      answered = SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(0x7F00, 0), 17);
    });
    EXPECT_TRUE(worker->started());
  };
  script.onMessage = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message != WM_COMMAND || LOWORD(wParam) != 0x7F00) return FALSE;
    ranOn = GetCurrentThreadId();
    EndDialog(dialog, static_cast<INT_PTR>(lParam));
    return TRUE;
  };
  EXPECT_EQ(RunDialog(kDialog, script), 17);
  worker.reset();
  EXPECT_EQ(ranOn, dialogThread);
  // A dialog procedure's TRUE says the message was handled; the sender gets the dialog's
  // message result, which the procedure did not set.
  EXPECT_EQ(answered, 0);
}

// The uninstaller's progress bar: the range the programs leave as it is (0 to 100), and
// PBM_SETPOS answering the position before, within the range.
TEST(Dialogs, TheProgressBarKeepsItsPositionWithinItsRange) {
  Script script;
  script.onInit = [](HWND dialog) {
    HWND bar = GetDlgItem(dialog, kProgress);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 40, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 100, 0), 40);
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 250, 0), 100);  // held at the top of the range
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 10)), MAKELONG(0, 100));
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 10);
    EndDialog(dialog, 1);
  };
  RunDialog(kDialog, script);
}

// WM_SETICON answers the icon it replaces, for the big and the small icon each.
TEST(Dialogs, SetIconAnswersTheIconBefore) {
  Script script;
  script.onInit = [](HWND dialog) {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128));
    HICON other = LoadIconA(nullptr, IDI_APPLICATION);
    ASSERT_NE(icon, nullptr);
    for (WPARAM which : {static_cast<WPARAM>(ICON_BIG), static_cast<WPARAM>(ICON_SMALL)}) {
      EXPECT_EQ(SendMessageA(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon)), 0);
      EXPECT_EQ(SendMessageA(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(other)),
                reinterpret_cast<LRESULT>(icon));
    }
    EndDialog(dialog, 1);
  };
  RunDialog(kDialog, script);
}

// A message box owned by the dialog disables it while it is open; a second thread finds it
// by its caption, reads its text and answers it.
TEST(Dialogs, AMessageBoxOwnedByTheDialogIsAnsweredFromAnotherThread) {
  bool ownerDisabled = false;
  std::string text;
  Script script;
  script.onInit = [&](HWND dialog) {
    SecondThread answerer([&, dialog] {
      HWND box = nullptr;
      for (int tries = 0; tries < 500 && !box; ++tries) {
        box = FindWindowA(nullptr, kBoxCaption);
        if (!box) Sleep(10);
      }
      ASSERT_NE(box, nullptr);
      ownerDisabled = !IsWindowEnabled(dialog);
      text = ItemText(box, 0xFFFF);  // the box's text control
      SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(MessageBoxA(dialog, kBoxText, kBoxCaption, MB_OK), IDOK);
    answerer.Join();
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EndDialog(dialog, 1);
  };
  RunDialog(kDialog, script);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(text, kBoxText);
}

// The About entry goes into the system menu of a dialog that has one; a dialog without a
// system menu has none to take it. The entry's command arrives as WM_SYSCOMMAND.
TEST(Dialogs, TheSystemMenuTakesAnEntryWhoseCommandArrives) {
  UINT arrived = 0;
  Script script;
  script.onInit = [](HWND dialog) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetSystemMenu(dialog, FALSE), menu);
    EXPECT_TRUE(AppendMenuA(menu, MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(AppendMenuA(menu, MF_STRING, 0x0010, "&About Conformance..."));
    PostMessageA(dialog, WM_SYSCOMMAND, 0x0010, 0);
  };
  script.onMessage = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message != WM_SYSCOMMAND || (wParam & 0xFFF0) != 0x0010) return FALSE;
    arrived = static_cast<UINT>(wParam);
    EndDialog(dialog, 1);
    return TRUE;
  };
  RunDialog(kDialog, script);
  EXPECT_EQ(arrived, 0x0010u);

  Script without;
  without.onInit = [](HWND dialog) {
    EXPECT_EQ(GetSystemMenu(dialog, FALSE), nullptr);
    EndDialog(dialog, 1);
  };
  RunDialog(kDialogWithoutMenu, without);
}

// What the minimised dialog's painting uses: its client rectangle from the origin, the
// system's icon size, a paint DC that the program's icon is drawn on.
TEST(Dialogs, TheMinimisedIconIsPaintedWithThePaintCalls) {
  Script script;
  script.onInit = [](HWND dialog) {
    EXPECT_FALSE(IsIconic(dialog));
    RECT client;
    ASSERT_TRUE(GetClientRect(dialog, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_GT(client.right, 0);
    EXPECT_GT(client.bottom, 0);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(paint.hdc, dc);
    EXPECT_TRUE(DrawIcon(dc, 0, 0, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128))));
    EXPECT_TRUE(EndPaint(dialog, &paint));
    EndDialog(dialog, 1);
  };
  RunDialog(kDialog, script);
}

}  // namespace
}  // namespace conformance
