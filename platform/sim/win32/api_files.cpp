// KERNEL32 files and folders of the simulated Windows: opening, reading and writing
// files, their sizes, positions and time stamps, copying, moving and deleting,
// attributes, folders, and CloseHandle for every kind of handle.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/win32/file_handles.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/pending_file_operations.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {

namespace {

constexpr uint32_t kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The attributes SetFileAttributesA and CreateFileA take; the rest are ignored.
constexpr uint32_t kSettableAttributes = 0x31a7;
// Files stay small on the simulated machine; a write beyond this fails as a full disk.
constexpr uint64_t kMaxFileSize = 256ull << 20;
constexpr uint32_t kErrorNotSameDevice = 17;

std::atomic<uint64_t> g_nextOpenerId{1};

std::shared_ptr<FileHandle> FileFromHandle(HANDLE h) {
  return CurrentProcess().handles.GetAs<FileHandle>(reinterpret_cast<uintptr_t>(h));
}

// The file a handle names, for injected faults that are limited to a path; built
// only when such a rule exists for the call, since it costs more than a read.
std::string SubjectOf(const char* call, HANDLE h) {
  Process& process = CurrentProcess();
  std::lock_guard<std::recursive_mutex> lock(process.machine.mutex);
  if (!process.machine.faults.NeedsSubject(call)) return std::string();
  auto file = FileFromHandle(h);
  return file ? file->node().FullPath() : std::string();
}

std::shared_ptr<FsNode> NewNode(FsNode& folder, const std::string& name, bool isDirectory,
                                uint64_t now) {
  auto node = NewFsNode();
  node->name = name;
  node->isDirectory = isDirectory;
  node->attributes = isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  node->creationTime = node->lastWriteTime = node->lastAccessTime = now;
  node->parent = &folder;
  folder.children.Put(name, node);
  folder.lastWriteTime = now;  // a folder's write time moves when its entries change
  return node;
}

void Unlink(const std::shared_ptr<FsNode>& node, uint64_t now) {
  if (node->parent) node->parent->lastWriteTime = now;
  FileSystem::Detach(node);
}

// A handle is open on the node or on anything below it.
bool HasOpenHandlesWithin(const FsNode& node) {
  if (!node.openers.empty()) return true;
  bool found = false;
  node.children.ForEach([&](const std::string&, const std::shared_ptr<FsNode>& child) {
    if (!found && HasOpenHandlesWithin(*child)) found = true;
  });
  return found;
}

bool IsWithin(const FsNode* node, const FsNode* ancestor) {
  for (; node; node = node->parent)
    if (node == ancestor) return true;
  return false;
}

// The folder the process's current directory names, as the calling thread sees it.
std::shared_ptr<FsNode> CurrentDirectoryNode(const Process& process) {
  ResolvedPath path;
  uint32_t error = 0;
  if (!ResolvePath(process, process.currentDirectory.c_str(), &path, &error)) return nullptr;
  return LookUp(process.machine.files, path).node;
}

// Resolves a name for a call that does not take wildcards.
bool ResolveName(const Process& process, LPCSTR name, ResolvedPath* path, uint32_t* error) {
  if (!ResolvePath(process, name, path, error)) return false;
  if (path->wildcardInLastName) {
    *error = ERROR_INVALID_NAME;
    return false;
  }
  return true;
}

}  // namespace

// ---- Handles and sharing ------------------------------------------------------------

uint32_t SharingAccessOf(uint32_t desiredAccess) {
  uint32_t access = 0;
  if (desiredAccess & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL | 0x0001u | 0x0020u))
    access |= kAccessRead;  // FILE_READ_DATA, FILE_EXECUTE
  if (desiredAccess & (GENERIC_WRITE | GENERIC_ALL | 0x0002u | 0x0004u))
    access |= kAccessWrite;  // FILE_WRITE_DATA, FILE_APPEND_DATA
  if (desiredAccess & (DELETE | GENERIC_ALL)) access |= kAccessDelete;
  return access;
}

bool SharingAllows(const FsNode& node, uint32_t access, uint32_t share) {
  // An open without read, write or delete access neither meets nor sets sharing rules.
  if (access == 0) return true;
  for (const auto& other : node.openers) {
    if (other.access == 0) continue;
    if (access & ~other.share & 7u) return false;
    if (other.access & ~share & 7u) return false;
  }
  return true;
}

