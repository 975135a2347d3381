// A simulated machine with helpers to lay out keys and look at them, for the uninstall
// engine's tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/machine/registry.h"
#include "platform/win32.h"
#include "sysinfo/windows_version.h"
#include "uninstall_engine/uninstall_context.h"

namespace engine_test {

inline std::unique_ptr<sim::Machine> Edition(const char* name) {
  std::string error;
  auto machine = sim::MachineFromEdition(name, &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

// Paths are HKLM-relative, as the engine names them.
class MachineTest : public ::testing::Test {
 protected:
  explicit MachineTest(const char* edition = "xp") : machine_(Edition(edition)) {}

  void Sz(const std::string& path, const std::string& name, const std::string& text) {
    machine_->registry.SetValue(Full(path), name, REG_SZ, sim::Registry::StringData(text));
  }
  void Value(const std::string& path, const std::string& name, uint32_t type,
             const std::string& data) {
    machine_->registry.SetValue(Full(path), name, type, data);
  }
  void Key(const std::string& path) { machine_->registry.CreateFull(Full(path)); }
  bool Exists(const std::string& path) const {
    return machine_->registry.FindFull(Full(path)) != nullptr;
  }
  const sim::RegValue* Find(const std::string& path, const std::string& name) const {
    auto key = machine_->registry.FindFull(Full(path));
    return key ? key->values.Find(name) : nullptr;
  }
  sim::KeySecurity Security(const std::string& path) const {
    auto key = machine_->registry.FindFull(Full(path));
    EXPECT_TRUE(key) << path;
    return key ? key->security : sim::KeySecurity{};
  }
  static std::string Full(const std::string& path) { return "HKEY_LOCAL_MACHINE\\" + path; }

  std::unique_ptr<sim::Machine> machine_;
};

// The file operations left to the next start (PendingFileRenameOperations), or empty.
inline std::string PendingDeletions(const sim::Machine& machine) {
  auto key = machine.registry.FindFull(
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager");
  const sim::RegValue* value = key ? key->values.Find("PendingFileRenameOperations") : nullptr;
  return value ? value->data : std::string();
}

// Key handles the process holds beyond those it started with.
class HandleCheck {
 public:
  explicit HandleCheck(sim::Process& process)
      : process_(process), before_(process.handles.Count()), locals_(process.LocalCount()) {}
  ~HandleCheck() {
    EXPECT_EQ(before_, process_.handles.Count()) << "handles left open";
    EXPECT_EQ(locals_, process_.LocalCount()) << "local memory left unfreed";
  }

 private:
  sim::Process& process_;
  size_t before_;
  size_t locals_;
};

// The uninstaller dialog's side of a run, as a list of what the sequence asked of it.
class ProgressRecorder : public UninstallProgress {
 public:
  void SetRunning(BOOL running) override { events.push_back(running ? "running" : "stopped"); }
  void SetProgress(int position) override { events.push_back(std::to_string(position)); }
  void ShowBusy() override { events.push_back("busy"); }
  void ShowCompletion(UninstallOutcome outcome) override {
    events.push_back(outcome == UninstallOutcome::kUninstalled ? "completion" : "not uninstalled");
  }
  std::vector<std::string> events;
};

// A context as the uninstaller's dialog sets it up on the running Windows.
inline UninstallContext ContextForRunningWindows() {
  WindowsVersion version;
  version.DetectWindowsVersion();
  UninstallContext context;
  context.isNt5x = version.isNt5x;
  context.isNt60 = version.isNt60;
  return context;
}

}  // namespace engine_test
