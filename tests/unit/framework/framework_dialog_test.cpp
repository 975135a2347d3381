// The framework's App and Dialog on the simulated windows: the default OK and Cancel,
// the system menu's About entry as a nested modal dialog, the main window as the owner of
// message boxes, and the minimised icon.
#include <atomic>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/app_services.h"
#include "framework/dialog.h"
#include "platform/sim/ui/window_manager.h"
#include "tests/unit/sim/ui/sim_windows_test_support.h"

namespace {

using namespace windows_test;

constexpr UINT kAboutCommand = 16;
HICON TestIcon() { return reinterpret_cast<HICON>(static_cast<uintptr_t>(0x7700)); }

class AboutDialog : public Dialog {
 public:
  explicit AboutDialog(Dialog* parent = nullptr) : Dialog(kAbout, parent) {}
  HWND ownerSeen = nullptr;
  BOOL ownerEnabledSeen = TRUE;

 protected:
  BOOL OnInitDialog() override {
    ownerSeen = GetParent(Hwnd());
    ownerEnabledSeen = IsWindowEnabled(ownerSeen);
    return Dialog::OnInitDialog();
  }
};

class MainDialog : public Dialog {
 public:
  explicit MainDialog(int templateId) : Dialog(templateId) {}
  std::vector<std::string> calls;  // written on the dialog's thread only
  HWND mainWindowDuringRun = nullptr;
  int boxAnswer = 0;
  bool askOnOk = false;
  AboutDialog about{this};
  INT_PTR aboutResult = 0;
  std::vector<sim::DrawnIcon> drawn;
  std::atomic<LRESULT> dragIcon{0};
  std::atomic<LRESULT> bigIcon{0};

