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
#include "uninstall_engine/program_folder.h"
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

// Whether the vendor ships platform folder `platform` ("X86", ...).
bool Ships(const CheckOptions& options, const std::string& platform) {
  if (options.platforms.empty()) return true;
  for (const std::string& p : options.platforms) {
    if (sim::NamesEqual(p, platform)) return true;
  }
  return false;
}

int KeyLine(const PackageCheck& check, const std::string& key) {
  for (const ReadValue& r : check.read)
    if (r.key == key) return r.line;
  return 0;
}

// The longest customer name the installer takes on `plan`'s edition, by its own rules.
size_t LongestCustomerName(const EditionPlan& plan, const CustomisationValues& values) {
  size_t good = 0, bad = 256;
  while (bad - good > 1) {
    const size_t n = (good + bad) / 2;
    CustomisationValues v = values;
    v.customerName = std::string(n, 'K');
    v.uninstallerName = v.customerName + kUninstallerSuffix;
    const auto names = ComposedNames(v, &plan.windowsFolder, plan.platformFolder);
    (FirstUnusable(names, "CustomerName=") ? bad : good) = n;
  }
  return good;
}

// A customer name too long for some edition: one error with the longest name each
// platform folder allows, instead of one per path it would make too long.
bool CheckCustomerLength(const std::string& inf, PackageCheck* check) {
  const std::string& customer = check->values.customerName;
  std::map<std::string, size_t> longest;  // "X86 (C:\WINDOWS)" -> characters
  bool tooLong = false;
  for (const EditionPlan& plan : check->editions) {
    if (!plan.supported || !plan.shipped) continue;
    const size_t n = LongestCustomerName(plan, check->values);
    longest[plan.platformFolder.substr(1) + " (" + plan.windowsFolder + ")"] = n;
    tooLong = tooLong || customer.size() > n;
  }
  if (!tooLong) return false;
  std::string list;
  for (const auto& [where, n] : longest) {
    list += (list.empty() ? "" : ", ") + std::to_string(n) + (list.empty() ? " characters" : "") +
            " with " + where;
  }
  const std::string text = "the customer name " + ShownText(customer) +
                           " is too long: the longest name the installer takes is " + list +
                           "; it refuses the package";
  check->Add(inf, KeyLine(*check, "CustomerName="), Severity::kError, text);
  return true;
}

