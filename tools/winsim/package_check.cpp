// The package checker's whole run: the ports INF, then per supported edition the names
// the installer composes and the files it copies from the edition's platform folder.
#include "tools/winsim/package_check.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

#include "installer/install_context.h"
#include "installer/ports_inf.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/name_order.h"
#include "platform/sim/machine/process.h"
#include "sysinfo/system_folders.h"
#include "tools/winsim/host_package.h"
#include "tools/winsim/machine_setup.h"
#include "uninstall_engine/uninstall_context.h"

namespace winsim {

namespace fs = std::filesystem;

namespace {

const char* const kDriverFiles[] = {"Orrick.sys", "Tamble.sys", "Quellmast.sys", "Sabrelune.dll",
                                    "Pellacorte.dll"};
constexpr char kGenericUninstaller[] = "Wendmarrow.exe";

// The package as it stands on the installer's drive, read by the reader that create and
// preview use, so that the three refuse the same packages.
struct Package {
  fs::path root;
  std::vector<PackageEntry> entries;
  std::string HostPath(const std::string& windowsPath) const {
    std::string relative = sim::Cp1252ToUtf8(windowsPath.substr(3));
    for (char& c : relative) c = c == '\\' ? '/' : c;
    return (root / relative).string();
  }
};

std::string DrivePath(const std::string& name) {
  return std::string(1, kPackageDrive) + ":\\" + name;
}

// The entry at `windowsPath` as Windows finds it: regardless of letter case.
enum class Entry { kMissing, kFile, kFolder };
Entry FindEntry(const Package& package, const std::string& windowsPath,
                const PackageEntry** found) {
  for (const PackageEntry& entry : package.entries) {
    if (!sim::NamesEqual(entry.windowsPath, windowsPath)) continue;
    if (found) *found = &entry;
    return entry.isFolder ? Entry::kFolder : Entry::kFile;
  }
  return Entry::kMissing;
}

// "xp, 2003, vista" or "every supported edition".
std::string EditionList(const std::vector<std::string>& editions, size_t supportedCount) {
  if (editions.size() == supportedCount) return "every supported edition";
  std::string list;
  for (const std::string& e : editions) list += (list.empty() ? "" : ", ") + e;
  return list;
}

size_t SupportedCount(const PackageCheck& check) {
  size_t n = 0;
  for (const EditionPlan& e : check.editions) n += e.supported;
  return n;
}

int KeyLine(const PackageCheck& check, const std::string& key) {
  for (const ReadValue& r : check.read)
    if (r.key == key) return r.line;
  return 0;
}

// The names and paths the installer composes on each supported edition: a name it
// would refuse stops the installation there before anything is written.
void CheckComposedNames(const std::string& inf, PackageCheck* check) {
  std::map<std::string, std::vector<std::string>> editionsOf;  // finding text -> editions
  std::map<std::string, std::string> keyOf;
  for (const EditionPlan& plan : check->editions) {
    if (!plan.supported) continue;
    for (const ComposedName& name :
         ComposedNames(check->values, &plan.windowsFolder, plan.platformFolder)) {
      if (!name.fault) continue;
      const std::string text = std::string(name.key) + " makes the " + name.role + " " +
                               ShownText(name.text) + ", which cannot be used: " + name.fault +
                               "; the installer refuses the package";
      editionsOf[text].push_back(plan.edition);
      keyOf[text] = name.key;
    }
  }
  // A program folder under a name the system or other software already uses would be
  // theirs: the installer would refuse it once it holds anything, or take it over empty.
  const std::string& customer = check->values.customerName;
  for (const EditionPlan& plan : check->editions) {
    if (!plan.supported) continue;
    for (const std::string& folder : plan.programFilesFolders) {
      if (!sim::NamesEqual(folder, customer)) continue;
      const std::string text =
          "CustomerName= makes the program folder " +
          ShownText(plan.windowsFolder.substr(0, 1) + ":\\Program Files\\" + folder) +
          ", a folder Windows or other software already has";
      editionsOf[text].push_back(plan.edition);
      keyOf[text] = "CustomerName=";
    }
  }
  const size_t supported = SupportedCount(*check);
  for (const auto& [text, editions] : editionsOf) {
    check->Add(inf, KeyLine(*check, keyOf[text]), Severity::kError,
               text + " (on " + EditionList(editions, supported) + ")");
  }
  // The uninstaller finds its customer by its own file name.
  const std::string word = CustomerWordFromProgramName(check->values.uninstallerName);
  if (word != customer) {
    check->Add(inf, KeyLine(*check, "CustomerName="), Severity::kError,
               "the uninstaller installed as " + ShownText(check->values.uninstallerName + ".exe") +
                   " takes the customer " + ShownText(word) + " from its name, not " +
                   ShownText(customer) + ", and would not find the customer's record");
  }
  if (customer.find(' ') != std::string::npos) {
    check->Add(inf, KeyLine(*check, "CustomerName="), Severity::kWarning,
               "the customer name holds a blank: the uninstall command, a path that is not "
               "quoted, holds it too");
  }
}

// The files the installer copies from each platform folder that a supported edition
// uses, and the uninstaller it takes from there.
void CheckLayout(const Package& package, PackageCheck* check) {
  const size_t supported = SupportedCount(*check);
  for (const char* inf : {"Sabrelune.inf", "Dovrik.inf"}) {
    const Entry entry = FindEntry(package, DrivePath(inf), nullptr);
    if (entry == Entry::kFile) continue;
    const bool ports = std::string(inf) == "Sabrelune.inf";
    check->Add(package.HostPath(DrivePath(inf)), 0, Severity::kError,
               entry == Entry::kFolder ? "a folder, where the installer reads and copies a file"
               : ports ? "missing: the installer stops at \"CreateFile failed\" before it writes "
                         "anything"
                       : "missing: the installer cannot copy it, and stops before staging");
  }
  std::map<std::string, std::vector<std::string>> editionsOf;  // platform folder -> editions
  for (const EditionPlan& plan : check->editions) {
    if (plan.supported) editionsOf[plan.platformFolder].push_back(plan.edition);
  }
  const std::string customUninstaller = check->values.uninstallerName + ".exe";
  for (const auto& [platform, editions] : editionsOf) {
    const std::string folderPath = DrivePath(platform.substr(1));
    const std::string where = " (needed on " + EditionList(editions, supported) + ")";
    const PackageEntry* folder = nullptr;
    if (FindEntry(package, folderPath, &folder) != Entry::kFolder) {
      check->Add(package.HostPath(folderPath), 0, Severity::kError,
                 "missing platform folder" + where);
      check->uninstallers.push_back({platform, ""});
      continue;
    }
    std::string used;
    for (const std::string& name : {customUninstaller, std::string(kGenericUninstaller)}) {
      if (used.empty() && FindEntry(package, folderPath + "\\" + name, nullptr) == Entry::kFile) {
        used = name;
      }
    }
    check->uninstallers.push_back({platform, used});
    if (used.empty()) {
      check->Add(
          folder->hostPath, 0, Severity::kError,
          "no uninstaller: neither " + customUninstaller + " nor " + kGenericUninstaller + where);
    }
    for (const char* driver : kDriverFiles) {
      const std::string driverPath = folderPath + "\\" + driver;
      const Entry entry = FindEntry(package, driverPath, nullptr);
      if (entry == Entry::kFile) continue;
      check->Add(
          (fs::path(folder->hostPath) / driver).string(), 0, Severity::kError,
          (entry == Entry::kFolder ? "a folder, where the installer copies a file" : "missing") +
              where);
    }
  }
}

}  // namespace

int PackageCheck::Count(Severity severity) const {
  int n = 0;
  for (const Finding& f : findings) n += f.severity == severity;
  return n;
}

void PackageCheck::Add(const std::string& file, int line, Severity severity,
                       const std::string& text) {
  findings.push_back({file, line, severity, text});
}

std::vector<EditionPlan> PlanEditions() {
  std::vector<EditionPlan> plans;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::tmpfile(), &std::fclose);
  for (const std::string& edition : sim::EditionNames()) {
    std::string error;
    std::unique_ptr<sim::Machine> machine = sim::MachineFromEdition(edition, &error);
    if (!machine) continue;
    sim::ProcessScope scope(*machine);
    InstallContext context;
    // The installer's description line is not part of the check's output.
    if (sink) context.descriptionOutput = sink.get();
    context.DetectWindowsVersion();
    context.DescribeWindowsVersion();
    EditionPlan plan;
    plan.edition = edition;
    plan.supported = context.IsSupported();
    plan.platformFolder = context.PlatformFolder();
    WindowsFolder(&plan.windowsFolder);
    const auto programFiles =
        machine->files.Find(plan.windowsFolder.substr(0, 1) + ":\\Program Files");
    if (programFiles) {
      programFiles->children.ForEach(
          [&](const std::string& name, const std::shared_ptr<sim::FsNode>& node) {
            if (node->isDirectory) plan.programFilesFolders.push_back(name);
          });
    }
    plans.push_back(plan);
  }
  return plans;
}

PackageCheck CheckPackage(const std::string& hostFolder) {
  PackageCheck check;
  check.package = hostFolder;
  check.editions = PlanEditions();
  Package package;
  package.root = hostFolder;
  std::string error;
  if (!ReadHostPackage(hostFolder, std::string(1, kPackageDrive) + ":", &package.entries, &error)) {
    check.Add(hostFolder, 0, Severity::kError,
              "the package cannot be used (create --package and preview refuse it too): " + error);
    check.values = ResolveCustomisation(std::string(), CustomisationValues{});
    return check;
  }
  const PackageEntry* inf = nullptr;
  if (FindEntry(package, DrivePath("Sabrelune.inf"), &inf) == Entry::kFile) {
    CheckPortsInf(inf->content, inf->hostPath, &check);
    check.portsInfBytes = inf->content.size();
    CheckComposedNames(inf->hostPath, &check);
  } else {
    // The installer stops at "CreateFile failed"; the layout is still worth knowing.
    check.values = ResolveCustomisation(std::string(), CustomisationValues{});
  }
  CheckLayout(package, &check);
  return check;
}

}  // namespace winsim
