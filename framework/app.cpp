#include "framework/app.h"

#include "framework/app_services.h"
#include "framework/dialog.h"

App::App(const char* name) : previousName_(ApplicationName()) { SetApplicationName(name); }

// The simulator runs one program after another in one host process: the name goes back
// to what it was, as it would with the process.
App::~App() { SetApplicationName(previousName_); }

int App::Run() {
  InitInstance();
  ::SetMainWindow(nullptr);
  return 0;
}

void App::SetMainWindow(Dialog* dialog) {
  mainWindow_ = dialog;
  if (dialog) dialog->MakeMainWindow();
}
