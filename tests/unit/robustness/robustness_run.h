// One program run on a simulated machine, as the robustness tests judge it: what it
// returned and reported, every change it made to the machine, what it left open, and
// the check that a disturbed run did no harm that the undisturbed run does not do.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"
#include "tests/unit/support/machine_snapshot.h"

namespace robustness {

using Lines = std::vector<std::string>;

struct Outcome {
  int result = -1;
  Lines progress;  // what the uninstaller's dialog was told
  Lines messages;
  Lines changes;                  // machine_snapshot::Changes of the run
  size_t changedAccessLists = 0;  // keys that survived with another access list
  size_t openHandles = 0;
  size_t localBlocks = 0;
  int libraryReferences = 0;
  bool redirectionOff = false;
  std::map<std::string, int> calls;  // the run's calls, by name
  std::string comDbBefore, comDb;    // the COM name database's bytes before and after
};

constexpr char kComNameArbiter[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

// A call that fails: the nth time it is made (0: every time).
struct Failing {
  std::string call;
  int nth = 0;
};

inline std::string ComDb(const sim::Machine& machine) {
  const auto arbiter = machine.registry.FindFull(kComNameArbiter);
  const sim::RegValue* value = arbiter ? arbiter->values.Find("ComDB") : nullptr;
  return value ? value->data : std::string();
}

inline void AddSecurity(const sim::RegKey& key, const std::string& path,
                        std::map<std::string, sim::KeySecurity>* out) {
  (*out)[path] = key.security;
  key.subkeys.ForEach([&](const std::string& name, const std::shared_ptr<sim::RegKey>& sub) {
    AddSecurity(*sub, path + "\\" + name, out);
  });
}

inline std::map<std::string, sim::KeySecurity> AccessLists(const sim::Machine& machine) {
  std::map<std::string, sim::KeySecurity> out;
  AddSecurity(*machine.registry.LocalMachine(), "HKLM", &out);
  return out;
}

// Runs `run` (given the outcome to fill, returning the result) in a process on
// `machine`, with `failing` injected for the run's own calls only.
template <typename Run>
Outcome RunOn(sim::Machine& machine, const sim::ProcessOptions& options, const Failing& failing,
              Run run) {
  const machine_snapshot::Snapshot before = machine_snapshot::Take(machine);
  const auto accessBefore = AccessLists(machine);
  Outcome o;
  o.comDbBefore = ComDb(machine);
  {
    sim::ProcessScope scope(machine, options);
    machine.faults.Clear();
    if (!failing.call.empty()) {
      sim::FaultRule rule;
      rule.call = failing.call;
      rule.error = ERROR_ACCESS_DENIED;
      rule.nth = failing.nth;
      machine.faults.Add(rule);
    }
    o.result = run(&o);
    o.calls = machine.faults.CallCounts();
    machine.faults.Clear();
    o.messages = machine_snapshot::Messages(scope.process());
    o.openHandles = scope.process().handles.Count();
    o.localBlocks = scope.process().LocalCount();
    for (const auto& [name, count] : scope.process().libraryReferences)
      o.libraryReferences += count;
    o.redirectionOff = sim::ThreadFsRedirectionDisabled();
    // The next run on this thread starts with redirection on, as a new process does.
    sim::ThreadFsRedirectionDisabled() = false;
  }
  o.changes = machine_snapshot::Changes(before, machine_snapshot::Take(machine));
  o.comDb = ComDb(machine);
  for (const auto& [path, security] : AccessLists(machine)) {
    const auto it = accessBefore.find(path);
    if (it != accessBefore.end() && !(it->second == security)) ++o.changedAccessLists;
  }
  return o;
}

// The COM numbers a ComDB value's bytes hold taken.
inline std::set<int> ComNumbersTaken(const std::string& comDb) {
  std::set<int> taken;
  for (size_t b = 0; b < comDb.size(); ++b)
    for (int bit = 0; bit < 8; ++bit)
      if (static_cast<unsigned char>(comDb[b]) & (1u << bit))
        taken.insert(static_cast<int>(b * 8 + bit + 1));
  return taken;
}

inline bool IsComDbChange(const std::string& line) {
  return line.rfind("~ value ", 0) == 0 &&
         line.find("\\COM Name Arbiter : ComDB = ") != std::string::npos;
}

// The files a change of the pending file operations (PendingFileRenameOperations, as
// machine_snapshot shows it) leaves to the next start; empty for any other line.
inline Lines FilesLeftToTheRestart(const std::string& line) {
  const std::string name = "\\Session Manager : PendingFileRenameOperations = type 7 \"";
  const size_t at = line.find(name);
  if (at == std::string::npos) return {};
  const std::string data = line.substr(at + name.size());
  Lines files;
  for (size_t from = data.find("\\??\\"); from != std::string::npos;
       from = data.find("\\??\\", from + 1)) {
    files.push_back(data.substr(from + 4, data.find("\\x00", from) - from - 4));
  }
  return files;
}

// The file a name moved aside for the next start's deletion stands for
// ("X.exe.delete-at-restart-2" for "X.exe"); other names stand for themselves.
inline std::string MovedAsideFrom(const std::string& path) {
  const size_t at = path.rfind(".delete-at-restart-");
  return at == std::string::npos ? path : path.substr(0, at);
}

// What `disturbed` did that `undisturbed` does not: a change it does not make (a change
// to something it removes is a step towards that removal and counts as its own, and so
// is leaving the deletion of a file it deletes to the next start, under the file's own
// name or moved aside for it), or a COM number
// released that it keeps taken. `ignoredPrefix` lines (names that depend on order, like
// the numbers of staged INF files) pass. Empty when there is no such harm.
inline Lines HarmBeyond(const Outcome& undisturbed, const Outcome& disturbed,
                        const std::string& ignoredPrefix = "") {
  const std::set<std::string> allowed(undisturbed.changes.begin(), undisturbed.changes.end());
  std::set<std::string> goingAnyway;
  for (const auto& line : undisturbed.changes) {
    if (line.rfind("- file ", 0) == 0) goingAnyway.insert(line.substr(7));
    for (const auto& file : FilesLeftToTheRestart(line)) goingAnyway.insert(file);
  }
  std::set<std::string> deferredByDisturbed;
  for (const auto& line : disturbed.changes)
    for (const auto& file : FilesLeftToTheRestart(line)) deferredByDisturbed.insert(file);
  Lines harm;
  for (const auto& line : disturbed.changes) {
    if (!ignoredPrefix.empty() && line.rfind(ignoredPrefix, 0) == 0) continue;
    if (IsComDbChange(line) || allowed.count(line)) continue;
    const Lines deferred = FilesLeftToTheRestart(line);
    if (!deferred.empty()) {
      bool towards = true;
      for (const auto& file : deferred)
        towards = towards && goingAnyway.count(MovedAsideFrom(file));
      if (towards) continue;
    }
    if (line.rfind("+ file ", 0) == 0) {
      const std::string path = line.substr(7, line.find(" = ") - 7);
      if (path != MovedAsideFrom(path) && goingAnyway.count(MovedAsideFrom(path)) &&
          deferredByDisturbed.count(path))
        continue;
    }
    if (line.rfind("~ ", 0) == 0) {
      const std::string path = line.substr(2, line.find(" = ") - 2);
      if (allowed.count("- " + path)) continue;
    }
    harm.push_back("a change the undisturbed run does not make: " + line);
  }
  const std::set<int> after = ComNumbersTaken(disturbed.comDb);
  const std::set<int> undisturbedAfter = ComNumbersTaken(undisturbed.comDb);
  const std::set<int> undisturbedBefore = ComNumbersTaken(undisturbed.comDbBefore);
  for (int n : ComNumbersTaken(disturbed.comDbBefore)) {
    const bool releasedByUndisturbed = undisturbedBefore.count(n) && !undisturbedAfter.count(n);
    if (!after.count(n) && !releasedByUndisturbed)
      harm.push_back("COM" + std::to_string(n) + " released");
  }
  return harm;
}

// The lines of `changes` that start with `prefix`.
inline Lines Starting(const Lines& changes, const std::string& prefix) {
  Lines out;
  for (const auto& line : changes)
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  return out;
}

}  // namespace robustness
