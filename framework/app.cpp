#include "framework/app.h"

#include "framework/app_services.h"
#include "framework/dialog.h"

App::App(const char* name) { SetApplicationName(name); }

App::~App() = default;

int App::Run() {
  InitInstance();
  ::SetMainWindow(nullptr);
  return 0;
}

void App::SetMainWindow(Dialog* dialog) {
  mainWindow_ = dialog;
  if (dialog) dialog->MakeMainWindow();
}
