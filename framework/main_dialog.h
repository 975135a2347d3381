// What the main dialog of either program does besides its own buttons: the About entry
// in its system menu, the application icon as its big and small icon, the icon drawn
// when it is minimised and dragged, and the one worker thread that does the program's
// work while the dialog stays responsive.
#pragma once

#include <atomic>

#include "framework/dialog.h"
#include "platform/win32.h"

class MainDialog : public Dialog {
 public:
  // The About entry's text is string `aboutStringId`; the icon is icon `iconId`.
  MainDialog(int templateId, UINT aboutStringId, int iconId, Dialog* parent);
  ~MainDialog() override;

  // The dialog's modal run; it returns only once the worker, if one was started, has
  // ended, so that the worker never outlives the dialog it reports to. (The dialog can
  // end under a running worker only when its modal loop is ended from outside.)
  INT_PTR DoModal();

  static constexpr UINT kAboutCommand = 0x0010;

 protected:
  BOOL OnInitDialog() override;
  void OnSysCommand(UINT id, LPARAM param) override;
  void OnPaint() override;
  HICON OnQueryDragIcon() override;

  HICON icon() const { return icon_; }

  // Starts `procedure` on a worker thread with this dialog as its parameter. When no
  // thread can be made, shows the error and returns false; the dialog stays as it was.
  bool StartWorker(LPTHREAD_START_ROUTINE procedure);
  // The worker's last touch of the dialog: OnWorkerFinished(result) then runs on the
  // dialog's own thread, so no press can end the dialog between the worker's final
  // display and its end, and the focus can be set (it cannot from another thread).
  void ReportWorkerFinished(LPARAM result);
  virtual void OnWorkerFinished(LPARAM result) = 0;
  bool WorkerActive() const { return workerActive_; }

  // Exit, Esc, the close box and Alt+F4 are refused while the worker runs: they would
  // abandon its run half-way and destroy the dialog under it.
  void OnCancel() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  UINT aboutStringId_;
  HICON icon_;
  HANDLE workerThread_ = nullptr;
  // From the worker's start to its last act.
  std::atomic<bool> workerActive_{false};
};
