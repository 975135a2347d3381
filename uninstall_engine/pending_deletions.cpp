#include "uninstall_engine/pending_deletions.h"

#include <vector>

#include "sysinfo/system_folders.h"
#include "uninstall_engine/file_removal.h"
#include "uninstall_engine/registry_ops.h"

namespace {

const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingOperations[] = "PendingFileRenameOperations";
// How many earlier uninstalls before one restart may each have left their copy aside.
constexpr int kAsideNames = 100;

using WideText = std::basic_string<WCHAR>;

// The list is kept in UTF-16 and names other programs' files too: it is read and written
// through the wide calls, so that no name that the ANSI code page cannot hold is changed.
WideText WideAscii(const char* text) {
  WideText wide;
  for (; *text; ++text) wide.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*text)));
  return wide;
}

bool WideFromAnsi(const std::string& text, WideText* wide) {
  if (text.empty()) return wide->clear(), true;
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<size_t>(length), 0);
  return MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &(*wide)[0],
                             length) == length;
}

WCHAR UpperAscii(WCHAR c) { return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c; }

bool SameName(const WideText& a, const WideText& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

// The value as it stands; false when it cannot be read whole. No value is an empty list.
bool ReadPendingList(HKEY key, const WideText& name, WideText* list) {
  std::vector<BYTE> data;
  for (int attempt = 0; attempt < 4; ++attempt) {  // it may grow between the two calls
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    const LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                         data.empty() ? nullptr : &data[0], &size);
    if (result == ERROR_FILE_NOT_FOUND) return list->clear(), true;
    if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && data.empty() && size)) {
      data.resize(size);
      continue;
    }
    if (result != ERROR_SUCCESS || type != REG_MULTI_SZ || size % sizeof(WCHAR)) return false;
    list->assign(size / sizeof(WCHAR), 0);
    for (size_t i = 0; i < list->size(); ++i)
      (*list)[i] = static_cast<WCHAR>(data[2 * i] | (data[2 * i + 1] << 8));
    return true;
  }
  return false;
}

}  // namespace

void DeleteNowOrAtRestart(const std::string& path, const std::string& atRestart) {
  DeleteFileClearingAttributes(path.c_str());
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  // A running image may be renamed within its volume, though not deleted.
  for (int n = 1; n <= kAsideNames; ++n) {
    const std::string suffix = ".delete-at-restart-" + std::to_string(n);
    const std::string aside = path + suffix;
    if (!FitsMaxPath(aside) || !FitsMaxPath(atRestart + suffix)) break;
    if (MoveFileA(path.c_str(), aside.c_str())) {
      if (MoveFileExA((atRestart + suffix).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return;
      // Not to be left under a name nothing will ever delete.
      MoveFileA(aside.c_str(), path.c_str());
      return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  MoveFileExA(atRestart.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool DropPendingDeletion(const std::string& path) {
  WideText target;
  if (!WideFromAnsi(path, &target)) return false;
  target = WideAscii("\\??\\") + target;
  ScopedKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    key.out()) != ERROR_SUCCESS)
    return false;
  const WideText name = WideAscii(kPendingOperations);
  WideText list;
  if (!ReadPendingList(key.get(), name, &list)) return false;

  // Pairs of NUL-ended strings, a source and a target (empty for a deletion); the session
  // manager stops at the first empty source. What follows it is kept as it is.
  WideText kept;
  bool dropped = false;
  size_t at = 0;
  while (at < list.size() && list[at] != 0) {
    const size_t sourceEnd = list.find(WCHAR(0), at);
    if (sourceEnd == WideText::npos || sourceEnd + 1 >= list.size()) return false;
    const size_t targetEnd = list.find(WCHAR(0), sourceEnd + 1);
    if (targetEnd == WideText::npos) return false;
    const bool deletion = targetEnd == sourceEnd + 1;
    if (deletion && SameName(list.substr(at, sourceEnd - at), target)) {
      dropped = true;
    } else {
      kept.append(list, at, targetEnd + 1 - at);
    }
    at = targetEnd + 1;
  }
  if (!dropped) return true;
  if (kept.empty()) return RegDeleteValueA(key.get(), kPendingOperations) == ERROR_SUCCESS;
  kept.append(list, at, WideText::npos);
  if (kept.back() != 0) kept.push_back(0);
  std::vector<BYTE> data;
  for (WCHAR c : kept) {
    data.push_back(static_cast<BYTE>(c & 0xFF));
    data.push_back(static_cast<BYTE>(c >> 8));
  }
  return RegSetValueExW(key.get(), name.c_str(), 0, REG_MULTI_SZ, &data[0],
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}
