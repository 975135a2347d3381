#include "tools/winsim/program_placeholder.h"

namespace winsim {

namespace {

constexpr std::string_view kProgramPlaceholder = "PLACEHOLDER: not a program. Stands in for ";

}  // namespace

const char* ProgramFileName(ProgramKind kind) {
  return kind == ProgramKind::kInstaller ? "Kestrolin.exe" : "Wendmarrow.exe";
}

std::optional<ProgramKind> ProgramNamedBy(std::string_view content) {
  if (content.substr(0, kProgramPlaceholder.size()) != kProgramPlaceholder) return std::nullopt;
  const std::string_view named = content.substr(kProgramPlaceholder.size());
  for (ProgramKind kind : {ProgramKind::kInstaller, ProgramKind::kUninstaller}) {
    // The name ends at the comma, so "Kestrolin.exe.bak," names nothing.
    const std::string name = std::string(ProgramFileName(kind)) + ",";
    if (named.substr(0, name.size()) == name) return kind;
  }
  return std::nullopt;
}

std::string InstallerPlaceholder() {
  return std::string(kProgramPlaceholder) +
         "Kestrolin.exe, the installer, started from the package folder; the simulator runs "
         "the installer when a program is started from this file.\r\n";
}

std::string UninstallerPlaceholder() {
  return std::string(kProgramPlaceholder) +
         "Wendmarrow.exe, the uninstaller, in place of the package's own build of it; the "
         "simulator runs the uninstaller when a program is started from this file.\r\n";
}

}  // namespace winsim
