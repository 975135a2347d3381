#include "uninstaller/uninstaller_app.h"

#include "uninstaller/uninstaller_dialog.h"

BOOL UninstallerApp::InitInstance() {
  UninstallerDialog dialog;
  SetMainWindow(&dialog);
  dialog.DoModal();
  SetMainWindow(nullptr);
  return FALSE;
}

int WendmarrowMain() {
  // A fresh process starts with the flag set; the simulator runs programs one after the
  // other in one host process, so the start sets it again.
  firstPress = true;
  UninstallerApp app;
  return app.Run();
}
