// The conformance platform on the simulator: a fresh machine of the edition named
// with --edition (default xp), and one 32-bit process on it for the whole run.
#include <cstdio>
#include <cstring>
#include <memory>

#include "env/environment.h"
#include "env/resources_sim.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/ui/front_end.h"

namespace conformance {

namespace {

// The conformance program's screen, which no one watches: a message box waits for an answer,
// as on Windows, which a case gives it from another thread.
class UnwatchedScreen : public sim::FrontEnd {
 public:
  void Attach(sim::WindowManager&) override {}
  void Show(const sim::Screen&) override {}
  void Detach() override {}
};

UnwatchedScreen g_screen;
std::unique_ptr<sim::Machine> g_machine;
std::unique_ptr<sim::ProcessScope> g_process;
std::string g_edition = "xp";
bool g_nativeProcess = false;
}  // namespace

bool SetUpPlatform(int* argc, char** argv) {
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp(argv[i], "--edition=", 10) == 0) {
      g_edition = argv[i] + 10;
    } else if (std::strcmp(argv[i], "--64-bit-process") == 0) {
      g_nativeProcess = true;
    } else {
      std::fprintf(stderr, "unknown argument: %s (use --edition=NAME [--64-bit-process])\n",
                   argv[i]);
      return false;
    }
  }
  std::string error;
  g_machine = sim::MachineFromEdition(g_edition, &error);
  if (!g_machine) {
    std::fprintf(stderr, "cannot start a machine of edition %s: %s\n", g_edition.c_str(),
                 error.c_str());
    return false;
  }
  sim::ProcessOptions options;
  options.modulePath = "C:\\conformance_tests.exe";
  // The running program's own image, as on Windows.
  g_machine->files.WriteFile(options.modulePath, "conformance tests");
  options.resources = ConformanceResources();
  options.is64BitProcess = g_nativeProcess;
  options.frontEnd = &g_screen;
  g_process = std::make_unique<sim::ProcessScope>(*g_machine, options);
  return true;
}

void TearDownPlatform() {
  g_process.reset();
  g_machine.reset();
}

bool IsSimulator() { return true; }
bool IsWine() { return false; }
bool IsWindows64() { return sim::CurrentProcess().machine.os.Is64Bit(); }
bool IsWow64() { return sim::CurrentProcess().IsWow64(); }
bool Is64BitProcess() { return sim::CurrentProcess().is64BitProcess; }
std::string PlatformName() {
  return "simulator " + g_edition + (g_nativeProcess ? ", 64-bit process" : "");
}

}  // namespace conformance
