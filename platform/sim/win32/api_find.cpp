// FindFirstFileA / FindNextFileA / FindClose of the simulated Windows: the entries of
// one folder that match a pattern, in the folder's name order, as NTFS gives them.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/win32/file_handles.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

void Describe(const FsNode& node, std::string_view name, WIN32_FIND_DATAA* data) {
  data->dwFileAttributes = node.attributes ? node.attributes : FILE_ATTRIBUTE_NORMAL;
  data->ftCreationTime = ToFileTime(node.creationTime);
  data->ftLastAccessTime = ToFileTime(node.lastAccessTime);
  data->ftLastWriteTime = ToFileTime(node.lastWriteTime);
  const uint64_t size = node.isDirectory ? 0 : node.content.size();
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size & 0xffffffffu);
  data->dwReserved0 = 0;
  data->dwReserved1 = 0;
  // The name and its NUL; the bytes after it stay as they were, as Windows leaves them
  // (it converts the name into the caller's buffer). Filling the whole record with
  // zeros first took longer than the rest of the call.
  const size_t length = std::min(name.size(), sizeof data->cFileName - 1);
  std::memcpy(data->cFileName, name.data(), length);
  data->cFileName[length] = '\0';
  std::memset(data->cAlternateFileName, 0, sizeof data->cAlternateFileName);
}

// Fills `data` with the search's next entry; false at the end.
bool NextEntry(FindHandle& search, WIN32_FIND_DATAA* data) {
  if (search.exhausted || search.folder->deleted) return false;
  FsNode& folder = *search.folder;
  const bool isRoot = folder.parent == nullptr;
  while (!isRoot && search.dotsReturned < 2) {
    const char* name = search.dotsReturned == 0 ? "." : "..";
    const FsNode& node = search.dotsReturned == 0 ? folder : *folder.parent;
    ++search.dotsReturned;
    if (search.pattern.Matches(name)) {
      Describe(node, name, data);
      return true;
    }
  }
  auto entry = search.started ? folder.children.FirstAfter(search.lastName, &search.at)
                              : folder.children.At(0, &search.at);
  for (; entry.first; entry = folder.children.FirstAfter(*entry.first, &search.at)) {
    if (!search.pattern.Matches(*entry.first)) continue;
    search.started = true;
    search.lastName = *entry.first;
    Describe(**entry.second, *entry.first, data);
    return true;
  }
  return false;
}

}  // namespace
}  // namespace sim

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  sim::ApiCall call("FindFirstFileA", lpFileName ? lpFileName : "");
  auto fail = [](uint32_t error) {
    sim::Fail(error);
    return INVALID_HANDLE_VALUE;
  };
  if (call.fault()) return fail(*call.fault());
  if (!lpFindFileData) return fail(ERROR_INVALID_PARAMETER);
  sim::ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolvePath(call.process(), lpFileName, &path, &error)) return fail(error);
  // "C:\folder\" names no entry of the folder.
  if (path.trailingSeparator || path.parts.empty()) return fail(ERROR_FILE_NOT_FOUND);
  const sim::PathLookup at = sim::LookUp(call.machine().files, path);
  if (!at.wayExists) return fail(ERROR_PATH_NOT_FOUND);

  auto search = std::make_shared<sim::FindHandle>();
  search->folder = at.folder;
  if (path.wildcardInLastName) {
    // The pattern as written: the full-path rules would drop a trailing dot that
    // "*." needs.
    const std::string raw(lpFileName);
    const size_t sep = raw.find_last_of("\\/:");
    search->pattern = sim::FilePattern(sep == std::string::npos ? raw : raw.substr(sep + 1));
    if (!sim::NextEntry(*search, lpFindFileData)) return fail(ERROR_FILE_NOT_FOUND);
  } else {
    // One exact name: that entry, under its stored name, or nothing.
    if (!at.node) return fail(ERROR_FILE_NOT_FOUND);
    sim::Describe(*at.node, *at.folder->children.StoredName(at.name), lpFindFileData);
    search->exhausted = true;
  }
  return reinterpret_cast<HANDLE>(call.process().handles.Add(search));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  sim::ApiCall call("FindNextFileA");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  auto search =
      call.process().handles.GetAs<sim::FindHandle>(reinterpret_cast<uintptr_t>(hFindFile));
  if (!search) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  if (!lpFindFileData) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  if (!sim::NextEntry(*search, lpFindFileData)) return sim::Fail(ERROR_NO_MORE_FILES), FALSE;
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  sim::ApiCall call("FindClose");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  const auto value = reinterpret_cast<uintptr_t>(hFindFile);
  if (!call.process().handles.GetAs<sim::FindHandle>(value) || !call.process().handles.Close(value))
    return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  return TRUE;
}
