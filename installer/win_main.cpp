// The Windows entry point of Kestrolin.exe; the program ignores its command line.
#include "installer/installer_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return KestrolinMain(); }
