#include "framework/app_services.h"

#include <atomic>
#include <string>

namespace {

// Written by the dialog thread before the worker starts, read by the worker: the
// thread start orders the two, and the atomics keep the race detector's view honest.
std::atomic<HWND> mainWindow{nullptr};
std::atomic<const char*> applicationName{"Kestrolin"};

}  // namespace

int ShowMessage(const char* text, UINT flags) {
  return MessageBoxA(MainWindow(), text, ApplicationName(), flags);
}

HWND MainWindow() { return mainWindow.load(); }

const char* ApplicationName() { return applicationName.load(); }

void SetApplicationName(const char* name) { applicationName.store(name); }

void SetMainWindow(HWND window) { mainWindow.store(window); }
