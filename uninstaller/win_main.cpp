// The Windows entry point of Wendmarrow.exe; the program ignores its command line.
#include "uninstaller/uninstaller_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return WendmarrowMain(); }
