#include "installer/installer_app.h"

#include "installer/installer_dialog.h"

BOOL InstallerApp::InitInstance() {
  InstallerDialog dialog;
  SetMainWindow(&dialog);
  dialog.DoModal();
  SetMainWindow(nullptr);
  // No message loop of the application's own: the program ends here.
  return FALSE;
}

int KestrolinMain() {
  // A fresh process starts with the flag set; the simulator runs programs one after the
  // other in one host process, so the start sets it again.
  installPending = 1;
  InstallerApp app;
  return app.Run();
}
