#include "uninstaller/uninstaller_dialog.h"

#include <cstring>
#include <string>

#include "framework/app_services.h"
#include "framework/privileges.h"
#include "framework/resource_string.h"
#include "resources/wendmarrow_resource.h"
#include "sysinfo/windows_version.h"

bool firstPress = true;

namespace {

const char kUnknownWindows[] = "Invalid Windows OS. This Executable Run In Windows 64-Bit(AMD) OS";

}  // namespace

BOOL EnableShutdownPrivilege(const char* name) { return EnableProcessPrivilege(name) != 0; }

UninstallerDialog::UninstallerDialog(Dialog* parent)
    : MainDialog(IDD_UNINSTALLER_DIALOG, IDS_ABOUTBOX, IDI_CARD, parent) {}

BOOL UninstallerDialog::OnInitDialog() {
  MainDialog::OnInitDialog();
  WindowsVersion version;
  if (!version.DetectWindowsVersion()) {
    EnableWindow(GetDlgItem(IDOK), FALSE);
    SetWindowTextA(GetDlgItem(IDCANCEL), "Exit");
    EnableWindow(GetDlgItem(IDCANCEL), TRUE);
    ShowMessage(kUnknownWindows);
    Dialog::OnCancel();
    return TRUE;
  }
  context.isNt5x = version.isNt5x;
  context.isNt60 = version.isNt60;
  isWin98OrMe = version.isWin98OrMe;
  std::memset(context.comPortMap, 0, sizeof(context.comPortMap));
  return TRUE;
}

void UninstallerDialog::OnOK() {
  if (firstPress) {
    if (StartWorker(&UninstallerDialog::UninstallWorker)) {
      EnableWindow(GetDlgItem(IDOK), FALSE);
      firstPress = false;
    }
    return;
  }
  if (isRunning || WorkerActive()) return;
  // Only the 64-bit completion leaves OK enabled, as "Reboot Now".
  if (IsNative64BitWindows()) {
    EnableShutdownPrivilege("SeShutdownPrivilege");
    ExitWindowsEx(EWX_SHUTDOWN | EWX_REBOOT, 0xFFFFFFFF);
  }
  Dialog::OnOK();
}

void UninstallerDialog::SetStatus(UINT stringId) {
  SetWindowTextA(GetDlgItem(IDC_STATUS_TEXT), LoadResourceString(stringId).c_str());
}

void UninstallerDialog::SetProgress(int position) {
  SendMessageA(GetDlgItem(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void UninstallerDialog::ShowBusy() {
  EnableWindow(GetDlgItem(IDOK), FALSE);
  EnableWindow(GetDlgItem(IDCANCEL), FALSE);
  SetStatus(IDS_UNINSTALL_BUSY);
}

void UninstallerDialog::ShowCompletion(UninstallOutcome outcome) {
  outcome_ = outcome;
  completionDue_ = true;
}

void UninstallerDialog::DisplayCompletion() {
  HWND ok = GetDlgItem(IDOK);
  HWND exit = GetDlgItem(IDCANCEL);
  if (outcome_ == UninstallOutcome::kNotUninstalled) {
    // Nothing was removed, so there is nothing a restart would finish.
    EnableWindow(ok, FALSE);
    EnableWindow(exit, TRUE);
    SetFocus(exit);
    SetStatus(IDS_NOT_UNINSTALLED);
  } else if (IsNative64BitWindows()) {
    EnableWindow(ok, TRUE);
    EnableWindow(exit, TRUE);
    SetFocus(ok);
    SetWindowTextA(ok, "Reboot Now");
    SetWindowTextA(exit, "Reboot Later");
    SetStatus(IDS_UNINSTALLED_RESTART);
  } else {
    EnableWindow(ok, FALSE);
    EnableWindow(exit, TRUE);
    SetFocus(exit);
    SetStatus(IDS_UNINSTALLED_NO_RESTART);
  }
}

void UninstallerDialog::OnWorkerFinished(LPARAM) {
  if (completionDue_) DisplayCompletion();
}

DWORD WINAPI UninstallerDialog::UninstallWorker(LPVOID parameter) {
  UninstallerDialog* dialog = static_cast<UninstallerDialog*>(parameter);
  RunUninstallSequence(dialog->context, *dialog);
  dialog->ReportWorkerFinished(0);
  return 0;
}
