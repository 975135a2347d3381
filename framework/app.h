// The application object the programs derive from: its start-up (InitInstance) is the
// program; when it returns, the program ends.
#pragma once

#include "platform/win32.h"

class Dialog;

class App {
 public:
  // `name` is the application's name, the caption of its message boxes, for as long as
  // the application object lives (the name before it comes back afterwards).
  explicit App(const char* name);
  virtual ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Runs InitInstance; the program ends when it returns, whatever it returns (there is
  // no message loop of the application's own). Returns the program's exit code, 0.
  int Run();

  // The dialog that is the application's main window; message boxes are owned by it.
  void SetMainWindow(Dialog* dialog);
  Dialog* GetMainWindow() const { return mainWindow_; }

 protected:
  virtual BOOL InitInstance() { return FALSE; }

 private:
  Dialog* mainWindow_ = nullptr;
  const char* previousName_;
};