 protected:
  BOOL OnInitDialog() override {
    calls.push_back("OnInitDialog");
    if (HMENU menu = GetSystemMenu(Hwnd(), FALSE)) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, kAboutCommand, "&About Test...");
    }
    SendMessageA(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(TestIcon()));
    SetDlgItemTextA(Hwnd(), kStatus, "Ready to start.");
    mainWindowDuringRun = MainWindow();
    return TRUE;
  }
  void OnOK() override {
    calls.push_back("OnOK");
    if (askOnOk) boxAnswer = ShowMessage("Start now?", MB_OKCANCEL);
    if (!askOnOk || boxAnswer == IDOK) Dialog::OnOK();
  }
  void OnCancel() override {
    calls.push_back("OnCancel");
    Dialog::OnCancel();
  }
  void OnSysCommand(UINT id, LPARAM param) override {
    calls.push_back("OnSysCommand " + std::to_string(id));
    if ((id & 0xFFF0) == kAboutCommand) {
      aboutResult = about.DoModal();
    } else {
      Dialog::OnSysCommand(id, param);
    }
  }
  void OnPaint() override {
    if (!IsIconic(Hwnd())) return Dialog::OnPaint();
    calls.push_back("OnPaint iconic");
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(Hwnd(), &ps);
    SendMessageA(Hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT r;
    GetClientRect(Hwnd(), &r);
    DrawIcon(dc, (r.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
             (r.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, TestIcon());
    EndPaint(Hwnd(), &ps);
    drawn = sim::CurrentProcess().windows().DrawnIcons(Hwnd());
    auto worker = [](LPVOID p) -> DWORD {
      auto* self = static_cast<MainDialog*>(p);
      self->dragIcon = SendMessageA(self->Hwnd(), WM_QUERYDRAGICON, 0, 0);
      self->bigIcon = SendMessageA(self->Hwnd(), WM_GETICON, ICON_BIG, 0);
      SetDlgItemTextA(self->Hwnd(), kStatus, "Icons read.");
      return 0;
    };
    CloseHandle(CreateThread(nullptr, 0, worker, this, 0, nullptr));
  }
  HICON OnQueryDragIcon() override { return TestIcon(); }
};

class TestApp : public App {
 public:
  explicit TestApp(int templateId) : App("Framework Test"), dialog(templateId) {}
  MainDialog dialog;
  INT_PTR result = 0;
  int initCount = 0;

 protected:
  BOOL InitInstance() override {
    ++initCount;
    SetMainWindow(&dialog);
    result = dialog.DoModal();
    return FALSE;
  }
};

struct Outcome {
  bool passed = false;
  std::string report;
  int exitCode = -1;
};

Outcome RunApp(TestApp& app, const std::string& scriptText, sim::Machine& machine,
               const std::function<void(sim::Process&)>& after = {}) {
  sim::ResourceSet resources = TestResources();
  auto script = Script(scriptText);
  Outcome o;
  sim::ProcessOptions options;
  options.resources = &resources;
  options.frontEnd = script.get();
  {
    sim::ProcessScope scope(machine, options);
    o.exitCode = app.Run();
    if (after) after(scope.process());
  }
  o.passed = script->Finish();
  o.report = script->Report();
  return o;
}

TEST(FrameworkDialog, DefaultOkAndCancelEndTheDialog) {
  struct Case {
    const char* script;
    INT_PTR result;
    const char* handler;
  } cases[] = {
      {"press \"Start\"\nwait-closed\n", IDOK, "OnOK"},
      {"key Enter\nwait-closed\n", IDOK, "OnOK"},
      {"press \"Exit\"\nwait-closed\n", IDCANCEL, "OnCancel"},
      {"key Esc\nwait-closed\n", IDCANCEL, "OnCancel"},
      {"close\nwait-closed\n", IDCANCEL, "OnCancel"},  // SC_CLOSE goes to the system
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    auto machine = XpMachine();
    TestApp app(kDialog);
    const Outcome o = RunApp(app, std::string("expect \"Ready to start.\"\n") + c.script, *machine);
    EXPECT_TRUE(o.passed) << o.report;
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(app.initCount, 1);
    EXPECT_EQ(app.result, c.result);
    ASSERT_GE(app.dialog.calls.size(), 2u);
    EXPECT_EQ(app.dialog.calls.back(), c.handler);
    EXPECT_NE(app.dialog.mainWindowDuringRun, nullptr);
    EXPECT_EQ(MainWindow(), nullptr);  // gone with the dialog
    EXPECT_EQ(app.dialog.Hwnd(), nullptr);
  }
}

TEST(FrameworkDialog, TheApplicationNameLastsAsLongAsTheApplication) {
  const std::string before = ApplicationName();
  {
    TestApp app(kDialog);
    EXPECT_STREQ(ApplicationName(), "Framework Test");
  }
  EXPECT_EQ(ApplicationName(), before);
}

TEST(FrameworkDialog, AboutEntryOpensANestedModalDialogOwnedByTheMainDialog) {
  auto machine = XpMachine();
  TestApp app(kDialog);
  const Outcome o = RunApp(app,
                           "sysmenu 16\n"
                           "expect \"Test Version 1.0\"\n"
                           "key Enter\n"
                           "expect \"Ready to start.\"\n"
                           "press 2\n"
                           "wait-closed\n",
                           *machine);
  EXPECT_TRUE(o.passed) << o.report;
  EXPECT_EQ(app.dialog.aboutResult, IDOK);
  EXPECT_EQ(app.dialog.about.ownerSeen, app.dialog.mainWindowDuringRun);
  EXPECT_FALSE(app.dialog.about.ownerEnabledSeen);  // disabled while the About box runs
  EXPECT_EQ(app.dialog.calls,
            (std::vector<std::string>{"OnInitDialog", "OnSysCommand 16", "OnCancel"}));
}

TEST(FrameworkDialog, WithoutASystemMenuTheAboutEntryCannotBeReached) {
  auto machine = XpMachine();
  TestApp app(kNoSystemMenu);
  const Outcome o = RunApp(app, "sysmenu 16\n", *machine);
  EXPECT_FALSE(o.passed);
  EXPECT_NE(o.report.find("test.script:1: step `sysmenu 16` failed: the dialog has no system menu"),
            std::string::npos)
      << o.report;
  EXPECT_EQ(app.result, -1);
}

TEST(FrameworkDialog, MessageBoxesAreOwnedByTheMainWindowAndCaptionedWithTheAppName) {
  auto machine = XpMachine();
  TestApp app(kDialog);
  app.dialog.askOnOk = true;
  std::vector<sim::MessageBoxRecord> boxes;
  const Outcome o = RunApp(app,
                           "press 1\n"
                           "box \"Start now?\" answer Cancel\n"
                           "expect-state 1 enabled\n"
                           "press 1\n"
                           "box \"Start now?\" answer OK\n"
                           "wait-closed\n",
                           *machine, [&](sim::Process& p) { boxes = p.messageBoxes; });
  EXPECT_TRUE(o.passed) << o.report;
  EXPECT_EQ(app.result, IDOK);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].answer, IDCANCEL);
  EXPECT_EQ(boxes[1].answer, IDOK);
  EXPECT_TRUE(boxes[0].hasOwner);
  EXPECT_EQ(boxes[0].caption, "Framework Test");
}

// The minimised dialog draws its icon centred; a worker asks the dialog for its icons
// across threads and gets what the dialog's thread answers.
TEST(FrameworkDialog, MinimisedMainDialogPaintsAndDragsItsIcon) {
  auto machine = XpMachine();
  TestApp app(kMinimizable);
  const Outcome o =
      RunApp(app, "sysmenu 0xF020\nexpect \"Icons read.\"\nkey Esc\nwait-closed\n", *machine);
  EXPECT_TRUE(o.passed) << o.report;
  ASSERT_GE(app.dialog.calls.size(), 3u);
  EXPECT_EQ(app.dialog.calls[1], "OnSysCommand 61472");  // SC_MINIMIZE, to the system
  EXPECT_EQ(app.dialog.calls[2], "OnPaint iconic");
  ASSERT_EQ(app.dialog.drawn.size(), 1u);
  EXPECT_EQ(app.dialog.drawn[0].icon, TestIcon());
  EXPECT_EQ(app.dialog.drawn[0].x, (300 - 32 + 1) / 2);
  EXPECT_EQ(app.dialog.drawn[0].y, (163 - 32 + 1) / 2);
  EXPECT_EQ(app.dialog.dragIcon.load(), reinterpret_cast<LRESULT>(TestIcon()));
  EXPECT_EQ(app.dialog.bigIcon.load(), reinterpret_cast<LRESULT>(TestIcon()));
}

}  // namespace
