// What the installer's steps take from the application framework: its message box
// (OK button, no icon, the application's name as caption), its main window and the
// application's name.
#pragma once

#include "platform/win32.h"

int ShowMessage(const char* text, UINT flags = MB_OK);
HWND MainWindow();
const char* ApplicationName();
