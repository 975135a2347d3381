// The installer's application object: it runs the main dialog, and the program ends
// when the dialog closes.
#pragma once

#include "framework/app.h"

class InstallerApp : public App {
 public:
  InstallerApp() : App("Kestrolin") {}

 protected:
  BOOL InitInstance() override;
};

// The installer program: the application object's run. Returns the exit code.
int KestrolinMain();
