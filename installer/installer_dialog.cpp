#include "installer/installer_dialog.h"

#include <string>

#include "framework/resource_string.h"
#include "resources/kestrolin_resource.h"

int installPending = 1;

InstallerDialog::InstallerDialog(Dialog* parent)
    : MainDialog(IDD_INSTALLER_DIALOG, IDS_ABOUTBOX, IDI_CARD, parent) {}

BOOL InstallerDialog::OnInitDialog() {
  MainDialog::OnInitDialog();
  SetStatus(IDS_READY);
  return TRUE;
}

void InstallerDialog::OnOK() {
  if (installPending == 1) {
    if (StartWorker(&InstallerDialog::InstallWorker)) {
      EnableWindow(GetDlgItem(IDOK), FALSE);
      EnableWindow(GetDlgItem(IDCANCEL), FALSE);
      installPending = 0;
    }
    return;
  }
  // "Reboot Now": the restart request needs the shutdown privilege; neither answer
  // changes what follows.
  context.EnablePrivilege("SeShutdownPrivilege");
  ExitWindowsEx(EWX_SHUTDOWN | EWX_REBOOT, 0xFFFFFFFF);
  Dialog::OnOK();
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

void InstallerDialog::OnWorkerFinished(LPARAM result) { ShowOutcome(static_cast<int>(result)); }

DWORD WINAPI InstallerDialog::InstallWorker(LPVOID parameter) {
  InstallerDialog* dialog = static_cast<InstallerDialog*>(parameter);
  dialog->SetStatus(IDS_INSTALL_IN_PROGRESS);
  const int result = dialog->context.RunInstallSequence();
  dialog->ReportWorkerFinished(result);
  return 0;
}
