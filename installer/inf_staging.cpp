// Staging the program folder's INF files with the device installer, which installs
// the drivers when the card is found.
#include <string>

#include "installer/install_context.h"
#include "installer/win32_helpers.h"

namespace {

// SETUPAPI is bound at run time, by name.
typedef BOOL(WINAPI* SetupCopyOemInfFunction)(PCSTR, PCSTR, DWORD, DWORD, PSTR, DWORD, PDWORD,
                                              PSTR*);

bool Stage(SetupCopyOemInfFunction copyOemInf, const std::string& inf) {
  if (!FitsMaxPath(inf)) return false;
  char destination[MAX_PATH] = {};
  return copyOemInf(inf.c_str(), nullptr, SPOST_PATH, 0, destination, MAX_PATH, nullptr, nullptr) !=
         FALSE;
}

}  // namespace

bool InstallContext::StageInfFiles() {
  if (!IsSupported()) return false;
  ScopedLibrary setupApi("SETUPAPI");
  if (!setupApi.get()) return false;
  const auto copyOemInf = FindFunction<SetupCopyOemInfFunction>(setupApi.get(), "SetupCopyOEMInfA");
  if (!copyOemInf) return false;
  std::string folder;
  if (!ProgramFolder(&folder)) return false;
  // The ports INF first: when it is refused, the multifunction INF is not tried.
  return Stage(copyOemInf, folder + "\\Sabrelune.inf") &&
         Stage(copyOemInf, folder + "\\Dovrik.inf");
}
