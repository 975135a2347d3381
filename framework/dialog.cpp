#include "framework/dialog.h"

#include <map>
#include <mutex>

#include "framework/app_services.h"

namespace {

// The dialog object behind each running dialog window. Dialogs may run on more than one
// thread, so the map has its lock.
std::mutex dialogsMutex;
std::map<HWND, Dialog*> dialogs;

Dialog* DialogOf(HWND window) {
  std::lock_guard<std::mutex> g(dialogsMutex);
  auto it = dialogs.find(window);
  return it == dialogs.end() ? nullptr : it->second;
}

}  // namespace

Dialog::Dialog(int templateId, Dialog* parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal() {
  // The common control classes (the progress bar) must be registered before a template
  // that uses them can be created; the framework does it for every dialog.
  InitCommonControls();
  HWND owner = parent_ ? parent_->Hwnd() : nullptr;
  if (!owner && !isMainWindow_) owner = MainWindow();
  const INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), owner,
                      &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
  hwnd_.store(nullptr);
  return result;
}

HWND Dialog::GetDlgItem(int id) const { return ::GetDlgItem(Hwnd(), id); }

BOOL Dialog::EndDialog(int result) { return ::EndDialog(Hwnd(), result); }

void Dialog::MakeMainWindow() {
  isMainWindow_ = true;
  if (HWND window = Hwnd()) SetMainWindow(window);
}

BOOL Dialog::OnInitDialog() { return TRUE; }

void Dialog::OnOK() { EndDialog(IDOK); }

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL Dialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  if (HIWORD(wParam) != BN_CLICKED) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      OnOK();
      return TRUE;
    case IDCANCEL:
      OnCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

void Dialog::OnSysCommand(UINT id, LPARAM param) {
  (void)id;
  (void)param;
  Default();
}

void Dialog::OnPaint() { Default(); }

HICON Dialog::OnQueryDragIcon() { return nullptr; }

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<Dialog*>(lParam);
    dialog->hwnd_.store(window);
    {
      std::lock_guard<std::mutex> g(dialogsMutex);
      dialogs[window] = dialog;
    }
    if (dialog->isMainWindow_) SetMainWindow(window);
  } else {
    dialog = DialogOf(window);
  }
  if (!dialog) return FALSE;  // messages before WM_INITDIALOG
  const INT_PTR result = dialog->Handle(message, wParam, lParam);
  if (message == WM_DESTROY) {
    if (dialog->isMainWindow_) SetMainWindow(nullptr);
    std::lock_guard<std::mutex> g(dialogsMutex);
    dialogs.erase(window);
  }
  return result;
}

INT_PTR Dialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  // A handler may send messages to this dialog itself: each message keeps its own flag.
  const bool outer = handled_;
  handled_ = true;
  INT_PTR result = FALSE;
  switch (message) {
    case WM_INITDIALOG:
      result = OnInitDialog();
      break;
    case WM_COMMAND:
      result = OnCommand(wParam, lParam);
      break;
    case WM_SYSCOMMAND:
      OnSysCommand(static_cast<UINT>(wParam), lParam);
      result = handled_;
      break;
    case WM_PAINT:
      OnPaint();
      result = handled_;
      break;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
      break;
    case WM_DESTROY:
      OnDestroy();
      break;
    default:
      break;
  }
  handled_ = outer;
  return result;
}
