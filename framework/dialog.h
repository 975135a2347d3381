// The dialog class the programs derive from: a dialog template run modally, whose
// messages reach virtual handlers (OnInitDialog, OnOK, OnCancel, OnSysCommand, OnPaint,
// OnQueryDragIcon, OnCommand). A handler that wants the system's own handling of its
// message calls Default(), as the framework's handlers do.
#pragma once

#include <atomic>

#include "platform/win32.h"

class Dialog {
 public:
  // `parent` owns the dialog while it runs; without one, the application's main window
  // does (the main window itself has no owner).
  explicit Dialog(int templateId, Dialog* parent = nullptr);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog until it ends; returns the EndDialog result, or -1 when it could not
  // be shown.
  INT_PTR DoModal();
  // The dialog's window while it runs, else null. Safe to read from any thread.
  HWND Hwnd() const { return hwnd_.load(); }
  HWND GetDlgItem(int id) const;
  BOOL EndDialog(int result);
  int TemplateId() const { return templateId_; }

  // The dialog is the application's main window (MainWindow() returns it while it runs).
  void MakeMainWindow();

 protected:
  // TRUE: the system puts the focus on the first control that takes it.
  virtual BOOL OnInitDialog();
  virtual void OnOK();      // ends the dialog with IDOK
  virtual void OnCancel();  // ends the dialog with IDCANCEL
  // Routes button clicks of IDOK and IDCANCEL to OnOK and OnCancel; TRUE when handled.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual void OnSysCommand(UINT id, LPARAM param);  // default: the system's handling
  virtual void OnPaint();                            // default: the system's handling
  virtual HICON OnQueryDragIcon();                   // default: none (the system's)
  virtual void OnDestroy() {}

  // Leaves the message being handled to the system (the dialog manager's own handling).
  void Default() { handled_ = false; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
  Dialog* parent_;
  std::atomic<HWND> hwnd_{nullptr};
  bool isMainWindow_ = false;
  bool handled_ = true;
};
