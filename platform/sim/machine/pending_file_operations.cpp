#include "platform/sim/machine/pending_file_operations.h"

#include "platform/sim/sdk/win32_sim.h"

namespace sim {

namespace {

constexpr char kNtPrefix[] = "\\??\\";

std::string NtName(const std::string& path) { return kNtPrefix + path; }

// The Windows path of an NT name the list holds; false for anything else.
bool FromNtName(const std::string& name, std::string* path) {
  if (name.compare(0, 4, kNtPrefix) != 0) return false;
  *path = name.substr(4);
  return true;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

}  // namespace

void RecordPendingFileOperation(Registry& registry, const PendingFileOperation& operation) {
  std::string entry = NtName(operation.source) + '\0';
  if (!operation.target.empty()) entry += (operation.replace ? "!" : "") + NtName(operation.target);
  entry += '\0';
  auto key = registry.Create(registry.LocalMachine(), kSessionManagerKey);
  std::string list;
  if (const RegValue* pending = key->values.Find(kPendingFileOperations)) {
    list = pending->data;
    // The list's end marker goes; the new entry brings one after it.
    if (!list.empty() && list.back() == '\0') list.pop_back();
  }
  key->values.Put(kPendingFileOperations, RegValue{REG_MULTI_SZ, list + entry + '\0'});
  key->lastWriteTime = registry.now;
}

std::vector<PendingFileOperation> PendingFileOperations(const Machine& machine) {
  std::vector<PendingFileOperation> operations;
  const auto key = Registry::Find(machine.registry.LocalMachine(), kSessionManagerKey);
  const RegValue* pending = key ? key->values.Find(kPendingFileOperations) : nullptr;
  if (!pending) return operations;
  std::vector<std::string> strings;
  for (size_t at = 0; at < pending->data.size();) {
    const size_t end = pending->data.find('\0', at);
    if (end == std::string::npos) break;  // an unterminated last string is not read
    strings.push_back(pending->data.substr(at, end - at));
    at = end + 1;
  }
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    PendingFileOperation operation;
    if (!FromNtName(strings[i], &operation.source)) break;
    std::string target = strings[i + 1];
    operation.replace = !target.empty() && target[0] == '!';
    if (operation.replace) target.erase(0, 1);
    if (!target.empty() && !FromNtName(target, &operation.target)) break;
    operations.push_back(operation);
  }
  return operations;
}

std::vector<std::string> CarryOutPendingFileOperations(Machine& machine) {
  std::vector<std::string> done;
  for (const PendingFileOperation& operation : PendingFileOperations(machine)) {
    const std::shared_ptr<FsNode> source = machine.files.Find(operation.source);
    if (!source) {
      done.push_back("not carried out: " + operation.source + " is not there");
      continue;
    }
    if (operation.target.empty()) {
      FileSystem::Detach(source);
      done.push_back("deleted " + operation.source);
      continue;
    }
    const std::shared_ptr<FsNode> folder = machine.files.Find(FolderOf(operation.target));
    const std::shared_ptr<FsNode> taken = machine.files.Find(operation.target);
    if (!source->parent || !folder || !folder->isDirectory || (taken && !operation.replace)) {
      done.push_back("not carried out: " + operation.source + " to " + operation.target);
      continue;
    }
    if (taken) FileSystem::Detach(taken);
    source->parent->children.Erase(source->name);
    source->name = NameOf(operation.target);
    source->parent = folder.get();
    folder->children.Put(source->name, source);
    done.push_back("moved " + operation.source + " to " + operation.target);
  }
  if (auto key = Registry::Find(machine.registry.LocalMachine(), kSessionManagerKey))
    key->values.Erase(kPendingFileOperations);
  return done;
}

std::vector<std::string> Restart(Machine& machine) {
  std::vector<std::string> done = CarryOutPendingFileOperations(machine);
  if (!machine.restartRequests.empty()) {
    done.push_back("restarted as asked by " + std::to_string(machine.restartRequests.size()) +
                   (machine.restartRequests.size() == 1 ? " request" : " requests"));
    machine.restartRequests.clear();
  }
  return done;
}

}  // namespace sim
