#include "tools/winsim/machine_setup.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "tools/winsim/host_package.h"

namespace winsim {

bool IsEdition(const std::string& name) {
  for (const std::string& edition : sim::EditionNames()) {
    if (edition == name) return true;
  }
  return false;
}

std::string UnknownEditionMessage(const std::string& name) {
  std::string list;
  for (const std::string& edition : sim::EditionNames()) list += " " + edition;
  return "unknown edition '" + name + "'; editions:" + list;
}

std::unique_ptr<sim::Machine> NewMachine(const std::string& edition,
                                         const std::string& hostPackageFolder, std::string* error,
                                         const std::string& packageFolder) {
  if (!IsEdition(edition)) {
    *error = UnknownEditionMessage(edition);
    return nullptr;
  }
  std::unique_ptr<sim::Machine> machine = sim::MachineFromEdition(edition, error);
  if (!machine) return nullptr;
  if (!hostPackageFolder.empty() &&
      !PutPackageInFolder(hostPackageFolder, packageFolder, machine.get(), error)) {
    return nullptr;
  }
  return machine;
}

std::string SamplePackageFolder() { return std::string(WINSIM_SOURCE_DIR) + "/packages/sample"; }

std::string DemoScript(const char* name) {
  return std::string(WINSIM_SOURCE_DIR) + "/tools/winsim/demo/" + name;
}

const char* UninstallScriptFor(const sim::OsIdentity& os) {
  if (!os.Is64Bit()) return "uninstall.script";
  return os.majorVersion == 5 ? "uninstall-64.script" : "uninstall-unsupported.script";
}

bool MachinesFolder(std::string* folder, std::string* error) {
  std::string home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else if (const struct passwd* user = getpwuid(getuid()); user && user->pw_dir) {
    home = user->pw_dir;
  }
  if (home.empty()) {
    *error = "no home folder (HOME is not set) for the default machine";
    return false;
  }
  *folder = home + "/.kestrolin/machines";
  return true;
}

bool MakeHostFolders(const std::string& folder, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    *error = folder + ": cannot be made: " + ec.message();
    return false;
  }
  return true;
}

}  // namespace winsim
