// What the programs' steps and passes take from the application framework: its
// message box (OK button, the application's name as caption), its main window and the
// application's name.
#pragma once

#include "platform/win32.h"

int ShowMessage(const char* text, UINT flags = MB_OK);
HWND MainWindow();
const char* ApplicationName();

// Set by the application object when it starts and when its main window opens.
void SetApplicationName(const char* name);
void SetMainWindow(HWND window);