FileHandle::FileHandle(FileSystem& files, std::shared_ptr<FsNode> node, uint32_t desiredAccess,
                       uint32_t share, uint64_t id)
    : files_(files), node_(std::move(node)), desiredAccess_(desiredAccess), id_(id) {
  node_->openers.push_back({SharingAccessOf(desiredAccess), share & 7u, id});
}

FileHandle::~FileHandle() {
  auto& openers = node_->openers;
  openers.erase(std::remove_if(openers.begin(), openers.end(),
                               [&](const FsNode::Opener& o) { return o.id == id_; }),
                openers.end());
  if (node_->deletePending && openers.empty()) {
    node_->deletePending = false;
    Unlink(node_, files_.now);
  }
}

bool FileHandle::CanRead() const { return (SharingAccessOf(desiredAccess_) & kAccessRead) != 0; }

bool FileHandle::CanWrite() const { return (SharingAccessOf(desiredAccess_) & kAccessWrite) != 0; }

bool FileHandle::CanWriteAttributes() const {
  constexpr uint32_t kFileWriteAttributes = 0x0100;
  return (desiredAccess_ & (GENERIC_WRITE | GENERIC_ALL | kFileWriteAttributes)) != 0;
}

}  // namespace sim

using sim::ApiCall;
using sim::FileHandle;
using sim::FsNode;
using sim::PathLookup;
using sim::ResolvedPath;

