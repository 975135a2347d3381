#include "tools/winsim/customer_findings.h"

#include <cctype>
#include <cstdlib>
#include <memory>
#include <set>

#include "platform/sim/machine/name_order.h"
#include "tools/winsim/uninstall_entries.h"
#include "uninstall_engine/uninstall_context.h"

namespace winsim {

namespace {

constexpr char kEnum[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum";
constexpr char kClass[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class";
constexpr char kComNameArbiter[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
constexpr char kPortList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kPortsClassGuid[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr char kMultifunctionClassGuid[] = "{4d36e971-e325-11ce-bfc1-08002be10318}";
constexpr unsigned kMaxComNumber = 256;  // the 32 bytes of ComDB the uninstaller reads

// A value's text up to its first NUL (the first string of a multi-string); empty when
// the value is missing or no string.
std::string Text(const sim::RegKey& key, std::string_view name) {
  const sim::RegValue* value = key.values.Find(name);
  if (!value || (value->type != 1 && value->type != 2 && value->type != 7)) return "";
  return value->data.substr(0, value->data.find('\0'));
}

std::string Bytes(const sim::RegKey& key, std::string_view name) {
  const sim::RegValue* value = key.values.Find(name);
  return value ? value->data : std::string();
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// n for "COMn" or "COMn:" (as the uninstaller reads port names: atoi after "COM"); 0
// for anything else.
unsigned ComNumber(const std::string& name) {
  if (name.size() < 4 || !sim::NamesEqual(std::string_view(name).substr(0, 3), "COM")) return 0;
  const long n = std::atol(name.c_str() + 3);
  return n >= 1 && n <= static_cast<long>(kMaxComNumber) ? static_cast<unsigned>(n) : 0;
}

bool Bit(const std::string& bytes, unsigned n) {
  const size_t at = (n - 1) >> 3;
  return at < bytes.size() && (static_cast<unsigned char>(bytes[at]) >> ((n - 1) & 7) & 1);
}

using KeyPtr = std::shared_ptr<sim::RegKey>;

void ReadDevices(const sim::Machine& machine, MachineFacts* facts) {
  const KeyPtr enumKey = machine.registry.FindFull(kEnum);
  if (!enumKey) return;
  enumKey->subkeys.ForEach([&](const std::string& enumerator, const KeyPtr& bus) {
    bus->subkeys.ForEach([&](const std::string& deviceId, const KeyPtr& device) {
      device->subkeys.ForEach([&](const std::string& instance, const KeyPtr& key) {
        DeviceFacts d;
        d.instanceId = enumerator + "\\" + deviceId + "\\" + instance;
        d.description = Text(*key, "FriendlyName");
        if (d.description.empty()) d.description = Text(*key, "DeviceDesc");
        d.className = Text(*key, "Class");
        d.classGuid = Text(*key, "ClassGUID");
        d.hardwareId = Text(*key, "HardwareID");
        d.driver = Text(*key, "Driver");
        if (const KeyPtr* parameters = key->subkeys.Find("Device Parameters")) {
          d.port = Text(**parameters, "PortName");
        }
        facts->devices.push_back(std::move(d));
      });
    });
  });
  if (const KeyPtr classes = machine.registry.FindFull(kClass)) {
    classes->subkeys.ForEach([&](const std::string& guid, const KeyPtr& klass) {
      klass->subkeys.ForEach([&](const std::string& number, const KeyPtr&) {
        facts->driverKeys.push_back(guid + "\\" + number);
      });
    });
  }
}

// The customer whose uninstaller `command` starts, as that uninstaller reads its own file
// name; empty when the file is no customer's uninstaller copy.
std::string CustomerOfCommand(const std::string& command) {
  const size_t slash = command.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? command : command.substr(slash + 1);
  const size_t dot = name.rfind('.');
  const std::string word = CustomerWordFromProgramName(name.substr(0, dot));
  return sim::NamesEqual(name, UninstallerCopyFileName(word)) ? word : "";
}

using Names = std::set<std::string, sim::NameLess>;

}  // namespace

MachineFacts ReadFacts(const sim::Machine& machine) {
  MachineFacts facts;
  ReadDevices(machine, &facts);
  if (const KeyPtr arbiter = machine.registry.FindFull(kComNameArbiter)) {
    if (const sim::RegValue* db = arbiter->values.Find("ComDB")) {
      facts.comDbPresent = true;
      facts.comDbType = db->type;
      facts.comDb = db->data;
    }
    facts.comDbMerge = Bytes(*arbiter, "ComDB Merge");
  }
  if (const KeyPtr ports = machine.registry.FindFull(ThirtyTwoBitKeyPath(machine, kPortList))) {
    ports->values.ForEach(
        [&](const std::string& name, const sim::RegValue&) { facts.portList.push_back(name); });
  }
  if (const KeyPtr product =
          machine.registry.FindFull(ThirtyTwoBitKeyPath(machine, kProductRecordsKey))) {
    product->subkeys.ForEach([&](const std::string& customer, const KeyPtr& key) {
      RecordFacts record{customer, key->FullPath(), {}};
      for (int n = 1; n <= 9; ++n) {
        const std::string id = Text(*key, "VID_PID_NAME" + std::to_string(n));
        if (!id.empty()) record.ids.push_back(id);
      }
      facts.records.push_back(std::move(record));
    });
  }
  if (const KeyPtr uninstall =
          machine.registry.FindFull(ThirtyTwoBitKeyPath(machine, kUninstallEntriesKey))) {
    uninstall->subkeys.ForEach([&](const std::string&, const KeyPtr& key) {
      const std::string command = Text(*key, "UninstallString");
      const std::string customer = CustomerOfCommand(command);
      if (customer.empty()) return;
      facts.entries.push_back({key->FullPath(), Text(*key, "DisplayName"), command, customer});
    });
  }
  return facts;
}

const EntryFacts* EntryOf(const MachineFacts& facts, const std::string& customer) {
  for (const EntryFacts& entry : facts.entries) {
    if (sim::NamesEqual(entry.customer, customer)) return &entry;
  }
  return nullptr;
}

FactChanges CompareFacts(const MachineFacts& before, const MachineFacts& after,
                         const std::set<std::string, sim::NameLess>& exported) {
  FactChanges changes;
  // The vendors of the cards the records name ("VEN_6A3C"): their other devices are the
  // ones a customer asks about.
  std::set<std::string> vendors;
  for (const RecordFacts& record : before.records) {
    for (const std::string& id : record.ids) vendors.insert(Upper(id.substr(0, 8)));
  }
  Names kept, driversBefore(before.driverKeys.begin(), before.driverKeys.end()),
      driversAfter(after.driverKeys.begin(), after.driverKeys.end());
  for (const DeviceFacts& d : after.devices) kept.insert(d.instanceId);
  for (const DeviceFacts& d : before.devices) {
    if (!exported.count(d.instanceId)) {
      ++changes.devicesNotInExport;
      continue;
    }
    DeviceOutcome outcome{d, kept.count(d.instanceId) == 0, false};
    outcome.driverKeyRemoved =
        !d.driver.empty() && driversBefore.count(d.driver) && !driversAfter.count(d.driver);
    if (outcome.removed) {
      changes.devicesRemoved.push_back(outcome);
      continue;
    }
    bool asked = !d.port.empty() || sim::NamesEqual(d.classGuid, kPortsClassGuid) ||
                 sim::NamesEqual(d.classGuid, kMultifunctionClassGuid);
    for (const std::string& vendor : vendors) {
      asked = asked || Upper(d.instanceId).find(vendor) != std::string::npos ||
              Upper(d.hardwareId).find(vendor) != std::string::npos;
    }
    if (asked) {
      changes.devicesKept.push_back(outcome);
    } else {
      ++changes.otherDevicesKept;
    }
  }

  changes.comDbReadable =
      before.comDbType == 3 && !before.comDb.empty() && before.comDb.size() <= kMaxComNumber / 8;
  // The devices that name each number, before and after.
  std::vector<std::vector<std::string>> namedBefore(kMaxComNumber + 1),
      namedAfter(kMaxComNumber + 1);
  for (const DeviceFacts& d : before.devices)
    namedBefore[ComNumber(d.port)].push_back(d.instanceId);
  for (const DeviceFacts& d : after.devices) namedAfter[ComNumber(d.port)].push_back(d.instanceId);
  for (unsigned n = 1; n <= kMaxComNumber; ++n) {
    ComNumberOutcome c;
    c.number = n;
    c.takenBefore = Bit(before.comDb, n);
    c.takenAfter = Bit(after.comDb, n);
    for (const std::string& name : before.portList) c.listedBefore |= ComNumber(name) == n;
    for (const std::string& name : after.portList) c.listedAfter |= ComNumber(name) == n;
    if (!c.takenBefore && !c.listedBefore) continue;
    c.heldBefore = namedBefore[n];
    if (!c.takenAfter && !c.listedAfter) {
      changes.comReleased.push_back(c);
      continue;
    }
    if (Bit(before.comDbMerge, n)) c.reasons.push_back({ComReason::kMerge, ""});
    for (const std::string& device : namedAfter[n])
      c.reasons.push_back({ComReason::kOtherDevice, device});
    if (c.heldBefore.empty()) c.reasons.push_back({ComReason::kNotRecorded, ""});
    if (c.reasons.empty()) {
      c.reasons.push_back(
          {changes.comDbReadable ? ComReason::kUnexplained : ComReason::kComDbUnreadable, ""});
    }
    changes.comKept.push_back(c);
  }

  Names recordsAfter, entriesAfter;
  for (const RecordFacts& r : after.records) recordsAfter.insert(r.keyPath);
  for (const EntryFacts& e : after.entries) entriesAfter.insert(e.keyPath);
  for (const RecordFacts& r : before.records)
    changes.records.push_back({r, !recordsAfter.count(r.keyPath)});
  for (const EntryFacts& e : before.entries)
    changes.entries.push_back({e, !entriesAfter.count(e.keyPath)});
  return changes;
}

}  // namespace winsim
