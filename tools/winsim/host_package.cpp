#include "tools/winsim/host_package.h"

#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "platform/sim/storage/host_file.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/name_order.h"
#include "platform/sim/machine/path_resolution.h"
#include "tools/winsim/program_placeholder.h"

namespace winsim {

namespace fs = std::filesystem;

// The whole package read and checked first, so that a refused package changes nothing.
bool ReadHostPackage(const std::string& hostFolder, const std::string& windowsFolder,
                     std::vector<PackageEntry>* entries, std::string* error) {
  const fs::path root(hostFolder);
  std::error_code ec;
  uint64_t budget = sim::kMaxDriveBytesTotal;
  if (!fs::is_directory(root, ec)) {
    *error = root.string() + ": not a folder";
    return false;
  }
  std::set<std::string, sim::NameLess> seen;  // Windows names ignore case; the host's do not
  fs::recursive_directory_iterator it(root, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::path& host = it->path();
    std::string windowsPath = windowsFolder;
    for (const fs::path& part : fs::relative(host, root)) {
      std::string name;
      if (!sim::Utf8ToCp1252(part.string(), &name) || !sim::IsValidName(name)) {
        *error = host.string() + ": the name cannot be a Windows file name";
        return false;
      }
      windowsPath += "\\" + name;
    }
    if (windowsPath.size() > sim::kMaxFullPath) {
      *error = host.string() + ": " + windowsPath + " is longer than MAX_PATH";
      return false;
    }
    if (!seen.insert(windowsPath).second) {
      *error = host.string() + ": another name in the package differs from it only in case";
      return false;
    }
    PackageEntry entry;
    entry.hostPath = host.string();
    entry.windowsPath = windowsPath;
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    if (fs::is_directory(status)) {
      entry.isFolder = true;
    } else if (fs::is_regular_file(status)) {
      sim::HostFileRead how;
      how.maxBytes = budget < sim::kMaxDriveFileBytes ? budget : sim::kMaxDriveFileBytes;
      std::string what;
      if (!sim::ReadHostFile(host.string(), how, &entry.content, &what)) {
        *error = host.string() + ": " + what;
        return false;
      }
      budget -= entry.content.size();
    } else {
      *error = host.string() + ": neither a file nor a folder";
      return false;
    }
    entries->push_back(std::move(entry));
  }
  if (ec) {
    *error = root.string() + ": cannot be read: " + ec.message();
    return false;
  }
  return true;
}

bool PutPackageInFolder(const std::string& hostFolder, const std::string& windowsFolder,
                        sim::Machine* machine, std::string* error) {
  std::vector<PackageEntry> entries;
  if (!ReadHostPackage(hostFolder, windowsFolder, &entries, error)) return false;
  machine->files.now = machine->Now();
  machine->files.AddDrive(windowsFolder[0]);
  if (windowsFolder.size() > 2 && !machine->files.MakeDirectories(windowsFolder)) {
    *error = windowsFolder + ": cannot be made on the machine";
    return false;
  }
  for (PackageEntry& entry : entries) {
    const bool made = entry.isFolder ? machine->files.MakeDirectories(entry.windowsPath) != nullptr
                                     : machine->files.WriteFile(
                                           entry.windowsPath, std::move(entry.content)) != nullptr;
    if (!made) {
      *error = entry.windowsPath + ": cannot be made on the machine";
      return false;
    }
  }
  const std::string installer = windowsFolder + "\\" + ProgramFileName(ProgramKind::kInstaller);
  if (!machine->files.Find(installer)) machine->files.WriteFile(installer, InstallerPlaceholder());
  return true;
}

}  // namespace winsim
