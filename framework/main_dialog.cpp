#include "framework/main_dialog.h"

#include <cstdio>
#include <string>

#include "framework/about_dialog.h"
#include "framework/app_services.h"
#include "framework/resource_string.h"

namespace {

// The command the worker's last message carries; no control has this id.
constexpr WORD kWorkerFinished = 0x7F00;

}  // namespace

MainDialog::MainDialog(int templateId, UINT aboutStringId, int iconId, Dialog* parent)
    : Dialog(templateId, parent),
      aboutStringId_(aboutStringId),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId))) {}

INT_PTR MainDialog::DoModal() {
  const INT_PTR result = Dialog::DoModal();
  if (workerThread_) WaitForSingleObject(workerThread_, INFINITE);
  return result;
}

MainDialog::~MainDialog() {
  if (workerThread_) CloseHandle(workerThread_);
}

BOOL MainDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  // A dialog without a system menu has none to add the entry to.
  if (HMENU menu = GetSystemMenu(Hwnd(), FALSE)) {
    const std::string about = LoadResourceString(aboutStringId_);
    if (!about.empty()) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, kAboutCommand, about.c_str());
    }
  }
  SendMessageA(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  return TRUE;
}

void MainDialog::OnSysCommand(UINT id, LPARAM param) {
  if ((id & 0xFFF0) == kAboutCommand) {
    AboutDialog about(this);
    about.DoModal();
    return;
  }
  Dialog::OnSysCommand(id, param);
}

void MainDialog::OnPaint() {
  if (!IsIconic(Hwnd())) {
    Dialog::OnPaint();
    return;
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Hwnd(), &paint);
  SendMessageA(Hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(Hwnd(), &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(Hwnd(), &paint);
}

HICON MainDialog::OnQueryDragIcon() { return icon_; }

bool MainDialog::StartWorker(LPTHREAD_START_ROUTINE procedure) {
  workerActive_ = true;
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, procedure, this, 0, &threadId);
  if (!thread) {
    workerActive_ = false;
    char text[64];
    std::snprintf(text, sizeof(text), "OnOK() => CreateThread - Error : %d \n",
                  static_cast<int>(GetLastError()));
    ShowMessage(text, MB_ICONHAND);
    return false;
  }
  if (workerThread_) CloseHandle(workerThread_);
  workerThread_ = thread;
  return true;
}

void MainDialog::ReportWorkerFinished(LPARAM result) {
  SendMessageA(Hwnd(), WM_COMMAND, MAKEWPARAM(kWorkerFinished, 0), result);
}

void MainDialog::OnCancel() {
  if (workerActive_) return;
  Dialog::OnCancel();
}

BOOL MainDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) != kWorkerFinished) return Dialog::OnCommand(wParam, lParam);
  OnWorkerFinished(lParam);
  workerActive_ = false;
  return TRUE;
}
