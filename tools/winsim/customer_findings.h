// What support asks of an uninstall on a customer's machine, read from the machine before
// and after the uninstaller ran: the devices removed and kept, the COM numbers released
// and kept (and why a number stays), the product's records and Uninstall entries.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/name_order.h"

namespace winsim {

// A device instance: a key HKLM\SYSTEM\CurrentControlSet\Enum\<enumerator>\<device>\<instance>.
struct DeviceFacts {
  std::string instanceId;   // "PCI\VEN_...\4&2a7b1c3&0&00E4"
  std::string description;  // FriendlyName, else DeviceDesc
  std::string className;
  std::string classGuid;
  std::string hardwareId;  // the first of HardwareID
  std::string driver;      // its driver key below Control\Class ("{...}\0003")
  std::string port;        // Device Parameters\PortName ("COM3", "LPT2")
};

// A customer's product record: its subkey of the product key, with the card's PCI IDs.
struct RecordFacts {
  std::string customer;
  std::string keyPath;
  std::vector<std::string> ids;  // VID_PID_NAME1 ... as written
};

// An entry of Windows' list of installed programs that starts a customer's uninstaller
// copy (by the uninstaller's own reading of its file name).
struct EntryFacts {
  std::string keyPath;
  std::string displayName;
  std::string command;   // UninstallString
  std::string customer;  // the customer word the started uninstaller takes
};

struct MachineFacts {
  std::vector<DeviceFacts> devices;
  std::vector<std::string> driverKeys;  // below Control\Class, as "{...}\0003"
  bool comDbPresent = false;
  uint32_t comDbType = 0;
  std::string comDb, comDbMerge;      // the values' bytes
  std::vector<std::string> portList;  // the port list's value names ("COM3:")
  std::vector<RecordFacts> records;
  std::vector<EntryFacts> entries;
};

// Reads the facts; the product's records and entries in the 32-bit programs' view.
MachineFacts ReadFacts(const sim::Machine& machine);

// The entry whose command starts the uninstaller of `customer` (first in the list's
// order); null when there is none.
const EntryFacts* EntryOf(const MachineFacts& facts, const std::string& customer);

struct DeviceOutcome {
  DeviceFacts device;
  bool removed = false;
  bool driverKeyRemoved = false;  // its driver key was there and is gone
};

// Why a COM number stays taken.
struct ComReason {
  enum Kind { kMerge, kOtherDevice, kNotRecorded, kComDbUnreadable, kUnexplained };
  Kind kind = kUnexplained;
  std::string device;  // kOtherDevice: the instance that names it and stays
};

// A COM number the COM name database (ComDB) or the port list had taken.
struct ComNumberOutcome {
  unsigned number = 0;
  bool takenBefore = false, takenAfter = false;    // its bit in ComDB
  bool listedBefore = false, listedAfter = false;  // "COMn:" in the port list
  std::vector<std::string> heldBefore;             // the devices that named it
  std::vector<ComReason> reasons;                  // why it stays taken
};

struct RecordOutcome {
  RecordFacts record;
  bool removed = false;
};

struct EntryOutcome {
  EntryFacts entry;
  bool removed = false;
};

struct FactChanges {
  std::vector<DeviceOutcome> devicesRemoved;
  std::vector<DeviceOutcome> devicesKept;  // those a customer asks about: ports,
                                           // multifunction devices, the card's vendor's
  size_t otherDevicesKept = 0;
  size_t devicesNotInExport = 0;  // the fresh machine's, not reported
  bool comDbReadable = true;      // REG_BINARY of at most 32 bytes, as the uninstaller reads it
  std::vector<ComNumberOutcome> comReleased, comKept;
  std::vector<RecordOutcome> records;
  std::vector<EntryOutcome> entries;
};

// `exported` names the device instances the export holds; the others are left out.
FactChanges CompareFacts(const MachineFacts& before, const MachineFacts& after,
                         const std::set<std::string, sim::NameLess>& exported);

}  // namespace winsim
