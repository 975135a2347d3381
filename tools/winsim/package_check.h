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
  // The error that says the key is not read as written, and what is read instead; what
  // the installer then makes of that text is told there too, not again.
  int finding = -1;
};

// A PCI ID the installer writes from a VID_PID_NAMEn line.
struct ReadId {
  std::string name;
  std::string id;
  std::string window;  // the 17 characters it was taken from
  int line = 0;
};

// A folder in Program Files of a fresh machine: the system's own or other software's,
// which a program folder must never be.
struct TakenFolder {
  std::string name;
  bool refused = false;  // the installer refuses it (it holds files); else takes it over
};

// What an edition makes of the package.
struct EditionPlan {
  std::string edition;
  bool supported = false;
  bool uninstallRefused = false;  // the uninstaller says it cannot uninstall there
  bool shipped = true;            // the package ships its platform folder
  std::string platformFolder;     // "\X86", "\AMD64", "\IA64"
  std::string windowsFolder;
  std::vector<TakenFolder> programFilesFolders;
};

// How the package is to be judged.
struct CheckOptions {
  // The platform folders the vendor ships ("X86", "AMD64", "IA64"); a missing one of
  // these is an error, the editions of the others are listed as not installable. Empty:
  // all three.
  std::vector<std::string> platforms;
  bool platformsPresent = false;  // the platform folders present are the ones shipped
  bool shipping = false;  // a driver file that is no Windows image is an error, not a warning
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
  std::vector<std::string> platforms;  // shipped, as judged
  std::vector<Finding> findings;

  int Count(Severity severity) const;
  void Add(const std::string& file, int line, Severity severity, const std::string& text);
};

// The whole check of the package folder `hostFolder`.
PackageCheck CheckPackage(const std::string& hostFolder, const CheckOptions& options = {});

// A file that an INF names for the device installer to copy.
struct InfFileName {
  std::string name;
  std::string inf;  // host path
  int line = 0;
  std::string section;
};
// The files of [SourceDisksFiles] (decorated or not) and of the sections CopyFiles names.
std::vector<InfFileName> FilesNamedInInf(const std::string& bytes, const std::string& inf);

// The findings about one file of platform folder `platform` ("X86", "AMD64", "IA64"):
// empty, no Windows image (a warning, an error when `shipping`), an image for another
// processor, a .sys that is no kernel-mode driver or a .dll that is no library.
// `editions` ends each text (" (needed on ...)").
void CheckDriverImage(const std::string& hostPath, const std::string& bytes,
                      const std::string& platform, const std::string& editions, bool shipping,
                      PackageCheck* check);

// The ports INF's customisation values and PCI IDs from the file's bytes, with the
// findings about them; `file` names the INF in the findings.
void CheckPortsInf(const std::string& bytes, const std::string& file, PackageCheck* check);

// `text` in double quotes, line breaks, tabs and control characters escaped, so that it
// stays on one line.
std::string QuotedText(const std::string& text);
// The same, for a text that may be long: the start of it and its length.
std::string ShownText(const std::string& text);

// The line (from 1) of byte `at` of `bytes`; lines end at LF, or at CR in a file that
// has no LF.
int LineOf(const std::string& bytes, size_t at);

// "UTF-16 (little-endian, with a byte order mark)" and the like, or empty when `bytes`
// is no UTF-16 text.
std::string Utf16Form(const std::string& bytes);
bool LineEndsAreCrAlone(const std::string& bytes);
// An INF whose lines end in CR alone: one error.
void CheckLineEnds(const std::string& bytes, const std::string& file, PackageCheck* check);
// Values read from the ports INF that are UTF-8 text: a warning with both readings.
void CheckUtf8Values(const std::string& file, PackageCheck* check);

// What each edition makes of a package: supported or not, its platform sub-folder and
// Windows folder, as the installer's own detection finds them on a fresh machine.
std::vector<EditionPlan> PlanEditions();

}  // namespace winsim
