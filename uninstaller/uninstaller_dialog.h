// The uninstaller's dialog: what the program will do, OK and Exit, a progress bar for
// the one run of the uninstall sequence on a worker thread, and at the end whether a
// restart is needed, with the offer to restart at once on 64-bit Windows.
#pragma once

#include <atomic>

#include "framework/main_dialog.h"
#include "platform/win32.h"
#include "uninstall_engine/uninstall_context.h"

class UninstallerDialog : public MainDialog, public UninstallProgress {
 public:
  explicit UninstallerDialog(Dialog* parent = nullptr);

  // The worker thread's procedure: the uninstall sequence on the dialog's context.
  static DWORD WINAPI UninstallWorker(LPVOID dialog);

  // What the sequence asks of the dialog.
  void SetRunning(BOOL running) override { isRunning = running; }
  void SetProgress(int position) override;
  void ShowBusy() override;
  // Shown when the worker's run has ended, on the dialog's thread.
  void ShowCompletion(UninstallOutcome outcome) override;

  std::atomic<BOOL> isRunning{FALSE};
  BOOL isWin98OrMe = FALSE;
  // isNt5x, isNt60, comPortMap and customerName of the run.
  UninstallContext context;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnWorkerFinished(LPARAM result) override;  // shows the completion, if due

 private:
  void SetStatus(UINT stringId);
  void DisplayCompletion();

  std::atomic<bool> completionDue_{false};
  std::atomic<UninstallOutcome> outcome_{UninstallOutcome::kUninstalled};
};

// Set at program start; cleared once OK has started the worker.
extern bool firstPress;

// Enables a privilege of the process token; true on success.
BOOL EnableShutdownPrivilege(const char* name);
