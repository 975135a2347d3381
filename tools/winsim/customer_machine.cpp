#include "tools/winsim/customer_machine.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/sim/machine/code_page.h"
#include "platform/sim/machine/name_order.h"
#include "platform/sim/storage/host_file.h"
#include "tools/winsim/machine_setup.h"
#include "tools/winsim/uninstall_entries.h"
#include "uninstall_engine/uninstall_context.h"

namespace winsim {

namespace {

constexpr char kWindowsNtKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char kWow64Key[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node";

bool StartsWithName(std::string_view path, std::string_view prefix) {
  return path.size() >= prefix.size() && sim::NamesEqual(path.substr(0, prefix.size()), prefix);
}

// `path` is `place`, lies below it, or is the key right above it.
bool Covers(std::string_view path, std::string_view place) {
  if (StartsWithName(path, place) && (path.size() == place.size() || path[place.size()] == '\\'))
    return true;
  const size_t parent = place.rfind('\\');
  return parent != std::string_view::npos && path.size() == parent &&
         sim::NamesEqual(path, place.substr(0, parent));
}

std::vector<ExportPlace> PlacesOf(const sim::Machine& machine) {
  const std::string control = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\";
  return {
      {"devices", "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum", false},
      {"driver keys", control + "Class", false},
      {"COM name database", control + "COM Name Arbiter", false},
      {"port list",
       ThirtyTwoBitKeyPath(machine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports"),
       false},
      {"Uninstall entries", ThirtyTwoBitKeyPath(machine, kUninstallEntriesKey), false},
      {"product records", ThirtyTwoBitKeyPath(machine, kProductRecordsKey), false},
  };
}

// "PCI\VEN_...\4&2a7b1c3&0&00E4" for the key of a device instance or a key below it.
std::string DeviceOf(std::string_view keyPath) {
  constexpr std::string_view kEnum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
  if (!StartsWithName(keyPath, kEnum)) return "";
  const std::string_view rest = keyPath.substr(kEnum.size());
  size_t end = 0;
  for (int part = 0; part < 3; ++part) {
    if (end > rest.size()) return "";
    end = std::min(rest.find('\\', end), rest.size()) + 1;
  }
  return std::string(rest.substr(0, end - 1));
}

// Enough of a file's start for its first line.
constexpr size_t kHeadBytes = 160;

// "UTF-16, Windows Registry Editor Version 5.00" from a file's first bytes.
std::string FormOf(const std::string& head) {
  const bool utf16 = head.size() >= 2 && head[0] == '\xFF' && head[1] == '\xFE';
  std::string text;
  if (utf16) {
    for (size_t i = 2; i + 1 < head.size(); i += 2) text.push_back(head[i]);
  } else {
    text = head;
  }
  const std::string header = text.substr(0, text.find_first_of("\r\n"));
  return std::string(utf16 ? "UTF-16" : "ANSI") + ", " + header;
}

// Reads one export into the machine, noting what it holds of the places and what it says
// of its Windows.
bool ImportExport(const std::string& path, CustomerMachine* out, std::string* error) {
  ExportRead read;
  const sim::RegFileStatementFn watch = [&](const sim::RegFileOp& op) {
    if (op.kind == sim::RegFileOp::kKey) {
      for (ExportPlace& place : out->places) place.inExport |= Covers(op.keyPath, place.keyPath);
      out->wow64Keys |= Covers(op.keyPath, kWow64Key);
      const std::string instance = DeviceOf(op.keyPath);
      if (!instance.empty()) out->devices.insert(instance);
    } else if (op.kind == sim::RegFileOp::kSetValue && op.value.type == 1 &&
               sim::NamesEqual(op.keyPath, kWindowsNtKey)) {
      const std::string text = op.value.data.substr(0, op.value.data.find('\0'));
      const std::pair<const char*, std::string*> said[] = {
          {"ProductName", &out->productName},
          {"CurrentVersion", &out->currentVersion},
          {"CurrentBuildNumber", &out->buildNumber},
          {"CSDVersion", &out->servicePack},
          {"SystemRoot", &out->systemRoot}};
      for (const auto& [name, field] : said) {
        if (sim::NamesEqual(op.valueName, name)) *field = text;
      }
    }
  };
  if (!ImportMachineExport(path, out->machine.get(), &read, watch, error)) return false;
  out->exports.push_back(std::move(read));
  return true;
}

// Where the export's Windows differs from the machine's edition.
std::vector<std::string> Mismatches(const CustomerMachine& m) {
  const sim::OsIdentity& os = m.machine->os;
  std::vector<std::string> found;
  const std::string version =
      std::to_string(os.majorVersion) + "." + std::to_string(os.minorVersion);
  if (!m.currentVersion.empty() && m.currentVersion != version) {
    found.push_back("the export's Windows is version " + m.currentVersion + ", the edition's " +
                    version);
  }
  const std::string build = std::to_string(os.buildNumber & 0xFFFF);
  if (!m.buildNumber.empty() && m.buildNumber != build) {
    found.push_back("the export's Windows is build " + m.buildNumber + ", the edition's " + build);
  }
  if (m.wow64Keys != os.Is64Bit()) {
    found.push_back(m.wow64Keys ? "the export holds Wow6432Node (a 64-bit Windows); the edition "
                                  "is a 32-bit one"
                                : "the export holds no Wow6432Node (a 32-bit Windows?); the "
                                  "edition is a 64-bit one");
  }
  if (!m.systemRoot.empty() && !sim::NamesEqual(m.systemRoot, os.windowsFolder)) {
    found.push_back("the export's Windows folder is " + m.systemRoot + ", the edition's " +
                    os.windowsFolder + ": paths the programs build there differ");
  }
  return found;
}

}  // namespace

std::string ExportLossesText(const ExportRead& read) {
  std::string out;
  const sim::RegFileLosses& losses = read.losses;
  const std::string first = " (first at " + read.path + ":";
  if (losses.characters) {
    out += "  " + std::to_string(losses.characters) +
           " characters code page 1252 lacks, read as '?' as the uninstaller reads them" + first +
           std::to_string(losses.firstCharacterLine) + ")\n";
  }
  if (losses.oddStrings) {
    out += "  " + std::to_string(losses.oddStrings) +
           " string values of odd length, their last byte left out" + first +
           std::to_string(losses.firstOddLine) + ")\n";
  }
  return out;
}

bool ImportMachineExport(const std::string& path, sim::Machine* machine, ExportRead* read,
                         const sim::RegFileStatementFn& watch, std::string* error) {
  sim::HostFileReader file;
  sim::HostFileRead how;
  how.followLinks = true;  // the user names it
  how.maxBytes = sim::kMaxRegistryFileBytes;
  std::string what;
  if (!file.Open(path, how, &what)) {
    *error = path + ": " + what;
    return false;
  }
  *read = ExportRead();
  read->path = path;
  std::string head;
  const sim::RegFileReader reader = [&](char* buffer, size_t size, size_t* got,
                                        std::string* failure) {
    if (!file.Read(buffer, size, got, failure)) return false;
    if (head.size() < kHeadBytes) head.append(buffer, std::min(*got, kHeadBytes - head.size()));
    return true;
  };
  sim::RegFileApplier applier(&machine->registry);
  applier.ReplaceHeldKeys();
  const sim::RegFileStatementFn apply = [&](const sim::RegFileOp& op) {
    read->keys += op.kind == sim::RegFileOp::kKey;
    read->values += op.kind == sim::RegFileOp::kSetValue;
    if (watch) watch(op);
    applier.Apply(op);
  };
  if (!sim::ParseRegFileStatements(reader, path, apply, error, &read->losses)) return false;
  applier.Finish();
  read->form = FormOf(head);
  return true;
}

bool BuildCustomerMachine(const std::string& edition, const std::string& hostPackage,
                          const std::vector<std::string>& exportPaths, CustomerMachine* out,
                          std::string* error) {
  CustomerMachine built;
  built.machine = NewMachine(edition, hostPackage, error);
  if (!built.machine) return false;
  built.places = PlacesOf(*built.machine);
  for (const std::string& path : exportPaths) {
    if (!ImportExport(path, &built, error)) return false;
  }
  built.mismatches = Mismatches(built);
  *out = std::move(built);
  return true;
}

}  // namespace winsim
