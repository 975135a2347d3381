// The programs' runs for the robustness tests, inside an open process on a simulated
// machine (tests/unit/support/card_installed_machine.h makes the machines the card is on).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "installer/install_context.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"
#include "tests/unit/support/card_installed_machine.h"
#include "tests/unit/installer/installer_scenario.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace robustness {

constexpr char kUninstallerCopy[] = "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe";

// The uninstaller's run, as its worker thread makes it, inside an open process.
inline DWORD UninstallAsTheUninstaller(engine_test::ProgressRecorder* progress) {
  UninstallContext context = engine_test::ContextForRunningWindows();
  return RunUninstallSequence(context, *progress);
}

inline sim::ProcessOptions UninstallerProcess() {
  sim::ProcessOptions options;
  options.modulePath = kUninstallerCopy;
  return options;
}

// The installer's whole sequence inside an open process; the Windows description line
// goes to a scratch file.
inline int InstallAsTheInstaller(InstallContext* context) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::tmpfile(), &std::fclose);
  EXPECT_TRUE(sink);
  context->descriptionOutput = sink ? sink.get() : stdout;
  const int result = context->RunInstallSequence();
  context->descriptionOutput = stdout;
  return result;
}

}  // namespace robustness
