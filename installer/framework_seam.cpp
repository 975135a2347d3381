#include "installer/framework_seam.h"

int ShowMessage(const char* text, UINT flags) {
  return MessageBoxA(MainWindow(), text, ApplicationName(), flags);
}

// The steps run on the worker thread while the dialog is up; their boxes have no owner
// until the dialog's window is handed to them.
HWND MainWindow() { return nullptr; }

const char* ApplicationName() { return "Kestrolin"; }
