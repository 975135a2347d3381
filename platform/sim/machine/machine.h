// A simulated Windows computer: its identity, registry, drives and injected faults.
// A machine is made from an edition template or loaded from a machine folder, and
// saved back to its folder when the process that ran on it ends.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/filesystem.h"
#include "platform/sim/machine/os_identity.h"
#include "platform/sim/machine/registry.h"

namespace sim {

// What a program asked ExitWindowsEx for: the EWX_* flags and the reason code.
struct RestartRequest {
  uint32_t flags = 0;
  uint32_t reason = 0;
  bool operator==(const RestartRequest& other) const {
    return flags == other.flags && reason == other.reason;
  }
};

class Machine {
 public:
  Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  OsIdentity os;
  Registry registry;
  FileSystem files;
  Faults faults;

  // The machine's clock, in FILETIME ticks (100 ns since 1601). It stands still
  // unless a test moves it, so runs are repeatable.
  uint64_t Now() const { return clock_; }
  void SetClock(uint64_t ticks);
  void AdvanceClock(uint64_t seconds) { SetClock(clock_ + seconds * 10000000ull); }

  // Restart requests made through ExitWindowsEx (the machine does not stop).
  std::vector<RestartRequest> restartRequests;

  // The folder it was loaded from (empty for a machine made in memory).
  std::string folder;
  // Held while a machine loaded to be changed lives: no other command changes the
  // folder until this machine is saved there and dropped (see folder_lock.h).
  std::shared_ptr<class FolderLock> folderLock;

  // Held by every simulated call, so that a worker thread and the dialog
  // thread see one consistent machine.
  std::recursive_mutex mutex;

  // Deep comparison: identity, registry and files.
  bool SameAs(const Machine& other, std::string* firstDifference) const;

 private:
  uint64_t clock_;
};

// Edition templates ("xp", "xp-x64", "2003-x64-enterprise", ...).
std::vector<std::string> EditionNames();
std::unique_ptr<Machine> MachineFromEdition(std::string_view edition, std::string* error);

// Machine folders: machine.ini, HKLM.reg (+ HKLM.security), HKCU.reg, drives/<L>/...
// Loading refuses a folder whose files cannot be parsed, naming the file and line.
// Saving replaces the folder as a whole: a killed save leaves the old or the new machine.
// LoadMachine reads the folder as it stands, even while another command runs on it.
// LoadMachineToChange also keeps every other command from changing the folder until the
// machine is dropped; a command that loads, changes and saves a machine uses it, so that
// two of them cannot overwrite each other's changes. Either waits a bounded time for a
// folder in use, then fails saying so.
std::unique_ptr<Machine> LoadMachine(const std::string& folder, std::string* error);
std::unique_ptr<Machine> LoadMachineToChange(const std::string& folder, std::string* error);
bool SaveMachine(const Machine& machine, const std::string& folder, std::string* error);

}  // namespace sim
