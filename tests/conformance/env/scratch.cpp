#include <cstring>
#include <vector>

#include "env/environment.h"

namespace conformance {

namespace {
const char kScratchRootKey[] = "SOFTWARE\\KestrolinConformance";
const char kScratchRootFolder[] = "C:\\KestrolinConformance";

std::string CaseName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  return name;
}
}  // namespace

LONG DeleteKeyTree(HKEY parent, const std::string& path, REGSAM view) {
  HKEY key = nullptr;
  LONG r = RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS | view, &key);
  if (r != ERROR_SUCCESS) return r;
  char name[MAX_PATH];
  while ((r = RegEnumKeyA(key, 0, name, sizeof name)) == ERROR_SUCCESS) {
    r = DeleteKeyTree(key, name, view);
    if (r != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  if (r != ERROR_NO_MORE_ITEMS) return r;
  HKEY parentKey = nullptr;
  // RegDeleteKeyA has no view flag; reach the parent through the wanted view instead.
  const size_t sep = path.rfind('\\');
  if (view && sep != std::string::npos) {
    r = RegOpenKeyExA(parent, path.substr(0, sep).c_str(), 0, KEY_ALL_ACCESS | view, &parentKey);
    if (r != ERROR_SUCCESS) return r;
    r = RegDeleteKeyA(parentKey, path.substr(sep + 1).c_str());
    RegCloseKey(parentKey);
    return r;
  }
  return RegDeleteKeyA(parent, path.c_str());
}

bool KeyExists(HKEY parent, const std::string& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool RemoveFolderTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryA(path.c_str()) != 0;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

bool ReadTextFile(const std::string& path, std::string* text) {
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  text->clear();
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text->append(buffer, got);
  CloseHandle(file);
  return true;
}

void ConformanceTest::SetUp() {
  scratchKey = std::string(kScratchRootKey) + "\\" + CaseName();
  scratchFolder = std::string(kScratchRootFolder) + "\\" + CaseName();
  DeleteKeyTree(HKEY_LOCAL_MACHINE, scratchKey);
  RemoveFolderTree(scratchFolder);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, scratchKey.c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  CreateDirectoryA(kScratchRootFolder, nullptr);
  ASSERT_TRUE(CreateDirectoryA(scratchFolder.c_str(), nullptr)) << GetLastError();
}

void ConformanceTest::TearDown() {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, scratchKey);
  RemoveFolderTree(scratchFolder);
}

}  // namespace conformance
