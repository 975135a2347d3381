// The state of one uninstall run and the registry passes that work on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

// The card's PCI IDs ("VEN_6A3C&DEV_5E17"), up to five; the first empty entry ends
// the list.
using VidPidList = std::vector<std::string>;

// How a run of the uninstaller ended, for its completion display.
enum class UninstallOutcome {
  kUninstalled,     // the passes for this Windows ran
  kNotUninstalled,  // the run stopped before its first pass and changed nothing
};

// What the uninstaller's dialog does for a run: its running flag, its progress bar,
// its wait display and its completion display. The installer's run reports to no
// window and has none.
class UninstallProgress {
 public:
  virtual void SetRunning(BOOL running) = 0;
  virtual void SetProgress(int position) = 0;  // 0 to 100
  virtual void ShowBusy() = 0;
  virtual void ShowCompletion(UninstallOutcome outcome) = 0;

 protected:
  ~UninstallProgress() = default;
};

// Where the product's records are, below HKEY_LOCAL_MACHINE as the programs open them
// (a 32-bit program on 64-bit Windows lands in Wow6432Node): one subkey per customer, and
// Windows' list of installed programs, whose entry starts the customer's uninstaller.
extern const char kProductRecordsKey[];
extern const char kUninstallEntriesKey[];

// The customer word the uninstaller reads from its own executable's file name (no
// folder, no extension): "KORVANE" for "KORVANE_Wendmarrow".
std::string CustomerWordFromProgramName(const std::string& fileName);

// The file name of a customer's uninstaller copy: "KORVANE_Wendmarrow.exe".
std::string UninstallerCopyFileName(const std::string& customer);

// The message for a customer's product record that is there but cannot be opened.
std::string UnreadableRecordMessage(const std::string& customer, LONG error);

class UninstallContext {
 public:
  // Which program runs the sequence: the uninstaller takes its customer word from its
  // own name, may delete the driver files and enables the card's ports first.
  enum class Runner { kUninstaller, kInstaller };

  BOOL isNt5x = FALSE;
  BOOL isNt60 = FALSE;
  std::string customerName;
  // COM n is the mask 1 << ((n - 1) & 7) in byte (n - 1) >> 3.
  uint8_t comPortMap[32] = {};
  Runner runner = Runner::kUninstaller;
  // The uninstaller's dialog during its run; null in the installer's.
  UninstallProgress* progress = nullptr;

  // Set by the uninstaller's ReadProductRecord when no other customer's record is
  // left: the drivers go once the card's devices are gone.
  bool driverFilesUnused = false;

  // Product record and files. ReadProductRecord is false when the run must not go on:
  // the customer word cannot name a file, or the record is there but cannot be read.
  // A message has said which, and nothing has been changed.
  bool ReadProductRecord(VidPidList* ids);
  void DeleteDriverFiles();
  void DeleteStagedInfFiles(const VidPidList& ids);
  void RemoveProgramFolder();
  void DeleteUninstallerCopy();

  // The device installer.
  void RemoveDevicesThroughSetupApi(const VidPidList& ids);
  void EnablePortDevices(const VidPidList& ids);

  // COM port release.
  void RecordPortName(HKEY deviceKey, const std::string& instance);
  void MarkCardComPort(uint32_t n);
  bool IsCardComPort(uint32_t n) const;
  void GrantSerialCommAccess();
  void DeletePortsEntries();
  void ReleaseComDbPorts();

  // Device registry cleanup.
  void RemovePortsClassKeys(const VidPidList& ids);
  void RemoveMultifunctionClassKeys(const VidPidList& ids);
  void RemoveMultifunctionDevices(const VidPidList& ids);
  void RemovePciPortDevices(const VidPidList& ids);
  void RemovePciChildDevices(const VidPidList& ids);
  void RemovePciDeviceKeys(const VidPidList& ids);
  void RemoveUninstallEntries();
  void RemoveProductKeys();

 private:
  void RemoveClassKeys(const char* classPath, const VidPidList& ids);
};

// The uninstaller's run stops before its first pass on this Windows, saying that it
// cannot uninstall the drivers there (64-bit Windows after NT 5).
bool UninstallRefusedOnThisWindows(const UninstallContext& context);

// The uninstaller's run, on its worker thread: reports to `progress` and returns 0.
DWORD RunUninstallSequence(UninstallContext& context, UninstallProgress& progress);
// The installer's run before it installs over an earlier installation; false when the
// earlier installation's record could not be read and nothing was removed.
bool RunUninstallSequence(UninstallContext& context);
