// The files that stand for the two programs on a simulated machine. A package folder
// holds placeholder texts where Windows would hold executables; the simulator starts the
// program a placeholder names and nothing else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace winsim {

enum class ProgramKind { kInstaller, kUninstaller };

// "Kestrolin.exe" or "Wendmarrow.exe".
const char* ProgramFileName(ProgramKind kind);

// The program a file's content stands for: a placeholder whose first sentence is
// "PLACEHOLDER: not a program." and whose second begins "Stands in for Kestrolin.exe,"
// (or Wendmarrow.exe). Anything else names no program.
std::optional<ProgramKind> ProgramNamedBy(std::string_view content);

// The placeholder for the installer that `winsim create --package` puts beside the
// package, in the style of the package's own placeholders.
std::string InstallerPlaceholder();

// The placeholder that stands for a package's uninstaller that is a real Windows program
// (a shipped package), which the simulator cannot run: it runs its own build instead.
std::string UninstallerPlaceholder();

}  // namespace winsim