// ---- Opening, reading, writing -------------------------------------------------------

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  ApiCall call("CreateFileA", lpFileName ? lpFileName : "");
  auto fail = [](uint32_t error) {
    sim::Fail(error);
    return INVALID_HANDLE_VALUE;
  };
  if (call.fault()) return fail(*call.fault());
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING)
    return fail(ERROR_INVALID_PARAMETER);
  ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolveName(call.process(), lpFileName, &path, &error)) return fail(error);
  const PathLookup at = sim::LookUp(call.machine().files, path);
  if (!at.wayExists) return fail(ERROR_PATH_NOT_FOUND);
  if (at.node && at.node->isDirectory)
    return fail(dwCreationDisposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
  if (path.trailingSeparator) return fail(ERROR_INVALID_NAME);

  const uint64_t now = call.machine().Now();
  const uint32_t access = sim::SharingAccessOf(dwDesiredAccess);
  const uint32_t given = dwFlagsAndAttributes & sim::kSettableAttributes & ~FILE_ATTRIBUTE_NORMAL;
  std::shared_ptr<FsNode> node = at.node;
  const bool existed = node != nullptr;
  if (existed) {
    if (node->deletePending) return fail(ERROR_ACCESS_DENIED);
    if (dwCreationDisposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    const bool overwrite =
        dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
    if ((node->attributes & FILE_ATTRIBUTE_READONLY) && ((access & sim::kAccessWrite) || overwrite))
      return fail(ERROR_ACCESS_DENIED);
    if (!sim::SharingAllows(*node, access, dwShareMode)) return fail(ERROR_SHARING_VIOLATION);
    if (dwCreationDisposition == CREATE_ALWAYS) {
      // Overwriting a hidden or system file must keep those attributes explicitly.
      const uint32_t kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
      if (node->attributes & kept & ~given) return fail(ERROR_ACCESS_DENIED);
      node->attributes |= given;
    }
    if (overwrite) {
      node->content.clear();
      node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
      node->lastWriteTime = node->lastAccessTime = now;
    }
  } else {
    if (dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == TRUNCATE_EXISTING)
      return fail(ERROR_FILE_NOT_FOUND);
    node = sim::NewNode(*at.folder, at.name, false, now);
    node->attributes = given | FILE_ATTRIBUTE_ARCHIVE;
  }
  auto handle = std::make_shared<FileHandle>(call.machine().files, node, dwDesiredAccess,
                                             dwShareMode, sim::g_nextOpenerId++);
  const uintptr_t value = call.process().handles.Add(handle);
  const bool reportExisting =
      existed && (dwCreationDisposition == OPEN_ALWAYS || dwCreationDisposition == CREATE_ALWAYS);
  sim::Fail(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  ApiCall call("ReadFile", sim::SubjectOf("ReadFile", hFile));
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  auto file = sim::FileFromHandle(hFile);
  if (!file) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  if (!file->CanRead()) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  if (!lpBuffer && nNumberOfBytesToRead) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  const uint64_t start =
      lpOverlapped ? (static_cast<uint64_t>(lpOverlapped->OffsetHigh) << 32 | lpOverlapped->Offset)
                   : file->position;
  const std::string& content = file->node().content;
  const uint64_t available = start < content.size() ? content.size() - start : 0;
  const DWORD got = static_cast<DWORD>(std::min<uint64_t>(available, nNumberOfBytesToRead));
  if (got) std::memcpy(lpBuffer, content.data() + start, got);
  file->position = start + got;
  if (!file->explicitAccessTime) file->node().lastAccessTime = call.machine().Now();
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = got;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  ApiCall call("WriteFile", sim::SubjectOf("WriteFile", hFile));
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  auto file = sim::FileFromHandle(hFile);
  if (!file) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  if (!file->CanWrite()) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  if (!lpBuffer && nNumberOfBytesToWrite) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  const uint64_t start =
      lpOverlapped ? (static_cast<uint64_t>(lpOverlapped->OffsetHigh) << 32 | lpOverlapped->Offset)
                   : file->position;
  if (nNumberOfBytesToWrite == 0) return TRUE;  // a null write changes nothing
  if (start + nNumberOfBytesToWrite > sim::kMaxFileSize) return sim::Fail(ERROR_DISK_FULL), FALSE;
  FsNode& node = file->node();
  if (node.content.size() < start + nNumberOfBytesToWrite)
    node.content.resize(start + nNumberOfBytesToWrite, '\0');
  std::memcpy(&node.content[start], lpBuffer, nNumberOfBytesToWrite);
  file->position = start + nNumberOfBytesToWrite;
  const uint64_t now = call.machine().Now();
  node.attributes |= FILE_ATTRIBUTE_ARCHIVE;
  if (!file->explicitWriteTime) node.lastWriteTime = now;
  if (!file->explicitAccessTime) node.lastAccessTime = now;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  ApiCall call("GetFileSize", sim::SubjectOf("GetFileSize", hFile));
  if (call.fault()) return sim::Fail(*call.fault()), INVALID_FILE_SIZE;
  auto file = sim::FileFromHandle(hFile);
  if (!file) return sim::Fail(ERROR_INVALID_HANDLE), INVALID_FILE_SIZE;
  const uint64_t size = file->node().content.size();
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  const DWORD low = static_cast<DWORD>(size & 0xffffffffu);
  // With the high part asked for, a low part of all ones is a size, not a failure.
  if (low == INVALID_FILE_SIZE) sim::Fail(ERROR_SUCCESS);
  return low;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  ApiCall call("SetFilePointer", sim::SubjectOf("SetFilePointer", hFile));
  if (call.fault()) return sim::Fail(*call.fault()), INVALID_SET_FILE_POINTER;
  auto file = sim::FileFromHandle(hFile);
  if (!file) return sim::Fail(ERROR_INVALID_HANDLE), INVALID_SET_FILE_POINTER;
  int64_t distance = lDistanceToMove;
  if (lpDistanceToMoveHigh) {
    distance = static_cast<int64_t>(
        (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
        static_cast<uint32_t>(lDistanceToMove));
  }
  int64_t base = 0;
  switch (dwMoveMethod) {
    case FILE_BEGIN:
      break;
    case FILE_CURRENT:
      base = static_cast<int64_t>(file->position);
      break;
    case FILE_END:
      base = static_cast<int64_t>(file->node().content.size());
      break;
    default:
      return sim::Fail(ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER;
  }
  const int64_t target = base + distance;
  if (target < 0) return sim::Fail(ERROR_NEGATIVE_SEEK), INVALID_SET_FILE_POINTER;
  if (!lpDistanceToMoveHigh && target > 0xffffffffll)
    return sim::Fail(ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER;
  file->position = static_cast<uint64_t>(target);
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
  const DWORD low = static_cast<DWORD>(target & 0xffffffff);
  if (low == INVALID_SET_FILE_POINTER) sim::Fail(ERROR_SUCCESS);
  return low;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  ApiCall call("SetEndOfFile", sim::SubjectOf("SetEndOfFile", hFile));
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  auto file = sim::FileFromHandle(hFile);
  if (!file) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  if (!file->CanWrite()) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  if (file->position > sim::kMaxFileSize) return sim::Fail(ERROR_DISK_FULL), FALSE;
  FsNode& node = file->node();
  node.content.resize(file->position, '\0');
  node.attributes |= FILE_ATTRIBUTE_ARCHIVE;
  if (!file->explicitWriteTime) node.lastWriteTime = call.machine().Now();
  return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
  ApiCall call("GetFileTime", sim::SubjectOf("GetFileTime", hFile));
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  auto file = sim::FileFromHandle(hFile);
  if (!file) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  const FsNode& node = file->node();
  if (lpCreationTime) *lpCreationTime = sim::ToFileTime(node.creationTime);
  if (lpLastAccessTime) *lpLastAccessTime = sim::ToFileTime(node.lastAccessTime);
  if (lpLastWriteTime) *lpLastWriteTime = sim::ToFileTime(node.lastWriteTime);
  return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime,
                        const FILETIME* lpLastAccessTime, const FILETIME* lpLastWriteTime) {
  ApiCall call("SetFileTime", sim::SubjectOf("SetFileTime", hFile));
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  auto file = sim::FileFromHandle(hFile);
  if (!file) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  if (!file->CanWriteAttributes()) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  FsNode& node = file->node();
  // A time of zero leaves that time as it is.
  if (lpCreationTime && sim::Ticks(*lpCreationTime))
    node.creationTime = sim::Ticks(*lpCreationTime);
  if (lpLastAccessTime && sim::Ticks(*lpLastAccessTime)) {
    node.lastAccessTime = sim::Ticks(*lpLastAccessTime);
    file->explicitAccessTime = true;
  }
  if (lpLastWriteTime && sim::Ticks(*lpLastWriteTime)) {
    node.lastWriteTime = sim::Ticks(*lpLastWriteTime);
    file->explicitWriteTime = true;
  }
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  ApiCall call("CloseHandle");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  const auto value = reinterpret_cast<uintptr_t>(hObject);
  // The pseudo handles of the current process and thread need no closing.
  if (value == static_cast<uintptr_t>(-1) || value == static_cast<uintptr_t>(-2)) return TRUE;
  if (!call.process().handles.Close(value)) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  return TRUE;
}

// ---- Copying, moving, deleting ---------------------------------------------------------

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  const std::string subject = std::string(lpExistingFileName ? lpExistingFileName : "") + " -> " +
                              (lpNewFileName ? lpNewFileName : "");
  ApiCall call("CopyFileA", subject);
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  ResolvedPath from, to;
  uint32_t error = 0;
  if (!sim::ResolveName(call.process(), lpExistingFileName, &from, &error) ||
      !sim::ResolveName(call.process(), lpNewFileName, &to, &error))
    return sim::Fail(error), FALSE;
  const PathLookup source = sim::LookUp(call.machine().files, from);
  if (!source.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (!source.node) return sim::Fail(ERROR_FILE_NOT_FOUND), FALSE;
  if (source.node->isDirectory || source.node->deletePending)
    return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  if (from.trailingSeparator) return sim::Fail(ERROR_INVALID_NAME), FALSE;
  // The source is read with others allowed to read along.
  if (!sim::SharingAllows(*source.node, sim::kAccessRead, FILE_SHARE_READ))
    return sim::Fail(ERROR_SHARING_VIOLATION), FALSE;
  const PathLookup target = sim::LookUp(call.machine().files, to);
  if (!target.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (target.node && target.node->isDirectory) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  if (to.trailingSeparator) return sim::Fail(ERROR_INVALID_NAME), FALSE;

  const uint64_t now = call.machine().Now();
  const FsNode& src = *source.node;
  if (target.node) {
    FsNode& dst = *target.node;
    // The target is written exclusively, so copying a file onto itself meets its own reader.
    if (&dst == &src) return sim::Fail(ERROR_SHARING_VIOLATION), FALSE;
    if (bFailIfExists) return sim::Fail(ERROR_FILE_EXISTS), FALSE;
    if ((dst.attributes & FILE_ATTRIBUTE_READONLY) || dst.deletePending)
      return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
    if (!sim::SharingAllows(dst, sim::kAccessWrite, 0))
      return sim::Fail(ERROR_SHARING_VIOLATION), FALSE;
    dst.content = src.content;
    // An overwritten hidden or system file stays so.
    dst.attributes = src.attributes |
                     (dst.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) |
                     FILE_ATTRIBUTE_ARCHIVE;
    dst.lastWriteTime = src.lastWriteTime;
    dst.lastAccessTime = now;
  } else {
    auto dst = sim::NewNode(*target.folder, target.name, false, now);
    dst->content = src.content;
    dst->attributes = src.attributes | FILE_ATTRIBUTE_ARCHIVE;
    dst->lastWriteTime = src.lastWriteTime;
  }
  source.node->lastAccessTime = now;
  return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  const std::string subject = std::string(lpExistingFileName ? lpExistingFileName : "") + " -> " +
                              (lpNewFileName ? lpNewFileName : "");
  ApiCall call("MoveFileA", subject);
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  ResolvedPath from, to;
  uint32_t error = 0;
  if (!sim::ResolveName(call.process(), lpExistingFileName, &from, &error) ||
      !sim::ResolveName(call.process(), lpNewFileName, &to, &error))
    return sim::Fail(error), FALSE;
  const PathLookup source = sim::LookUp(call.machine().files, from);
  if (!source.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (!source.node) return sim::Fail(ERROR_FILE_NOT_FOUND), FALSE;
  if (!source.folder || source.node->deletePending) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  const PathLookup target = sim::LookUp(call.machine().files, to);
  if (!target.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (target.node && target.node != source.node) return sim::Fail(ERROR_ALREADY_EXISTS), FALSE;
  if (!target.folder) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;

  const std::shared_ptr<FsNode> node = source.node;
  if (node->isDirectory) {
    if (from.drive != to.drive) return sim::Fail(sim::kErrorNotSameDevice), FALSE;
    if (sim::IsWithin(target.folder.get(), node.get()))
      return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
    // The current directory is a handle on its folder that does not share delete.
    const auto current = sim::CurrentDirectoryNode(call.process());
    if (current == node) return sim::Fail(ERROR_SHARING_VIOLATION), FALSE;
    if ((current && sim::IsWithin(current.get(), node.get())) || sim::HasOpenHandlesWithin(*node))
      return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  } else if (!sim::SharingAllows(*node, sim::kAccessDelete, sim::kShareAll)) {
    return sim::Fail(ERROR_SHARING_VIOLATION), FALSE;
  }
  const uint64_t now = call.machine().Now();
  source.folder->children.Erase(node->name);
  source.folder->lastWriteTime = now;
  node->name = target.name;
  node->parent = target.folder.get();
  target.folder->children.Put(node->name, node);
  target.folder->lastWriteTime = now;
  return TRUE;
}

// MOVEFILE_DELAY_UNTIL_REBOOT: the operation is recorded for the session manager, which
// carries it out at the next start. Neither file is looked at now.
BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  const std::string subject = std::string(lpExistingFileName ? lpExistingFileName : "") + " -> " +
                              (lpNewFileName ? lpNewFileName : "");
  sim::ApiCall call("MoveFileExA", subject);
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  if (!(dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT)) {
    // Only the plain move is simulated besides the delayed operations.
    if (dwFlags & ~static_cast<DWORD>(MOVEFILE_WRITE_THROUGH))
      return sim::Fail(ERROR_CALL_NOT_IMPLEMENTED), FALSE;
    if (!lpNewFileName) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
    return MoveFileA(lpExistingFileName, lpNewFileName);
  }
  if (dwFlags & MOVEFILE_COPY_ALLOWED) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  const sim::Process& process = call.process();
  std::string source, target;
  if (!lpExistingFileName ||
      !sim::FullPathName(lpExistingFileName, process.currentDirectory, &source) ||
      (lpNewFileName && !sim::FullPathName(lpNewFileName, process.currentDirectory, &target)))
    return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  sim::RecordPendingFileOperation(call.machine().registry,
                                  {source, target, (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0});
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  ApiCall call("DeleteFileA", lpFileName ? lpFileName : "");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolveName(call.process(), lpFileName, &path, &error)) return sim::Fail(error), FALSE;
  const PathLookup at = sim::LookUp(call.machine().files, path);
  if (!at.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (!at.node) return sim::Fail(ERROR_FILE_NOT_FOUND), FALSE;
  if (at.node->isDirectory || at.node->deletePending) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  if (path.trailingSeparator) return sim::Fail(ERROR_INVALID_NAME), FALSE;
  if (!sim::SharingAllows(*at.node, sim::kAccessDelete, sim::kShareAll))
    return sim::Fail(ERROR_SHARING_VIOLATION), FALSE;
  if (at.node->attributes & FILE_ATTRIBUTE_READONLY) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  // The image of a running program is mapped; Windows refuses to delete it.
  if (call.process().IsOwnImage(*at.node)) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  if (!at.node->openers.empty()) {
    at.node->deletePending = true;  // gone when the last handle closes
  } else {
    sim::Unlink(at.node, call.machine().Now());
  }
  return TRUE;
}

// ---- Attributes and folders -------------------------------------------------------------

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  ApiCall call("GetFileAttributesA", lpFileName ? lpFileName : "");
  if (call.fault()) return sim::Fail(*call.fault()), INVALID_FILE_ATTRIBUTES;
  ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolveName(call.process(), lpFileName, &path, &error))
    return sim::Fail(error), INVALID_FILE_ATTRIBUTES;
  const PathLookup at = sim::LookUp(call.machine().files, path);
  if (!at.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), INVALID_FILE_ATTRIBUTES;
  if (!at.node) return sim::Fail(ERROR_FILE_NOT_FOUND), INVALID_FILE_ATTRIBUTES;
  if (path.trailingSeparator && !at.node->isDirectory)
    return sim::Fail(ERROR_PATH_NOT_FOUND), INVALID_FILE_ATTRIBUTES;
  // A file waiting for its last handle to close before it goes cannot be opened, not
  // even to read its attributes (though a search still lists it).
  if (at.node->deletePending) return sim::Fail(ERROR_ACCESS_DENIED), INVALID_FILE_ATTRIBUTES;
  // A file without attributes reports FILE_ATTRIBUTE_NORMAL.
  const DWORD attributes = at.node->attributes;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  ApiCall call("SetFileAttributesA", lpFileName ? lpFileName : "");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolveName(call.process(), lpFileName, &path, &error)) return sim::Fail(error), FALSE;
  const PathLookup at = sim::LookUp(call.machine().files, path);
  if (!at.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (!at.node) return sim::Fail(ERROR_FILE_NOT_FOUND), FALSE;
  if (path.trailingSeparator && !at.node->isDirectory)
    return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (at.node->deletePending) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  // FILE_ATTRIBUTE_NORMAL (or nothing) alone clears every attribute; with others it is
  // ignored.
  const uint32_t wanted = dwFileAttributes & sim::kSettableAttributes & ~FILE_ATTRIBUTE_NORMAL;
  at.node->attributes = wanted | (at.node->isDirectory ? FILE_ATTRIBUTE_DIRECTORY : 0);
  return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  ApiCall call("CreateDirectoryA", lpPathName ? lpPathName : "");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolveName(call.process(), lpPathName, &path, &error)) return sim::Fail(error), FALSE;
  // A new folder keeps room below it for "\" and an 8.3 name within MAX_PATH.
  if (path.full.size() > sim::kMaxDirectoryPath)
    return sim::Fail(ERROR_FILENAME_EXCED_RANGE), FALSE;
  const PathLookup at = sim::LookUp(call.machine().files, path);
  if (at.wayExists && !at.folder) return sim::Fail(ERROR_ALREADY_EXISTS), FALSE;  // a drive root
  if (!at.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (at.node) return sim::Fail(ERROR_ALREADY_EXISTS), FALSE;
  sim::NewNode(*at.folder, at.name, true, call.machine().Now());
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  ApiCall call("RemoveDirectoryA", lpPathName ? lpPathName : "");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolveName(call.process(), lpPathName, &path, &error)) return sim::Fail(error), FALSE;
  const PathLookup at = sim::LookUp(call.machine().files, path);
  if (!at.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (!at.node) return sim::Fail(ERROR_FILE_NOT_FOUND), FALSE;
  if (!at.node->isDirectory) return sim::Fail(ERROR_DIRECTORY), FALSE;
  if (!at.folder) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;  // a drive root
  // The current directory is held open without sharing delete.
  if (sim::CurrentDirectoryNode(call.process()) == at.node)
    return sim::Fail(ERROR_SHARING_VIOLATION), FALSE;
  if (at.node->attributes & FILE_ATTRIBUTE_READONLY) return sim::Fail(ERROR_ACCESS_DENIED), FALSE;
  if (!at.node->children.Empty()) return sim::Fail(ERROR_DIR_NOT_EMPTY), FALSE;
  sim::Unlink(at.node, call.machine().Now());
  return TRUE;
}
