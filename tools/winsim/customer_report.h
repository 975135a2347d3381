// The preview of an uninstall on a customer's machine as support reads it: as text, and
// as one JSON document with the same facts.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/machine/machine_diff.h"
#include "tools/winsim/customer_findings.h"
#include "tools/winsim/customer_machine.h"
#include "tools/winsim/machine_changes.h"
#include "tools/winsim/scripted_run.h"

namespace winsim {

struct CustomerPreview {
  std::string package;
  std::string edition;
  std::string customer;  // the package's, as its installer reads it
  // The machine as the exports show it (the machine itself is not kept).
  std::vector<ExportRead> exports;
  std::vector<ExportPlace> places;
  std::string productName, currentVersion, buildNumber, servicePack, systemRoot;
  std::vector<std::string> mismatches;

  // Why no uninstaller ran; empty when one did.
  std::string nothingRun;
  EntryFacts entry;         // the entry whose command ran
  std::string uninstaller;  // the package's file put where the command points
  bool standIn = false;     // a Windows program: the simulator's build runs in its place
  ScriptedRun run;
  bool restart = false;  // the uninstaller asks for a restart

  FactChanges facts;
  // What changed in the registry (pointing into `compared`), access lists aside: the
  // export holds none.
  sim::RegistryComparison compared;
  std::vector<sim::MachineChange> registry;
  size_t accessListChanges = 0;  // keys whose access list changed: not reported
};

void PrintCustomerText(const CustomerPreview& p);
void PrintCustomerJson(const CustomerPreview& p);

// The JSON layout, for winsim preview --help.
extern const char kCustomerJsonHelp[];

}  // namespace winsim
