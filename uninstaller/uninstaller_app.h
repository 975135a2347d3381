// The uninstaller's application object: it runs the dialog, and the program ends when
// the dialog closes.
#pragma once

#include "framework/app.h"

class UninstallerApp : public App {
 public:
  UninstallerApp() : App("Wendmarrow") {}

 protected:
  BOOL InitInstance() override;
};

// The uninstaller program: the application object's run. Returns the exit code.
int WendmarrowMain();
