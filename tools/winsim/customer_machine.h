// The machine a customer's registry export shows: a fresh machine of an edition with the
// export (or several) imported over it, what the export holds of the places the
// uninstaller reads and changes, and what it says of the Windows it came from.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/name_order.h"
#include "platform/sim/storage/reg_file.h"

namespace winsim {

// One export as it was read.
struct ExportRead {
  std::string path;
  std::string form;  // "UTF-16, Windows Registry Editor Version 5.00", "ANSI, REGEDIT4", ...
  size_t keys = 0;   // key lines
  size_t values = 0;
  sim::RegFileLosses losses;
};

// A place the uninstaller reads or changes, and whether the export holds it: its key, a
// key below it, or the key above it (which a registry editor's export of any key above
// writes with all it holds, so that a place missing there is missing on the machine).
struct ExportPlace {
  std::string what;     // "devices", "COM name database", ...
  std::string keyPath;  // the full path, in the view the programs use
  bool inExport = false;
};

struct CustomerMachine {
  std::unique_ptr<sim::Machine> machine;
  std::vector<ExportRead> exports;
  std::vector<ExportPlace> places;
  // What the export says of its Windows (HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion);
  // empty where it says nothing.
  std::string productName, currentVersion, buildNumber, servicePack, systemRoot;
  bool wow64Keys = false;  // it holds HKLM\SOFTWARE\Wow6432Node: a 64-bit Windows
  // The device instances it holds ("PCI\VEN_...\4&2a7b1c3&0&00E4"); the others are the
  // fresh machine's.
  std::set<std::string, sim::NameLess> devices;
  // Where the export's Windows differs from the edition's, one sentence each.
  std::vector<std::string> mismatches;
};

// What reading the export took otherwise than written, a line each behind two spaces
// ("  22 characters code page 1252 lacks, read as '?' ... (first at FILE:LINE)\n"); empty
// when nothing.
std::string ExportLossesText(const ExportRead& read);

// Imports the registry editor's export of a machine at `path` into `machine`, as the
// registry editor writes it: a key the export holds is the export's whole (what the machine
// held there goes: its values, and its subkeys the export does not hold), and characters
// code page 1252 lacks are read as the ANSI functions return them. `watch`, if set, sees
// each statement first. False, with "FILE:LINE: what", on a bad line: the machine is then
// half-changed and must be dropped.
bool ImportMachineExport(const std::string& path, sim::Machine* machine, ExportRead* read,
                         const sim::RegFileStatementFn& watch, std::string* error);

// A fresh machine of `edition` with the package of `hostPackage` on D: and the exports
// imported over it in order, each read as the registry editor writes it (UTF-16 or
// REGEDIT4; characters code page 1252 lacks as the ANSI functions return them). False,
// with "FILE:LINE: what", on the first bad line of any of them: no machine then.
bool BuildCustomerMachine(const std::string& edition, const std::string& hostPackage,
                          const std::vector<std::string>& exportPaths, CustomerMachine* out,
                          std::string* error);

}  // namespace winsim
