// winsim preview --registry: what the uninstaller of a package would do on a customer's
// machine, as the customer's registry export shows that machine. The machine is a fresh
// one of the edition with the export imported over it, held in memory; the product is
// the package's customer's, found in the view the edition's programs use; its Uninstall
// entry's command starts the package's uninstaller, put where the command points.
#include "tools/winsim/customer_preview.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/name_order.h"
#include "platform/sim/machine/path_resolution.h"
#include "resources/program_resources.h"
#include "resources/wendmarrow_resource.h"
#include "tools/winsim/commands.h"
#include "tools/winsim/customer_report.h"
#include "tools/winsim/machine_setup.h"
#include "tools/winsim/package_check.h"
#include "tools/winsim/pe_image.h"
#include "tools/winsim/program_placeholder.h"
#include "tools/winsim/program_status.h"

namespace winsim {

namespace {

// At most this many runs: each knows one more message box to answer, the words the
// uninstaller ends with, or that it needs longer.
constexpr size_t kMaxRuns = 8;
// How long the script waits for the uninstaller's next state: briefly at first, since a
// message box it does not expect holds the uninstaller until then; longer once the
// uninstaller showed no box but did not finish in that time (a machine of some
// hundred thousand keys on a busy computer).
constexpr int kFirstWaitMs = 5000;
constexpr int kLongWaitMs = 120000;

std::string ResourceString(unsigned id) {
  const auto& strings = WendmarrowResources().strings;
  const auto it = strings.find(id);
  return it == strings.end() ? std::string() : it->second;
}

// The uninstaller played as the user who presses OK, answers each of `boxes` with OK and,
// once the dialog shows `ending`, closes it with its second button (Exit, or Reboot
// Later where it offers a restart: the preview restarts nothing).
std::string UninstallerScript(const std::vector<std::string>& boxes, const std::string& ending,
                              int waitMs) {
  std::string script = "timeout " + std::to_string(waitMs) + "\npress \"OK\"\n";
  for (const std::string& box : boxes) script += "box " + ScriptQuoted(box) + " answer OK\n";
  return script + "expect-text " + std::to_string(StatusControlId(ProgramKind::kUninstaller)) +
         " " + ScriptQuoted(ending) + "\npress 2\nwait-closed\n";
}

// The uninstaller's last words on `os`, as far as the edition decides them; a run that
// ends otherwise is run again expecting what it said.
std::string ExpectedEnding(const sim::OsIdentity& os) {
  if (!os.Is64Bit()) return ResourceString(IDS_UNINSTALLED_NO_RESTART);
  return ResourceString(os.majorVersion == 5 ? IDS_UNINSTALLED_RESTART : IDS_NOT_UNINSTALLED);
}

bool IsEnding(const std::string& status) {
  for (unsigned id : {IDS_UNINSTALLED_NO_RESTART, IDS_UNINSTALLED_RESTART, IDS_NOT_UNINSTALLED}) {
    if (status == ResourceString(id)) return true;
  }
  return false;
}

// What the package gives the preview: its customer, as its installer reads it, and the
// uninstaller file its installer copies on the edition (as `winsim check` finds it).
struct PackagePlan {
  std::string customer;
  std::string uninstaller;  // "D:\AMD64\Wendmarrow.exe"
  std::string refusal;      // why the installer does not install on the edition
};

PackagePlan PlanPackage(const std::string& package, const std::string& edition) {
  const PackageCheck check = CheckPackage(package);
  PackagePlan plan;
  plan.customer = check.values.customerName;
  std::string platform;
  for (const EditionPlan& e : check.editions) {
    if (e.edition == edition) platform = e.platformFolder;
    if (e.edition == edition && !e.supported) {
      plan.refusal = "the package's installer does not install on " + edition;
    }
  }
  for (const UninstallerChoice& choice : check.uninstallers) {
    if (choice.platformFolder == platform && !choice.fileName.empty()) {
      plan.uninstaller = std::string(1, kPackageDrive) + ":" + platform + "\\" + choice.fileName;
    }
  }
  return plan;
}

// The content to put where the entry points: the package's uninstaller, or, for a real
// Windows program (a shipped package), the placeholder of the simulator's own build.
bool UninstallerContent(const sim::Machine& machine, const std::string& path, bool* standIn,
                        std::string* content, std::string* error) {
  const std::shared_ptr<sim::FsNode> file = path.empty() ? nullptr : machine.files.Find(path);
  if (!file || file->isDirectory) {
    *error = "the package holds no uninstaller for the edition";
    return false;
  }
  *standIn = false;
  *content = file->content;
  if (ProgramNamedBy(*content) == ProgramKind::kUninstaller) return true;
  const PeImage image = ReadPeImage(*content);
  if (image.isImage && !image.isDll) {
    *standIn = true;
    *content = UninstallerPlaceholder();
    return true;
  }
  *error = "the package's " + path +
           " is neither a Windows program nor the uninstaller's "
           "placeholder";
  return false;
}

// Puts `content` at the full path `command` names, as the 64-bit shell sees that path.
bool PutAt(sim::Machine& machine, const std::string& command, const std::string& content,
           std::string* error) {
  std::string full;
  if (command.size() < 3 || command[1] != ':' || !sim::FullPathName(command, "C:\\", &full) ||
      full.size() > sim::kMaxFullPath) {
    *error = "the entry's command '" + command +
             "' is no full Windows path of a program, which this preview can start";
    return false;
  }
  const size_t slash = full.rfind('\\');
  if (!machine.files.MakeDirectories(full.substr(0, slash)) ||
      !machine.files.WriteFile(full, content)) {
    *error = full + ": the uninstaller cannot be put there";
    return false;
  }
  return true;
}

// One run from a freshly built machine. False with `failure` when the run did not go
// as the script expected; `p` then holds what it showed.
bool RunOnce(const PackagePlan& plan, const std::vector<std::string>& exports,
             const std::vector<std::string>& boxes, const std::string& ending, int waitMs,
             CustomerPreview* p, bool* ran, std::string* failure) {
  *ran = false;
  CustomerMachine built;
  if (!BuildCustomerMachine(p->edition, p->package, exports, &built, failure)) return false;
  sim::Machine& machine = *built.machine;
  p->exports = built.exports;
  p->places = built.places;
  p->productName = built.productName;
  p->currentVersion = built.currentVersion;
  p->buildNumber = built.buildNumber;
  p->servicePack = built.servicePack;
  p->systemRoot = built.systemRoot;
  p->mismatches = built.mismatches;

  const MachineFacts before = ReadFacts(machine);
  const EntryFacts* entry = EntryOf(before, p->customer);
  if (!plan.refusal.empty()) {
    p->nothingRun = plan.refusal;
  } else if (!entry) {
    p->nothingRun = "no Uninstall entry starts an uninstaller of customer " + p->customer;
  }
  p->registry.clear();
  p->accessListChanges = 0;
  if (!p->nothingRun.empty()) {
    p->facts = CompareFacts(before, before, built.devices);
    return true;
  }
  std::string content;
  p->uninstaller = plan.uninstaller;
  p->entry = *entry;
  if (!UninstallerContent(machine, plan.uninstaller, &p->standIn, &content, failure) ||
      !PutAt(machine, entry->command, content, failure)) {
    return false;
  }
  const TempScript script(UninstallerScript(boxes, ending, waitMs));
  if (script.path().empty()) {
    *failure = "no temporary script file can be written";
    return false;
  }
  p->run = ScriptedRun();
  *ran = true;
  if (!RunScripted(machine, entry->command, script.path(), &p->run, failure)) return false;
  p->restart = p->run.status == ResourceString(IDS_UNINSTALLED_RESTART);
  p->facts = CompareFacts(before, ReadFacts(machine), built.devices);
  // The machine as it was, built again: a registry of some hundred thousand keys is
  // compared with it in the room of its changes.
  CustomerMachine again;
  if (!BuildCustomerMachine(p->edition, p->package, exports, &again, failure)) return false;
  p->compared = sim::CompareRegistries(*again.machine, machine);
  for (const sim::MachineChange& c : p->compared.changes) {
    const sim::MachineItem& item = c.Item();
    if (item.kind != sim::MachineItem::Kind::kKey && item.kind != sim::MachineItem::Kind::kValue)
      continue;
    const bool accessOnly = item.kind == sim::MachineItem::Kind::kKey &&
                            c.kind == sim::MachineChange::Kind::kChanged &&
                            !(c.before->security == item.security);
    if (accessOnly) {
      ++p->accessListChanges;
    } else {
      p->registry.push_back(c);
    }
  }
  return true;
}

}  // namespace

int RunCustomerPreview(const std::string& package, const std::string& edition,
                       const std::vector<std::string>& exports, bool json) {
  auto p = std::make_unique<CustomerPreview>();
  p->package = package;
  p->edition = edition;
  std::string error;
  const std::unique_ptr<sim::Machine> fresh = NewMachine(edition, "", &error);
  if (!fresh) return Fail("preview: " + error);
  const PackagePlan plan = PlanPackage(package, edition);
  p->customer = plan.customer;
  std::vector<std::string> boxes;
  std::string ending = ExpectedEnding(fresh->os);
  int waitMs = kFirstWaitMs;
  for (size_t runs = 1;; ++runs) {
    bool ran = false;
    std::string failure;
    if (RunOnce(plan, exports, boxes, ending, waitMs, p.get(), &ran, &failure)) break;
    if (!ran || runs >= kMaxRuns) return Fail("preview: " + sim::Cp1252ToUtf8(failure));
    // The run showed a message box the script did not answer, or ended in other words
    // than expected: the next run, from the machine as the export shows it again, knows.
    if (p->run.messages.size() > boxes.size()) {
      boxes = p->run.messages;
    } else if (IsEnding(p->run.status) && p->run.status != ending) {
      ending = p->run.status;
    } else if (waitMs < kLongWaitMs) {
      waitMs = kLongWaitMs;
    } else {
      return Fail("preview: " + sim::Cp1252ToUtf8(failure));
    }
  }
  if (json) {
    PrintCustomerJson(*p);
  } else {
    PrintCustomerText(*p);
  }
  return kOk;
}

}  // namespace winsim
