// The package checker: reads a driver package folder of the host the way the installer
// will read it on each edition, and lists what would keep it from installing cleanly.
#pragma once

#include <string>
#include <vector>

#include "installer/customisation_rules.h"

namespace winsim {

enum class Severity { kError, kWarning };

// One finding about one file of the package; line 0 when it is not about a line.
struct Finding {
  std::string file;  // host path
  int line = 0;
  Severity severity = Severity::kError;
  std::string text;
};

// A customisation value as the installer takes it, and why its default applied.
struct ReadValue {
  std::string key;  // "CustomerName=" ...
  std::string value;
  int line = 0;        // the key's line in the INF; 0 when the installer does not see it
  std::string reason;  // why the value is not the one written after the key, if it is not
  bool defaulted = false;
};

// A PCI ID the installer writes from a VID_PID_NAMEn line.
struct ReadId {
  std::string name;
  std::string id;
  std::string window;  // the 17 characters it was taken from
  int line = 0;
};

// What an edition makes of the package.
struct EditionPlan {
  std::string edition;
  bool supported = false;
  std::string platformFolder;  // "\X86", "\AMD64", "\IA64"
  std::string windowsFolder;
  // The folders in Program Files of a fresh machine of the edition: the system's own and
  // other software's, which a program folder must never be.
  std::vector<std::string> programFilesFolders;
};

// Which uninstaller file a platform folder gives the installer; empty when none.
struct UninstallerChoice {
  std::string platformFolder;
  std::string fileName;
};

struct PackageCheck {
  std::string package;  // the folder as given
  bool portsInfRead = false;
  size_t portsInfBytes = 0;
  CustomisationValues values;
  std::vector<ReadValue> read;
  std::vector<ReadId> ids;
  std::vector<EditionPlan> editions;
  std::vector<UninstallerChoice> uninstallers;
  std::vector<Finding> findings;

  int Count(Severity severity) const;
  void Add(const std::string& file, int line, Severity severity, const std::string& text);
};

// The whole check of the package folder `hostFolder`.
PackageCheck CheckPackage(const std::string& hostFolder);

// The ports INF's customisation values and PCI IDs from the file's bytes, with the
// findings about them; `file` names the INF in the findings.
void CheckPortsInf(const std::string& bytes, const std::string& file, PackageCheck* check);

// `text` in double quotes, line breaks, tabs and control characters escaped, so that it
// stays on one line.
std::string QuotedText(const std::string& text);
// The same, for a text that may be long: the start of it and its length.
std::string ShownText(const std::string& text);

// The line (from 1) of byte `at` of `bytes`.
int LineOf(const std::string& bytes, size_t at);

// What each edition makes of a package: supported or not, its platform sub-folder and
// Windows folder, as the installer's own detection finds them on a fresh machine.
std::vector<EditionPlan> PlanEditions();

}  // namespace winsim
