// The uninstall sequence: which passes run, in which order, for the Windows at hand,
// and where the uninstaller's progress bar stands after each group of them.
#include "framework/app_services.h"
#include "sysinfo/windows_version.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

const char kUnknownWindows[] = "Error Detecting Operating System Version";
const char kUnsupported64BitWindows[] =
    "The Multi-IO drivers cannot be uninstalled on this version of Windows. Nothing was "
    "changed.";

// What the installer's run reports to: no window at all.
class NoProgress : public UninstallProgress {
 public:
  void SetRunning(BOOL) override {}
  void SetProgress(int) override {}
  void ShowBusy() override {}
  void ShowCompletion(UninstallOutcome) override {}
};

// The file and record passes both branches begin with, with the positions the
// 32-bit branch reports between them.
void RemoveFilesAndRecords(UninstallContext& c, UninstallProgress& p, const VidPidList& ids,
                           bool reportSteps) {
  c.RemoveProgramFolder();
  if (reportSteps) p.SetProgress(20);
  c.DeleteUninstallerCopy();
  if (reportSteps) p.SetProgress(30);
  c.RemoveProductKeys();
  if (reportSteps) p.SetProgress(40);
  c.DeleteStagedInfFiles(ids);
}

// The drivers go last, once the devices that load them (the class and co-installer
// libraries among them) are removed, and only when no other customer still needs them.
void RemoveDriverFilesIfUnused(UninstallContext& c) {
  if (c.driverFilesUnused) c.DeleteDriverFiles();
}

// The card's traces removed from the registry by the engine itself, as on 64-bit
// Windows, where a 32-bit program cannot have the device installer remove devices.
// The COM numbers are recorded while the device keys are walked, before the port
// list and the COM database are released.
void RemoveThroughRegistry(UninstallContext& c, UninstallProgress& p, const VidPidList& ids) {
  if (c.runner == UninstallContext::Runner::kUninstaller) {
    p.SetProgress(10);
    c.EnablePortDevices(ids);
  }
  RemoveFilesAndRecords(c, p, ids, false);
  p.SetProgress(20);
  p.SetProgress(30);
  c.GrantSerialCommAccess();
  p.SetProgress(50);
  c.RemovePortsClassKeys(ids);
  c.RemoveMultifunctionClassKeys(ids);
  p.SetProgress(55);
  c.RemoveMultifunctionDevices(ids);
  p.SetProgress(60);
  c.RemovePciPortDevices(ids);
  c.RemovePciChildDevices(ids);
  p.SetProgress(70);
  c.RemovePciDeviceKeys(ids);
  c.DeletePortsEntries();
  p.SetProgress(80);
  c.ReleaseComDbPorts();
  p.SetProgress(90);
  RemoveDriverFilesIfUnused(c);
  c.RemoveUninstallEntries();
}

// The devices removed by the device installer, as on 32-bit Windows.
void RemoveThroughDeviceInstaller(UninstallContext& c, UninstallProgress& p,
                                  const VidPidList& ids) {
  p.SetProgress(10);
  RemoveFilesAndRecords(c, p, ids, true);
  p.SetProgress(50);
  c.RemoveDevicesThroughSetupApi(ids);
  p.SetProgress(60);
  p.SetProgress(70);
  RemoveDriverFilesIfUnused(c);
  c.RemoveUninstallEntries();
  p.SetProgress(90);
}

UninstallOutcome RunPasses(UninstallContext& c, UninstallProgress& p, const VidPidList& ids) {
  if (IsNative64BitWindows()) {
    if (c.isNt5x) {
      RemoveThroughRegistry(c, p, ids);
    } else if (UninstallRefusedOnThisWindows(c)) {
      ShowMessage(kUnsupported64BitWindows);
      return UninstallOutcome::kNotUninstalled;
    }
  } else if (c.isNt5x || c.isNt60) {
    RemoveThroughDeviceInstaller(c, p, ids);
  } else {
    // No pass knows this Windows (98, Me, NT 4, ...): nothing was removed, and the
    // completion must not say otherwise.
    ShowMessage(kUnknownWindows);
    return UninstallOutcome::kNotUninstalled;
  }
  return UninstallOutcome::kUninstalled;
}

}  // namespace

bool UninstallRefusedOnThisWindows(const UninstallContext& c) {
  // After NT 5 (Vista x64) the registry passes do not know the system's layout and a
  // 32-bit program cannot have the device installer remove devices: nothing is touched,
  // so that the installation and its records stay whole.
  return IsNative64BitWindows() && !c.isNt5x && c.runner == UninstallContext::Runner::kUninstaller;
}

DWORD RunUninstallSequence(UninstallContext& context, UninstallProgress& progress) {
  context.runner = UninstallContext::Runner::kUninstaller;
  context.progress = &progress;
  VidPidList ids;
  const bool mayGoOn = context.ReadProductRecord(&ids);
  progress.SetRunning(TRUE);
  const UninstallOutcome outcome =
      mayGoOn ? RunPasses(context, progress, ids) : UninstallOutcome::kNotUninstalled;
  progress.SetProgress(100);
  progress.ShowCompletion(outcome);
  progress.SetRunning(FALSE);
  context.progress = nullptr;
  return 0;
}

bool RunUninstallSequence(UninstallContext& context) {
  context.runner = UninstallContext::Runner::kInstaller;
  context.progress = nullptr;
  NoProgress none;
  VidPidList ids;
  if (!context.ReadProductRecord(&ids)) return false;
  RunPasses(context, none, ids);
  return true;
}
