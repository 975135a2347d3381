// The installer's main dialog: what the program will do, Install and Exit, and the
// outcome of the one run of the install sequence on a worker thread, with the offer to
// restart Windows when the installation needs it.
#pragma once

#include <atomic>

#include "framework/main_dialog.h"
#include "installer/install_context.h"
#include "platform/win32.h"

class InstallerDialog : public MainDialog {
 public:
  explicit InstallerDialog(Dialog* parent = nullptr);
  ~InstallerDialog() override;

  // The worker thread's procedure: runs the install sequence on the dialog's context;
  // the dialog then shows the outcome. Returns 0.
  static DWORD WINAPI InstallWorker(LPVOID dialog);

  InstallContext context;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;      // Install, and later "Reboot Now"
  void OnCancel() override;  // Exit, and later "Reboot Later"
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  void SetStatus(UINT stringId);
  void ShowOutcome(int result);

  HANDLE workerThread_ = nullptr;
  // From the worker's start to its last act: a cancel then would abandon the run
  // half-way, so it is refused.
  std::atomic<bool> workerActive_{false};
};

// 1 until a worker has been started in this process, then 0: tells the Install press
// from the "Reboot Now" press.
extern int installPending;
