#include "installer/installer_dialog.h"

#include <cstdio>
#include <string>

#include "framework/app_services.h"
#include "framework/resource_string.h"
#include "resources/kestrolin_resource.h"

int installPending = 1;

namespace {

// The worker's last message: the outcome is shown on the dialog's own thread, so that no
// press of Exit can end the dialog between the outcome and the worker's end.
constexpr WORD kWorkerFinished = 0x7F00;

}  // namespace

InstallerDialog::InstallerDialog(Dialog* parent)
    : MainDialog(IDD_INSTALLER_DIALOG, IDS_ABOUTBOX, IDI_CARD, parent) {}

InstallerDialog::~InstallerDialog() {
  if (workerThread_) CloseHandle(workerThread_);
}

BOOL InstallerDialog::OnInitDialog() {
  MainDialog::OnInitDialog();
  SetStatus(IDS_READY);
  return TRUE;
}

void InstallerDialog::OnOK() {
  if (installPending == 1) {
    workerActive_ = true;
    DWORD threadId = 0;
    workerThread_ = CreateThread(nullptr, 0, &InstallerDialog::InstallWorker, this, 0, &threadId);
    if (workerThread_) {
      EnableWindow(GetDlgItem(IDOK), FALSE);
      EnableWindow(GetDlgItem(IDCANCEL), FALSE);
      installPending = 0;
    } else {
      workerActive_ = false;
      char text[64];
      std::snprintf(text, sizeof(text), "OnOK() => CreateThread - Error : %d \n",
                    static_cast<int>(GetLastError()));
      ShowMessage(text, MB_ICONHAND);
    }
    return;
  }
  // "Reboot Now": the restart request needs the shutdown privilege; neither answer
  // changes what follows.
  context.EnablePrivilege("SeShutdownPrivilege");
  ExitWindowsEx(EWX_SHUTDOWN | EWX_REBOOT, 0xFFFFFFFF);
  Dialog::OnOK();
}

void InstallerDialog::OnCancel() {
  if (workerActive_) return;
  Dialog::OnCancel();
}

void InstallerDialog::SetStatus(UINT stringId) {
  SetWindowTextA(GetDlgItem(IDC_STATUS_TEXT), LoadResourceString(stringId).c_str());
}

void InstallerDialog::ShowOutcome(int result) {
  HWND install = GetDlgItem(IDOK);
  HWND exit = GetDlgItem(IDCANCEL);
  if (result == kInstallCompleted) {
    SetStatus(IDS_INSTALLED_RESTART);
    if (context.restartNeeded) {
      EnableWindow(install, TRUE);
      EnableWindow(exit, TRUE);
      SetFocus(install);
      SetWindowTextA(install, "Reboot Now");
      SetWindowTextA(exit, "Reboot Later");
      return;
    }
    EnableWindow(exit, TRUE);
    SetFocus(exit);
    SetStatus(IDS_INSTALLED_NO_RESTART);
    return;
  }
  SetStatus(result == kInstallDeclined ? IDS_UPDATE_ABORTED : IDS_INSTALL_ABORTED);
  EnableWindow(exit, TRUE);
  SetFocus(exit);
}

BOOL InstallerDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) != kWorkerFinished) return Dialog::OnCommand(wParam, lParam);
  ShowOutcome(static_cast<int>(lParam));
  workerActive_ = false;
  return TRUE;
}

DWORD WINAPI InstallerDialog::InstallWorker(LPVOID parameter) {
  InstallerDialog* dialog = static_cast<InstallerDialog*>(parameter);
  dialog->SetStatus(IDS_INSTALL_IN_PROGRESS);
  const int result = dialog->context.RunInstallSequence();
  // The worker's last touch of the dialog.
  SendMessageA(dialog->Hwnd(), WM_COMMAND, MAKEWPARAM(kWorkerFinished, 0), result);
  return 0;
}
