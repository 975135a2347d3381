// What a machine holds, item by item, and what changed between two moments: every
// folder, file, registry key and value. Previews list what a program did to a machine
// with it, and tests compare whole machines with it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"

namespace sim {

struct MachineItem {
  enum class Kind { kFolder, kFile, kKey, kValue };
  Kind kind = Kind::kFile;
  // A folder's or file's full path ("C:\" for a drive's root), a key's full path
  // ("HKEY_LOCAL_MACHINE\SOFTWARE\..."), or the full path of a value's key.
  std::string path;
  std::string valueName;  // values: "" is the key's default value
  RegValue value;         // values
  std::string content;    // files
  uint32_t attributes = 0;
  uint64_t creationTime = 0, lastWriteTime = 0, lastAccessTime = 0;  // folders and files
  KeySecurity security;                                              // keys: their own entries
};

// Every folder and file of every drive, then every key and value of HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER and HKEY_USERS (drive roots and hive roots included), in the order
// Windows enumerates them: a folder or key before what it holds, names in
// case-insensitive order, a key's values before its subkeys.
std::vector<MachineItem> TakeInventory(const Machine& machine);

struct MachineChange {
  enum class Kind { kAdded, kRemoved, kChanged };
  Kind kind = Kind::kAdded;
  const MachineItem* before = nullptr;  // null when added
  const MachineItem* after = nullptr;   // null when removed
  // The item as it is now, or as it was when it was removed.
  const MachineItem& Item() const { return after ? *after : *before; }
};

// What differs from `before` to `after`, pointing into both (they must outlive the
// result), in the inventory's order. Items are the same item when their kind and path
// (and value name) are equal without regard to case, as Windows names them; a name
// spelled in other letter case is a change. A file changes with its content or
// attributes, a folder with its attributes, a key with its access list, a value with
// its type or data. Time stamps are not compared: every change inside a folder moves
// the folder's, and they follow the machine's clock rather than what a program wrote.
std::vector<MachineChange> CompareInventories(const std::vector<MachineItem>& before,
                                              const std::vector<MachineItem>& after);

// CompareInventories of the two machines' registries alone, without an inventory of
// either: the two trees are walked side by side and only what differs is copied, so that
// registries of some hundred thousand keys are compared in the room of their changes.
// The changes point into `items`, which holds the items compared.
struct RegistryComparison {
  std::deque<MachineItem> items;
  std::vector<MachineChange> changes;
};
RegistryComparison CompareRegistries(const Machine& before, const Machine& after);

}  // namespace sim
