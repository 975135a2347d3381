// The installer's main dialog: what the program will do, Install and Exit, and the
// outcome of the one run of the install sequence on a worker thread, with the offer to
// restart Windows when the installation needs it.
#pragma once

#include "framework/main_dialog.h"
#include "installer/install_context.h"
#include "platform/win32.h"

class InstallerDialog : public MainDialog {
 public:
  explicit InstallerDialog(Dialog* parent = nullptr);

  // The worker thread's procedure: runs the install sequence on the dialog's context;
  // the dialog then shows the outcome. Returns 0.
  static DWORD WINAPI InstallWorker(LPVOID dialog);

  InstallContext context;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;  // Install, and later "Reboot Now"
  // Exit, and later "Reboot Later", is MainDialog::OnCancel.
  void OnWorkerFinished(LPARAM result) override;  // shows the outcome

 private:
  void SetStatus(UINT stringId);
  void ShowOutcome(int result);
};

// 1 until a worker has been started in this process, then 0: tells the Install press
// from the "Reboot Now" press.
extern int installPending;
