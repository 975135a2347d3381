// The simulated KERNEL32 files and folders, continued: FindFirstFileA, the current
// folder and full names, CloseHandle and injected faults, and the file-time conversions.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/win32/file_handles.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"
#include "tests/unit/sim/win32/sim_files_fixture.h"

namespace {

using namespace sim_files_test;

// ---- Finding ----------------------------------------------------------------------------------

std::vector<std::string> Find(const std::string& pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  SetLastError(kUnset);
  HANDLE h = FindFirstFileA(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do names.push_back(data.cFileName);
  while (FindNextFileA(h, &data));
  if (error) *error = GetLastError();
  FindClose(h);
  return names;
}

TEST_F(SimFiles, FindListsDotsFirstThenNamesInWindowsOrder) {
  for (const char* name : {"b.TXT", "a.txt", "_u", "Zed", "README", "ab.txt", "Makefile.in"})
    Put(std::string("C:\\work\\wild\\") + name, name);
  machine.files.MakeDirectories("C:\\work\\wild\\sub");
  DWORD error = 0;
  const std::vector<std::string> all = {".",           "..",     "a.txt", "ab.txt", "b.TXT",
                                        "Makefile.in", "README", "sub",   "Zed",    "_u"};
  EXPECT_EQ(all, Find("C:\\work\\wild\\*", &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), error);
  EXPECT_EQ(all, Find("C:\\work\\wild\\*.*"));
  EXPECT_EQ((std::vector<std::string>{"a.txt", "ab.txt", "b.TXT"}), Find("C:\\work\\WILD\\*.TXT"));
  EXPECT_EQ((std::vector<std::string>{".", ".."}), Find("C:\\work\\wild\\sub\\*"));
  // An exact name finds that entry under its stored name, dots never.
  EXPECT_EQ((std::vector<std::string>{"README"}), Find("C:\\work\\wild\\readme"));
  EXPECT_EQ((std::vector<std::string>{"sub"}), Find("C:\\work\\wild\\SUB"));
  // A drive root has no "." or "..".
  EXPECT_EQ((std::vector<std::string>{"work"}), Find("C:\\*"));
}

TEST_F(SimFiles, FindReportsWhyNothingIsFound) {
  struct Case {
    const char* pattern;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\work\\nomatch*", ERROR_FILE_NOT_FOUND},
      {"C:\\work\\missing.txt", ERROR_FILE_NOT_FOUND},
      {"C:\\work\\missing\\*", ERROR_PATH_NOT_FOUND},
      {"C:\\work\\", ERROR_FILE_NOT_FOUND},
      {"C:\\work\\a|b*", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    DWORD error = 0;
    EXPECT_TRUE(Find(c.pattern, &error).empty()) << c.pattern;
    EXPECT_EQ(c.error, error) << c.pattern;
  }
  EXPECT_EQ(0u, scope.process().handles.Count());
}

TEST_F(SimFiles, FindDataDescribesTheEntry) {
  Put("C:\\work\\plain.bin", std::string(70000, 'x'), 0);
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\work\\plain.bin", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), data.dwFileAttributes);
  EXPECT_EQ(70000u, data.nFileSizeLow);
  EXPECT_EQ(0u, data.nFileSizeHigh);
  EXPECT_EQ(machine.Now(), Ticks(data.ftLastWriteTime));
  EXPECT_STREQ("", data.cAlternateFileName);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
  // A search handle is no file handle, and the other way round.
  File f = Open("C:\\work\\old.txt", GENERIC_READ);
  EXPECT_FALSE(FindClose(f.get()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(FindNextFileA(f.get(), &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindClose(h));
}

TEST_F(SimFiles, DeletingEachFoundFileDuringTheSearchVisitsEveryFile) {
  std::set<std::string> expected;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "f" + std::to_string(i * 7 % 60) + ".tmp";
    Put("C:\\work\\many\\" + name, "x");
    expected.insert(name);
  }
  std::set<std::string> seen;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\work\\many\\*.tmp", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  do {
    EXPECT_TRUE(seen.insert(data.cFileName).second) << data.cFileName;
    EXPECT_TRUE(DeleteFileA((std::string("C:\\work\\many\\") + data.cFileName).c_str()));
    // An entry added before the search position is not reported.
    Put("C:\\work\\many\\a" + std::string(data.cFileName), "late");
  } while (FindNextFileA(h, &data));
  FindClose(h);
  EXPECT_EQ(expected, seen);
}

TEST_F(SimFiles, ALargeFolderIsListedCompletely) {
  for (int i = 0; i < 5000; ++i) Put("C:\\work\\big\\n" + std::to_string(i), "");
  EXPECT_EQ(5002u, Find("C:\\work\\big\\*").size());
  EXPECT_EQ(1u, Find("C:\\work\\big\\n4999").size());
}

// ---- Current directory and folder names ---------------------------------------------------

TEST_F(SimFiles, FolderNamesFollowTheBufferProtocol) {
  // The length without the NUL when the name fits, else the size needed with it.
  const std::string current = "C:\\work";
  struct Case {
    DWORD size;
    DWORD result;
    bool written;
  };
  const Case cases[] = {{0, 8, false}, {3, 8, false}, {7, 8, false}, {8, 7, true}, {260, 7, true}};
  for (const auto& c : cases) {
    char buffer[MAX_PATH];
    std::memset(buffer, 'Z', sizeof buffer);
    SetLastError(kUnset);
    EXPECT_EQ(c.result, GetCurrentDirectoryA(c.size, c.size ? buffer : nullptr)) << c.size;
    EXPECT_EQ(c.written, buffer[0] != 'Z') << c.size;
    if (c.written) {
      EXPECT_EQ(current, buffer);
    }
    EXPECT_EQ(kUnset, GetLastError());
  }
  char buffer[MAX_PATH];
  std::memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(11u, GetWindowsDirectoryA(buffer, 10));
  EXPECT_EQ('Z', buffer[0]);
  EXPECT_EQ(10u, GetWindowsDirectoryA(buffer, 11));
  EXPECT_STREQ("C:\\WINDOWS", buffer);
  EXPECT_EQ(20u, GetSystemDirectoryA(buffer, 19));
  EXPECT_EQ(19u, GetSystemDirectoryA(buffer, 20));
  EXPECT_STREQ("C:\\WINDOWS\\system32", buffer);
}

TEST_F(SimFiles, SetCurrentDirectoryTakesFoldersOnly) {
  machine.files.MakeDirectories("C:\\work\\Wild");
  struct Case {
    const char* path;
    bool ok;
    DWORD error;
    const char* current;
  };
  const Case cases[] = {
      {"C:\\work\\missing", false, ERROR_FILE_NOT_FOUND, "C:\\work"},
      {"C:\\work\\no\\such", false, ERROR_PATH_NOT_FOUND, "C:\\work"},
      {"C:\\work\\old.txt", false, ERROR_DIRECTORY, "C:\\work"},
      {"wild\\", true, 0, "C:\\work\\wild"},
      {"..", true, 0, "C:\\work"},
      {"c:/work/WILD/", true, 0, "c:\\work\\WILD"},
      {"C:\\", true, 0, "C:\\"},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_EQ(c.ok, !!SetCurrentDirectoryA(c.path)) << c.path;
    if (!c.ok) {
      EXPECT_EQ(c.error, GetLastError()) << c.path;
    }
    char buffer[MAX_PATH];
    GetCurrentDirectoryA(sizeof buffer, buffer);
    EXPECT_STREQ(c.current, buffer) << c.path;
  }
}

TEST_F(SimFiles, GetFullPathNamePointsAtTheLastName) {
  char buffer[MAX_PATH];
  char* part = nullptr;
  EXPECT_EQ(17u, GetFullPathNameA("sub\\x.txt", sizeof buffer, buffer, &part));
  EXPECT_STREQ("C:\\work\\sub\\x.txt", buffer);
  EXPECT_STREQ("x.txt", part);
  EXPECT_EQ(8u, GetFullPathNameA("C:\\work\\", sizeof buffer, buffer, &part));
  EXPECT_EQ(nullptr, part);
  std::memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(18u, GetFullPathNameA("sub\\x.txt", 17, buffer, &part));
  EXPECT_EQ('Z', buffer[0]);
  const std::string longName(300, 'n');
  EXPECT_EQ(0u, GetFullPathNameA(longName.c_str(), sizeof buffer, buffer, &part));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
  // The result must fit MAX_PATH: 260 characters do not.
  const std::string exact = std::string(260 - 8, 'e');
  EXPECT_EQ(0u, GetFullPathNameA(exact.c_str(), sizeof buffer, buffer, &part));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
  EXPECT_EQ(259u, GetFullPathNameA(exact.substr(1).c_str(), sizeof buffer, buffer, &part));
}

TEST_F(SimFiles, GetModuleFileNameTruncatesAsTheVersionDocuments) {
  char buffer[MAX_PATH];
  EXPECT_EQ(16u, GetModuleFileNameA(nullptr, buffer, sizeof buffer));
  EXPECT_STREQ("C:\\work\\prog.exe", buffer);
  struct Case {
    DWORD major;
    DWORD size;
    const char* text;  // what the buffer holds (XP: no NUL)
    DWORD error;
  };
  const Case cases[] = {
      {5, 5, "C:\\woZ", ERROR_SUCCESS},
      {5, 16, "C:\\work\\prog.exeZ", ERROR_SUCCESS},
      {5, 0, "Z", ERROR_SUCCESS},
      {6, 5, "C:\\w", ERROR_INSUFFICIENT_BUFFER},
      {6, 16, "C:\\work\\prog.ex", ERROR_INSUFFICIENT_BUFFER},
      {6, 0, "Z", ERROR_INSUFFICIENT_BUFFER},
  };
  for (const auto& c : cases) {
    machine.os.majorVersion = c.major;
    std::memset(buffer, 'Z', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    SetLastError(kUnset);
    EXPECT_EQ(c.size, GetModuleFileNameA(nullptr, buffer, c.size)) << c.major << " " << c.size;
    EXPECT_EQ(c.error, GetLastError()) << c.major << " " << c.size;
    EXPECT_EQ(c.text, std::string(buffer).substr(0, std::strlen(c.text)))
        << c.major << " " << c.size;
  }
  EXPECT_EQ(16u, GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, sizeof buffer));
}

// ---- Handles and faults ------------------------------------------------------------------

struct OtherObject : sim::HandleObject {
  explicit OtherObject(bool* destroyed) : destroyed_(destroyed) {}
  ~OtherObject() override { *destroyed_ = true; }
  bool* destroyed_;
};

TEST_F(SimFiles, CloseHandleClosesEveryKindOfHandleOnce) {
  bool destroyed = false;
  const uintptr_t other = scope.process().handles.Add(std::make_shared<OtherObject>(&destroyed));
  EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(other)));
  EXPECT_TRUE(destroyed);
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("C:\\work\\*", &data);
  EXPECT_TRUE(CloseHandle(search));
  HANDLE file =
      CreateFileA("C:\\work\\old.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(1u, scope.process().handles.CountOf<sim::FileHandle>());
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(0u, scope.process().handles.Count());
  EXPECT_TRUE(Node("C:\\work\\old.txt")->openers.empty());
  for (HANDLE h : {file, static_cast<HANDLE>(nullptr)}) {
    SetLastError(kUnset);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  }
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));  // a pseudo handle
}

TEST_F(SimFiles, InjectedFaultsFailTheNamedCallOnItsPath) {
  machine.faults.Add({"CreateFileA", ERROR_DISK_FULL, 0, "\\work\\full"});
  machine.faults.Add({"ReadFile", ERROR_GEN_FAILURE, 0, "old.txt"});
  machine.faults.Add({"FindFirstFileA", ERROR_ACCESS_DENIED, 2, ""});
  machine.faults.Add({"CopyFileA", ERROR_WRITE_PROTECT, 0, "protected"});
  EXPECT_FALSE(Open("C:\\work\\full.txt", GENERIC_WRITE, 0, CREATE_ALWAYS).valid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
  EXPECT_FALSE(Node("C:\\work\\full.txt"));
  File f = Open("C:\\work\\old.txt", GENERIC_READ);
  ASSERT_TRUE(f.valid());
  char buffer[4];
  DWORD n = 0;
  EXPECT_FALSE(ReadFile(f.get(), buffer, 3, &n, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
  f.Close();
  EXPECT_EQ(1u, Find("C:\\work\\old.txt").size());
  DWORD error = 0;
  EXPECT_TRUE(Find("C:\\work\\old.txt", &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
  EXPECT_EQ(1u, Find("C:\\work\\old.txt").size());
  EXPECT_FALSE(CopyFileA("C:\\work\\old.txt", "C:\\work\\protected.txt", FALSE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_PROTECT), GetLastError());
  EXPECT_TRUE(CopyFileA("C:\\work\\old.txt", "C:\\work\\free.txt", FALSE));
}

// ---- Time conversions --------------------------------------------------------------------

TEST(SimFileTime, ConversionsAgreeWithWindows) {
  sim::Machine machine;
  sim::ProcessScope scope(machine);
  struct Case {
    uint64_t ticks;
    SYSTEMTIME time;  // year, month, day of week, day, hour, minute, second, ms
  };
  // The last two measured under Wine 8.
  const Case cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
      {128883168000000000ull, {2009, 6, 1, 1, 8, 0, 0, 0}},
      {(30007988ull << 32) + 3073739552ull, {2009, 6, 1, 1, 12, 30, 15, 250}},
      {0x7fffffffffffffffull, {30828, 9, 4, 14, 2, 48, 5, 477}},
      {(29000000ull << 32) + 12345670ull, {}},  // round trip only
  };
  for (const auto& c : cases) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(c.ticks);
    ft.dwHighDateTime = static_cast<DWORD>(c.ticks >> 32);
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << c.ticks;
    if (c.time.wYear) {
      EXPECT_EQ(0, std::memcmp(&c.time, &st, sizeof st))
          << c.ticks << ": " << st.wYear << "-" << st.wMonth << "-" << st.wDay;
    }
    FILETIME back;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
    EXPECT_EQ(c.ticks / 10000 * 10000, Ticks(back)) << c.ticks;  // milliseconds survive
  }
}

TEST(SimFileTime, InvalidTimesAreRefused) {
  sim::Machine machine;
  sim::ProcessScope scope(machine);
  const SYSTEMTIME bad[] = {
      {2009, 2, 0, 29, 0, 0, 0, 0},   {1900, 2, 0, 29, 0, 0, 0, 0},   {1600, 12, 0, 31, 0, 0, 0, 0},
      {2009, 13, 0, 1, 0, 0, 0, 0},   {2009, 0, 0, 1, 0, 0, 0, 0},    {2009, 1, 0, 0, 0, 0, 0, 0},
      {2009, 1, 0, 1, 24, 0, 0, 0},   {2009, 1, 0, 1, 0, 60, 0, 0},   {2009, 1, 0, 1, 0, 0, 60, 0},
      {2009, 1, 0, 1, 0, 0, 0, 1000}, {30828, 12, 0, 31, 0, 0, 0, 0},
  };
  for (const auto& t : bad) {
    FILETIME ft;
    SetLastError(kUnset);
    EXPECT_FALSE(SystemTimeToFileTime(&t, &ft)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  }
  const SYSTEMTIME good[] = {{2008, 2, 0, 29, 0, 0, 0, 0},
                             {2000, 2, 0, 29, 23, 59, 59, 999},
                             {30828, 1, 0, 1, 0, 0, 0, 0}};
  for (const auto& t : good) {
    FILETIME ft;
    EXPECT_TRUE(SystemTimeToFileTime(&t, &ft)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
  }
  const FILETIME tooLarge = {0, 0x80000000u};
  SYSTEMTIME st;
  EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &st));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(SimFileTime, TheClockIsTheMachinesAndLocalTimeIsUtc) {
  sim::Machine machine;
  machine.SetClock(128883168000000000ull + 12345);
  sim::ProcessScope scope(machine);
  FILETIME now, local;
  GetSystemTimeAsFileTime(&now);
  EXPECT_EQ(machine.Now(), Ticks(now));
  ASSERT_TRUE(FileTimeToLocalFileTime(&now, &local));
  EXPECT_EQ(Ticks(now), Ticks(local));
  const FILETIME earlier = {now.dwLowDateTime - 1, now.dwHighDateTime};
  EXPECT_EQ(-1, CompareFileTime(&earlier, &now));
  EXPECT_EQ(1, CompareFileTime(&now, &earlier));
  EXPECT_EQ(0, CompareFileTime(&now, &now));
  const FILETIME high = {0, now.dwHighDateTime + 1};
  EXPECT_EQ(-1, CompareFileTime(&now, &high));
}

}  // namespace
