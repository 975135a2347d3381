// The demo: the installer and the uninstaller run on a fresh simulated machine, in the
// terminal. The programs are built step by step; what is not built yet says so and
// makes the demo fail.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "sysinfo/windows_version.h"
#include "tools/winsim/commands.h"

namespace winsim {

namespace {

constexpr const char* kDefaultEdition = "xp";

int Demo(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {"edition"});
  if (!parsed.error.empty()) return BadUsage("demo", parsed.error);
  if (!parsed.positional.empty()) return BadUsage("demo", "takes no folder");
  const std::string edition =
      parsed.Option("edition") ? *parsed.Option("edition") : kDefaultEdition;
  std::string error;
  std::unique_ptr<sim::Machine> machine = sim::MachineFromEdition(edition, &error);
  if (!machine) return BadUsage("demo", error);

  std::printf("Simulated machine: edition %s\n", edition.c_str());
  {
    sim::ProcessOptions installer;
    installer.modulePath = "D:\\Kestrolin.exe";
    sim::ProcessScope process(*machine, installer);
    WindowsVersion version;
    std::printf("Windows: ");
    std::fflush(stdout);
    version.DescribeWindowsVersion();
    version.DetectWindowsVersion();
    std::printf("Flags: isNt5x=%d isNt60=%d isWin98OrMe=%d architecture=%d native64=%d\n",
                version.isNt5x, version.isNt60, version.isWin98OrMe, version.architecture,
                IsNative64BitWindows());
  }
  std::fprintf(stderr,
               "winsim demo: the installer Kestrolin and the uninstaller Wendmarrow are not "
               "built yet; nothing was installed\n");
  return kFailed;
}

}  // namespace

std::vector<Command> DemoCommands() {
  return {{"demo", "[--edition NAME]",
           "run the installer and the uninstaller on a fresh machine (default: xp)", Demo}};
}

}  // namespace winsim
