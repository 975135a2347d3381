// SHELL32 file operations of the simulated Windows: SHFileOperationA deletes files and
// whole folder trees. The programs ask for nothing else of it.
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

// What SHFileOperationA returns for a source that does not exist ("an unknown error
// occurred", typically an invalid path); its other results are Win32 error codes.
constexpr int kInvalidSourcePath = 0x402;

bool HasOpenHandles(const FsNode& node) {
  if (!node.openers.empty() || node.deletePending) return true;
  bool found = false;
  node.children.ForEach([&](const std::string&, const std::shared_ptr<FsNode>& child) {
    if (!found && HasOpenHandles(*child)) found = true;
  });
  return found;
}

bool Contains(const FsNode* ancestor, const FsNode* node) {
  for (; node; node = node->parent)
    if (node == ancestor) return true;
  return false;
}

// Deletes a file or a folder with its contents, children first, as the shell does;
// stops at the first entry that cannot go. Read-only entries go too: the programs
// pass FOF_NOCONFIRMATION, which answers the shell's question about them with yes. The
// running program's image cannot go, as DeleteFileA says.
int DeleteTree(const std::shared_ptr<FsNode>& node, const Process& process,
               const FsNode* currentDirectory, uint64_t now) {
  if (node->isDirectory) {
    if (Contains(node.get(), currentDirectory)) return ERROR_SHARING_VIOLATION;
    while (!node->children.Empty()) {
      std::shared_ptr<FsNode> child = *node->children.At(0).second;
      if (const int error = DeleteTree(child, process, currentDirectory, now)) return error;
    }
  } else if (HasOpenHandles(*node)) {
    return ERROR_SHARING_VIOLATION;
  } else if (process.IsOwnImage(*node)) {
    return ERROR_ACCESS_DENIED;
  }
  if (node->parent) node->parent->lastWriteTime = now;
  FileSystem::Detach(node);
  return 0;
}

std::shared_ptr<FsNode> CurrentDirectoryNode(const Process& process) {
  ResolvedPath path;
  uint32_t error = 0;
  if (!ResolvePath(process, process.currentDirectory.c_str(), &path, &error)) return nullptr;
  return LookUp(process.machine.files, path).node;
}

}  // namespace
}  // namespace sim

int WINAPI SHFileOperationA(LPSHFILEOPSTRUCTA lpFileOp) {
  // pFrom is a list of names, each closed by a zero, the list by a second zero.
  std::vector<std::string> sources;
  if (lpFileOp && lpFileOp->pFrom) {
    for (const char* p = lpFileOp->pFrom; *p; p += sources.back().size() + 1) sources.push_back(p);
  }
  sim::ApiCall call("SHFileOperationA", sources.empty() ? std::string() : sources.front());
  if (call.fault()) return static_cast<int>(*call.fault());
  if (!lpFileOp) return ERROR_INVALID_PARAMETER;
  lpFileOp->fAnyOperationsAborted = FALSE;
  // Copies, moves and renames are not part of the simulated shell: the programs only delete.
  if (lpFileOp->wFunc != FO_DELETE) return ERROR_CALL_NOT_IMPLEMENTED;
  if (sources.empty()) return ERROR_INVALID_PARAMETER;
  sim::Process& p = call.process();
  const std::shared_ptr<sim::FsNode> current = sim::CurrentDirectoryNode(p);
  for (const std::string& source : sources) {
    sim::ResolvedPath path;
    uint32_t error = 0;
    // Wildcards are not simulated; a name with one names nothing here.
    if (!sim::ResolvePath(p, source.c_str(), &path, &error) || path.wildcardInLastName)
      return sim::kInvalidSourcePath;
    const sim::PathLookup at = sim::LookUp(p.machine.files, path);
    if (!at.node) return sim::kInvalidSourcePath;
    if (!at.folder) return ERROR_ACCESS_DENIED;  // a drive root
    if (const int result = sim::DeleteTree(at.node, p, current.get(), p.machine.Now())) {
      return result;
    }
  }
  return 0;
}