// The names and paths the installer composes on each supported edition: a name it
// would refuse stops the installation there before anything is written.
void CheckComposedNames(const std::string& inf, PackageCheck* check) {
  std::map<std::string, std::vector<std::string>> editionsOf;  // finding text -> editions
  std::map<std::string, std::string> keyOf;
  // What a key not read as written makes the installer do is told with that key's own
  // finding.
  std::map<std::string, ReadValue*> garbled;
  for (ReadValue& r : check->read) {
    if (r.finding >= 0) garbled[r.key] = &r;
  }
  const bool customerTooLong = !garbled.count("CustomerName=") && CheckCustomerLength(inf, check);
  for (const EditionPlan& plan : check->editions) {
    if (!plan.supported || !plan.shipped) continue;
    for (const ComposedName& name :
         ComposedNames(check->values, &plan.windowsFolder, plan.platformFolder)) {
      if (!name.fault) continue;
      const std::string key = name.key;
      if (key == "CustomerName=" && customerTooLong) continue;
      if (garbled.count(key)) {
        Finding& f = check->findings[garbled[key]->finding];
        const std::string refusal =
            "; the installer refuses it as the " + std::string(name.role) + ": " + name.fault;
        if (f.text.find("; the installer refuses it") == std::string::npos) f.text += refusal;
        continue;
      }
      const std::string text = key + " makes the " + name.role + " " + ShownText(name.text) +
                               ", which cannot be used: " + name.fault +
                               "; the installer refuses the package";
      editionsOf[text].push_back(plan.edition);
      keyOf[text] = key;
    }
  }
  // A program folder under a name the system or other software already uses is theirs:
  // the installer refuses it when it holds files, or takes it over when it is empty.
  const std::string& customer = check->values.customerName;
  for (const EditionPlan& plan : check->editions) {
    if (!plan.supported || !plan.shipped) continue;
    for (const TakenFolder& folder : plan.programFilesFolders) {
      if (!sim::NamesEqual(folder.name, customer)) continue;
      const std::string text =
          "CustomerName= makes the program folder " +
          ShownText(plan.windowsFolder.substr(0, 1) + ":\\Program Files\\" + folder.name) +
          ", a folder Windows or other software already has: " +
          (folder.refused ? "the installer refuses it, since it holds files of their own"
                          : "the installer would take it over, and its uninstall delete it");
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
  if (customer.find(' ') != std::string::npos && !garbled.count("CustomerName=")) {
    check->Add(inf, KeyLine(*check, "CustomerName="), Severity::kWarning,
               "the customer name holds a blank: the uninstall command, a path that is not "
               "quoted, holds it too");
  }
}

// The files the installer copies from each platform folder that a supported edition
// uses, the uninstaller it takes from there, and the files the INF files name for the
// device installer; each driver file for what it is.
void CheckLayout(const Package& package, const CheckOptions& options, PackageCheck* check) {
  const size_t supported = SupportedCount(*check);
  std::vector<InfFileName> named;
  for (const char* inf : {"Sabrelune.inf", "Dovrik.inf"}) {
    const PackageEntry* found = nullptr;
    const Entry entry = FindEntry(package, DrivePath(inf), &found);
    if (entry == Entry::kFile) {
      for (const InfFileName& n : FilesNamedInInf(found->content, found->hostPath)) {
        named.push_back(n);
      }
      continue;
    }
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
      check->uninstallers.push_back({platform, ""});
      if (!Ships(options, platform.substr(1))) continue;
      check->Add(package.HostPath(folderPath), 0, Severity::kError,
                 "missing platform folder" + where);
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
    std::vector<std::string> checked;
    for (const char* driver : kDriverFiles) {
      const std::string driverPath = folderPath + "\\" + driver;
      const PackageEntry* file = nullptr;
      const Entry entry = FindEntry(package, driverPath, &file);
      checked.push_back(driver);
      if (entry == Entry::kFile) {
        CheckDriverImage(file->hostPath, file->content, platform.substr(1), where, options.shipping,
                         check);
        continue;
      }
      check->Add(
          (fs::path(folder->hostPath) / driver).string(), 0, Severity::kError,
          (entry == Entry::kFolder ? "a folder, where the installer copies a file" : "missing") +
              where);
    }
    for (const InfFileName& n : named) {
      bool seen = false;
      for (const std::string& c : checked) seen = seen || sim::NamesEqual(c, n.name);
      if (seen) continue;
      checked.push_back(n.name);
      const PackageEntry* file = nullptr;
      if (FindEntry(package, folderPath + "\\" + n.name, &file) == Entry::kFile) {
        CheckDriverImage(file->hostPath, file->content, platform.substr(1), where, options.shipping,
                         check);
        continue;
      }
      check->Add(n.inf, n.line, Severity::kError,
                 ShownText(n.name) + ", named in [" + n.section + "], is not shipped in " +
                     platform.substr(1) +
                     ": the installer does not copy it, and the device "
                     "installer cannot find it" +
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
    // The uninstaller's own judgement of this Windows, as its dialog detects it.
    WindowsVersion version;
    UninstallContext uninstall;
    if (version.DetectWindowsVersion()) {
      uninstall.isNt5x = version.isNt5x;
      uninstall.isNt60 = version.isNt60;
      plan.uninstallRefused = plan.supported && UninstallRefusedOnThisWindows(uninstall);
    }
    const std::string programFiles = plan.windowsFolder.substr(0, 1) + ":\\Program Files";
    const auto folder = machine->files.Find(programFiles);
    if (folder) {
      folder->children.ForEach([&](const std::string& name,
                                   const std::shared_ptr<sim::FsNode>& node) {
        if (!node->isDirectory) return;
        // The installer's own test of a folder it meets at the program folder's path.
        const bool refused =
            InspectProgramFolder(programFiles + "\\" + name, name) == ProgramFolderState::kForeign;
        plan.programFilesFolders.push_back({name, refused});
      });
    }
    plans.push_back(plan);
  }
  return plans;
}

PackageCheck CheckPackage(const std::string& hostFolder, const CheckOptions& given) {
  CheckOptions options = given;
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
  if (options.platformsPresent) {
    // No folder of a name the installer does not use stands for "every platform".
    options.platforms = {"none"};
    for (const char* platform : {"X86", "AMD64", "IA64"}) {
      if (FindEntry(package, DrivePath(platform), nullptr) == Entry::kFolder) {
        options.platforms.push_back(platform);
      }
    }
  }
  for (const char* platform : {"X86", "AMD64", "IA64"}) {
    const bool present = FindEntry(package, DrivePath(platform), nullptr) == Entry::kFolder;
    if (present || Ships(options, platform)) check.platforms.push_back(platform);
    for (EditionPlan& plan : check.editions) {
      if (plan.platformFolder.substr(1) == platform) plan.shipped = present;
    }
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
  CheckLayout(package, options, &check);
  if (check.platforms.empty()) {
    check.Add(hostFolder, 0, Severity::kError,
              "no platform folder (X86, AMD64, IA64): the package installs on no edition");
  }
  for (const EditionPlan& plan : check.editions) {
    if (!plan.supported || !plan.uninstallRefused || !plan.shipped) continue;
    check.Add(
        hostFolder, 0, Severity::kWarning,
        "on " + plan.edition +
            " the package installs, but the uninstaller refuses to "
            "uninstall it (\"cannot be uninstalled on this version of Windows\"): the drivers, "
            "the program folder and the records stay");
  }
  return check;
}

}  // namespace winsim
