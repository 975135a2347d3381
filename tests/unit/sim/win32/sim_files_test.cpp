// The simulated KERNEL32 files and folders: CreateFileA's dispositions and sharing,
// reading and writing, time stamps, attributes, copying, moving, deleting and folders.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"
#include "tests/unit/sim/win32/sim_files_fixture.h"

namespace {

using namespace sim_files_test;

// ---- CreateFileA ------------------------------------------------------------------------

TEST_F(SimFiles, CreateDispositionsActAsDocumented) {
  struct Case {
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;          // the last error afterwards
    const char* content;  // the file's content afterwards
  };
  const Case cases[] = {
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<missing>"},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<missing>"},
      {0, true, false, ERROR_INVALID_PARAMETER, "old"},
      {6, false, false, ERROR_INVALID_PARAMETER, "<missing>"},
  };
  const std::string path = "C:\\work\\d.txt";
  for (const auto& c : cases) {
    DeleteFileA(path.c_str());
    if (c.exists) Put(path, "old");
    SetLastError(kUnset);
    File f = Open(path, GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
    const DWORD error = GetLastError();
    EXPECT_EQ(c.opens, f.valid()) << c.disposition << " exists=" << c.exists;
    EXPECT_EQ(c.error, error) << c.disposition << " exists=" << c.exists;
    f.Close();
    EXPECT_EQ(c.content, Content(path)) << c.disposition << " exists=" << c.exists;
  }
}

TEST_F(SimFiles, CreateFileRefusesWhatWindowsRefuses) {
  machine.files.MakeDirectories("C:\\work\\folder");
  Put("C:\\work\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
  Put("C:\\work\\hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN);
  struct Case {
    const char* path;
    DWORD access;
    DWORD disposition;
    DWORD attributes;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\work\\folder", GENERIC_READ, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"C:\\work\\folder\\", GENERIC_READ, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"C:\\work\\folder", GENERIC_READ, CREATE_NEW, 0, ERROR_FILE_EXISTS},
      {"C:\\work\\folder", GENERIC_WRITE, CREATE_ALWAYS, 0, ERROR_ACCESS_DENIED},
      {"C:\\", GENERIC_READ, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"C:\\work\\missing\\x.txt", GENERIC_WRITE, CREATE_ALWAYS, 0, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\old.txt\\x", GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\old.txt\\", GENERIC_READ, OPEN_EXISTING, 0, ERROR_INVALID_NAME},
      {"C:\\work\\new\\", GENERIC_WRITE, CREATE_NEW, 0, ERROR_INVALID_NAME},
      {"C:\\work\\a*b", GENERIC_WRITE, CREATE_NEW, 0, ERROR_INVALID_NAME},
      {"C:\\work\\a<b", GENERIC_WRITE, CREATE_NEW, 0, ERROR_INVALID_NAME},
      {"Q:\\x", GENERIC_WRITE, CREATE_NEW, 0, ERROR_PATH_NOT_FOUND},
      {"", GENERIC_WRITE, CREATE_NEW, 0, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\ro.txt", GENERIC_WRITE, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"C:\\work\\ro.txt", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, 0, ERROR_ACCESS_DENIED},
      {"C:\\work\\ro.txt", GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY,
       ERROR_ACCESS_DENIED},
      {"C:\\work\\ro.txt", GENERIC_WRITE, TRUNCATE_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"C:\\work\\hidden.txt", GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
       ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    File f = Open(c.path, c.access, 0, c.disposition, c.attributes);
    EXPECT_FALSE(f.valid()) << c.path << " " << c.disposition;
    EXPECT_EQ(c.error, GetLastError()) << c.path << " " << c.disposition;
  }
  EXPECT_EQ("ro", Content("C:\\work\\ro.txt"));
  EXPECT_EQ("h", Content("C:\\work\\hidden.txt"));
  EXPECT_EQ(0u, scope.process().handles.Count());
}

TEST_F(SimFiles, AReadOnlyFileOpensForReading) {
  Put("C:\\work\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
  File f = Open("C:\\work\\ro.txt", GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(f.valid());
  char buffer[8] = {};
  DWORD n = 0;
  EXPECT_TRUE(ReadFile(f.get(), buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ("ro", std::string(buffer, n));
}

TEST_F(SimFiles, ANewFileTakesTheGivenAttributesAndArchive) {
  File f = Open("C:\\work\\new.txt", GENERIC_WRITE, 0, CREATE_NEW,
                FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY |
                    FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(f.valid());
  // The handle that made it may still write, though the file is read-only.
  EXPECT_EQ("1", Write(f.get(), "x"));
  f.Close();
  EXPECT_EQ(
      static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
      GetFileAttributesA("C:\\work\\new.txt"));
  EXPECT_FALSE(Open("C:\\work\\new.txt", GENERIC_WRITE).valid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(SimFiles, OverwritingAHiddenFileThatSaysSoKeepsItHidden) {
  Put("C:\\work\\hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN);
  File f = Open("C:\\work\\hidden.txt", GENERIC_WRITE, 0, CREATE_ALWAYS,
                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  ASSERT_TRUE(f.valid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  f.Close();
  EXPECT_EQ(
      static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE),
      GetFileAttributesA("C:\\work\\hidden.txt"));
  EXPECT_EQ("", Content("C:\\work\\hidden.txt"));
}

TEST_F(SimFiles, NamesResolveWithoutRegardToCaseAndKeepTheirStoredCase) {
  File f = Open("c:/WORK/OLD.TXT", GENERIC_READ);
  ASSERT_TRUE(f.valid());
  f.Close();
  // Relative to the current folder, trailing dots dropped, "." and ".." applied.
  EXPECT_TRUE(Open("old.txt.", GENERIC_READ).valid());
  EXPECT_TRUE(Open(".\\sub\\..\\OLD.txt", GENERIC_READ).valid());
  File made = Open("New File.TXT", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_TRUE(made.valid());
  ASSERT_TRUE(Node("C:\\work\\new file.txt"));
  EXPECT_EQ("New File.TXT", Node("C:\\work\\new file.txt")->name);
}

// ---- Sharing ------------------------------------------------------------------------------

TEST_F(SimFiles, SharingModesDecideWhetherASecondOpenJoins) {
  struct Case {
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool allowed;
  };
  const DWORD R = GENERIC_READ, W = GENERIC_WRITE, D = DELETE;
  const DWORD SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;
  const Case cases[] = {
      {R, 0, R, SR | SW | SD, false},
      {R, 0, 0, SR | SW | SD, true},  // an open without data access meets no sharing rule
      {0, 0, R | W, 0, true},
      {R, SR, R, SR, true},
      {R, SR, W, SR, false},
      {R, SR | SW, W, SR | SW, true},
      {R, SW, R, SR | SW, false},
      {R, SR, R, SW, false},  // the second must let the first go on reading
      {W, SR | SW, R, SR, false},
      {D, SR | SW | SD, R, SR | SW, false},
      {R, SR | SW | SD, D, SR | SW | SD, true},
      {R | W, SR | SW | SD, R | W, SR | SW | SD, true},
  };
  for (const auto& c : cases) {
    File first = Open("C:\\work\\old.txt", c.firstAccess, c.firstShare);
    ASSERT_TRUE(first.valid());
    SetLastError(kUnset);
    File second = Open("C:\\work\\old.txt", c.secondAccess, c.secondShare);
    EXPECT_EQ(c.allowed, second.valid()) << std::hex << c.firstAccess << "/" << c.firstShare
                                         << " then " << c.secondAccess << "/" << c.secondShare;
    if (!c.allowed) {
      EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    }
    second.Close();
    first.Close();
    // Once the first handle is gone, the second open always joins.
    EXPECT_TRUE(Open("C:\\work\\old.txt", c.secondAccess, c.secondShare).valid());
  }
}

TEST_F(SimFiles, AFileOpenWithoutShareDeleteCannotBeDeletedOrMoved) {
  File f = Open("C:\\work\\old.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(f.valid());
  EXPECT_FALSE(DeleteFileA("C:\\work\\old.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_FALSE(MoveFileA("C:\\work\\old.txt", "C:\\work\\moved.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  f.Close();
  EXPECT_TRUE(DeleteFileA("C:\\work\\old.txt"));
}

TEST_F(SimFiles, DeletingAFileOthersHoldOpenWaitsForTheLastHandle) {
  File a = Open("C:\\work\\old.txt", GENERIC_READ, kShareAll);
  File b = Open("C:\\work\\old.txt", GENERIC_READ, kShareAll);
  ASSERT_TRUE(a.valid() && b.valid());
  ASSERT_TRUE(DeleteFileA("C:\\work\\old.txt"));
  // The name stays, but nothing can open it, read its attributes or delete it again.
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("C:\\work\\old.txt", &data);
  EXPECT_NE(INVALID_HANDLE_VALUE, search);
  FindClose(search);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\work\\old.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(SetFileAttributesA("C:\\work\\old.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(CopyFileA("C:\\work\\old.txt", "C:\\work\\copy.txt", FALSE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(Open("C:\\work\\old.txt", GENERIC_READ, kShareAll).valid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(Open("C:\\work\\old.txt", GENERIC_WRITE, 0, CREATE_NEW).valid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(DeleteFileA("C:\\work\\old.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  a.Close();
  EXPECT_TRUE(Node("C:\\work\\old.txt"));
  // The open handles still read the contents.
  char buffer[4] = {};
  DWORD n = 0;
  EXPECT_TRUE(ReadFile(b.get(), buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ("old", std::string(buffer, n));
  b.Close();
  EXPECT_FALSE(Node("C:\\work\\old.txt"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\work\\old.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// ---- Reading and writing --------------------------------------------------------------------

TEST_F(SimFiles, ThePositionMovesReadsAndWritesAsOnWindows) {
  File f = Open("C:\\work\\rw.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_TRUE(f.valid());
  EXPECT_EQ("6", Write(f.get(), "abcdef"));
  SetLastError(kUnset);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(f.get(), -10, nullptr, FILE_CURRENT));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
  EXPECT_EQ(6u, SetFilePointer(f.get(), 0, nullptr, FILE_CURRENT));  // unmoved
  EXPECT_EQ(10u, SetFilePointer(f.get(), 10, nullptr, FILE_BEGIN));
  char buffer[16];
  DWORD n = 99;
  SetLastError(kUnset);
  EXPECT_TRUE(ReadFile(f.get(), buffer, sizeof buffer, &n, nullptr));  // past the end
  EXPECT_EQ(0u, n);
  EXPECT_EQ(kUnset, GetLastError());
  EXPECT_EQ("1", Write(f.get(), "Z"));
  EXPECT_EQ(11u, GetFileSize(f.get(), nullptr));
  EXPECT_EQ(std::string("abcdef\0\0\0\0Z", 11), Content("C:\\work\\rw.bin"));
  EXPECT_EQ(2u, SetFilePointer(f.get(), -9, nullptr, FILE_END));
  EXPECT_TRUE(ReadFile(f.get(), buffer, 3, &n, nullptr));
  EXPECT_EQ("cde", std::string(buffer, n));
  EXPECT_EQ(3u, SetFilePointer(f.get(), 3, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(f.get()));
  LONG high = 0;
  DWORD sizeHigh = 7;
  EXPECT_EQ(3u, GetFileSize(f.get(), &sizeHigh));
  EXPECT_EQ(0u, sizeHigh);
  EXPECT_EQ(3u, SetFilePointer(f.get(), 0, &high, FILE_END));
  EXPECT_EQ(0, high);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(f.get(), 0, nullptr, 3));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  // An OVERLAPPED offset reads from there on a synchronous handle.
  OVERLAPPED at = {};
  at.Offset = 1;
  EXPECT_TRUE(ReadFile(f.get(), buffer, 8, &n, &at));
  EXPECT_EQ("bc", std::string(buffer, n));
}

TEST_F(SimFiles, AHandleReadsAndWritesOnlyWithTheAccessItWasOpenedWith) {
  File reader = Open("C:\\work\\old.txt", GENERIC_READ, kShareAll);
  File writer = Open("C:\\work\\old.txt", GENERIC_WRITE, kShareAll);
  ASSERT_TRUE(reader.valid() && writer.valid());
  DWORD n = 0;
  char buffer[4];
  EXPECT_FALSE(WriteFile(reader.get(), "x", 1, &n, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(ReadFile(writer.get(), buffer, 1, &n, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(SetEndOfFile(reader.get()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ("old", Content("C:\\work\\old.txt"));
}

TEST_F(SimFiles, HandleCallsOnSomethingThatIsNoFileFailWithAnInvalidHandle) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("C:\\work\\*", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  for (HANDLE h : {static_cast<HANDLE>(nullptr), search, reinterpret_cast<HANDLE>(0x7777)}) {
    char buffer[4];
    DWORD n = 0;
    FILETIME t = {};
    SetLastError(kUnset);
    EXPECT_FALSE(ReadFile(h, buffer, 1, &n, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(WriteFile(h, buffer, 1, &n, nullptr));
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(h, nullptr));
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(h, 0, nullptr, FILE_BEGIN));
    EXPECT_FALSE(SetEndOfFile(h));
    EXPECT_FALSE(GetFileTime(h, &t, nullptr, nullptr));
    EXPECT_FALSE(SetFileTime(h, &t, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  }
  EXPECT_TRUE(FindClose(search));
}

// ---- Time stamps ------------------------------------------------------------------------------

TEST_F(SimFiles, TimeStampsFollowTheMachineClock) {
  const uint64_t created = machine.Now();
  File f = Open("C:\\work\\t.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_TRUE(f.valid());
  EXPECT_EQ(created, Node("C:\\work")->lastWriteTime);  // a new entry moves its folder's time
  machine.AdvanceClock(60);
  EXPECT_EQ("1", Write(f.get(), "x"));
  FILETIME c, a, w;
  ASSERT_TRUE(GetFileTime(f.get(), &c, &a, &w));
  EXPECT_EQ(created, Ticks(c));
  EXPECT_EQ(machine.Now(), Ticks(w));
  machine.AdvanceClock(60);
  char buffer[2];
  DWORD n = 0;
  SetFilePointer(f.get(), 0, nullptr, FILE_BEGIN);
  ASSERT_TRUE(ReadFile(f.get(), buffer, 1, &n, nullptr));
  ASSERT_TRUE(GetFileTime(f.get(), nullptr, &a, &w));
  EXPECT_EQ(machine.Now(), Ticks(a));
  EXPECT_EQ(machine.Now() - 600000000ull, Ticks(w));
}

TEST_F(SimFiles, ATimeSetThroughAHandleIsNotMovedByLaterWrites) {
  File f = Open("C:\\work\\old.txt", GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(f.valid());
  FILETIME set;
  set.dwHighDateTime = 29000000;
  set.dwLowDateTime = 12345670;
  const FILETIME zero = {0, 0};
  FILETIME before;
  ASSERT_TRUE(GetFileTime(f.get(), &before, nullptr, nullptr));
  // A zero time leaves that time as it is.
  ASSERT_TRUE(SetFileTime(f.get(), &zero, nullptr, &set));
  machine.AdvanceClock(3600);
  EXPECT_EQ("1", Write(f.get(), "y"));
  FILETIME c, w;
  ASSERT_TRUE(GetFileTime(f.get(), &c, nullptr, &w));
  EXPECT_EQ(Ticks(before), Ticks(c));
  EXPECT_EQ(Ticks(set), Ticks(w));
  f.Close();
  File reader = Open("C:\\work\\old.txt", GENERIC_READ);
  EXPECT_FALSE(SetFileTime(reader.get(), nullptr, nullptr, &set));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// ---- Attributes ------------------------------------------------------------------------------

TEST_F(SimFiles, SetFileAttributesTakesNormalAloneAsClearingEverything) {
  machine.files.MakeDirectories("C:\\work\\folder");
  struct Case {
    const char* path;
    DWORD set;
    DWORD expected;
  };
  const Case cases[] = {
      {"C:\\work\\old.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN,
       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
      {"C:\\work\\old.txt", FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_READONLY,
       FILE_ATTRIBUTE_READONLY},
      {"C:\\work\\old.txt", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
      {"C:\\work\\old.txt", FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE},
      {"C:\\work\\old.txt", 0, FILE_ATTRIBUTE_NORMAL},
      {"C:\\work\\old.txt", FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_NORMAL},
      {"C:\\work\\old.txt", 0x80000 | FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_SYSTEM},
      {"C:\\work\\folder", FILE_ATTRIBUTE_READONLY,
       FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY},
      {"C:\\work\\folder", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_DIRECTORY},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(SetFileAttributesA(c.path, c.set)) << c.path << " " << c.set;
    EXPECT_EQ(c.expected, GetFileAttributesA(c.path)) << c.path << " " << c.set;
  }
}

TEST_F(SimFiles, GetFileAttributesReportsWhyANameHasNone) {
  machine.files.MakeDirectories("C:\\work\\folder");
  struct Case {
    const char* path;
    DWORD result;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\work\\missing", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {"C:\\work\\missing\\x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\old.txt\\x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\old.txt\\", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\fold*", INVALID_FILE_ATTRIBUTES, ERROR_INVALID_NAME},
      {"Q:\\x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\folder\\", FILE_ATTRIBUTE_DIRECTORY, kUnset},
      {"C:\\", FILE_ATTRIBUTE_DIRECTORY, kUnset},
      {"old.txt", FILE_ATTRIBUTE_ARCHIVE, kUnset},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_EQ(c.result, GetFileAttributesA(c.path)) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
}

// ---- Copying ---------------------------------------------------------------------------------

TEST_F(SimFiles, CopyFileCopiesContentsAttributesAndWriteTime) {
  Put("C:\\work\\src.txt", "source", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const uint64_t written = machine.Now();
  machine.AdvanceClock(3600);
  ASSERT_TRUE(CopyFileA("C:\\work\\src.txt", "C:\\work\\copy.txt", TRUE));
  auto copy = Node("C:\\work\\copy.txt");
  ASSERT_TRUE(copy);
  EXPECT_EQ("source", copy->content);
  EXPECT_EQ(static_cast<uint32_t>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_ARCHIVE),
            copy->attributes);
  EXPECT_EQ(written, copy->lastWriteTime);
  EXPECT_EQ(machine.Now(), copy->creationTime);
}

TEST_F(SimFiles, CopyFileOverAnExistingFileKeepsItsCreationTimeAndHiddenness) {
  Put("C:\\work\\dst.txt", "target", FILE_ATTRIBUTE_HIDDEN);
  const uint64_t created = machine.Now();
  machine.AdvanceClock(60);
  ASSERT_TRUE(CopyFileA("C:\\work\\old.txt", "C:\\work\\dst.txt", FALSE));
  auto dst = Node("C:\\work\\dst.txt");
  EXPECT_EQ("old", dst->content);
  EXPECT_EQ(created, dst->creationTime);
  EXPECT_EQ(static_cast<uint32_t>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), dst->attributes);
}

TEST_F(SimFiles, CopyFileFailsAsWindowsDoes) {
  machine.files.MakeDirectories("C:\\work\\folder");
  Put("C:\\work\\exists.txt", "exists");
  Put("C:\\work\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
  struct Case {
    const char* from;
    const char* to;
    BOOL failIfExists;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\work\\old.txt", "C:\\work\\exists.txt", TRUE, ERROR_FILE_EXISTS},
      {"C:\\work\\old.txt", "C:\\work\\ro.txt", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\work\\missing.txt", "C:\\work\\x.txt", FALSE, ERROR_FILE_NOT_FOUND},
      {"C:\\work\\no\\such.txt", "C:\\work\\x.txt", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\old.txt", "C:\\work\\no\\x.txt", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\work\\folder", "C:\\work\\x.txt", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\work\\old.txt", "C:\\work\\folder", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\work\\old.txt", "C:\\work\\OLD.TXT", FALSE, ERROR_SHARING_VIOLATION},
      {"C:\\work\\*.txt", "C:\\work\\x.txt", FALSE, ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_FALSE(CopyFileA(c.from, c.to, c.failIfExists)) << c.from << " -> " << c.to;
    EXPECT_EQ(c.error, GetLastError()) << c.from << " -> " << c.to;
  }
  EXPECT_EQ("exists", Content("C:\\work\\exists.txt"));
  EXPECT_EQ("ro", Content("C:\\work\\ro.txt"));
  EXPECT_FALSE(Node("C:\\work\\x.txt"));
}

TEST_F(SimFiles, CopyFileMeetsTheSharingOfOpenHandles) {
  Put("C:\\work\\dst.txt", "target");
  {
    File source = Open("C:\\work\\old.txt", GENERIC_READ, FILE_SHARE_READ);
    EXPECT_TRUE(CopyFileA("C:\\work\\old.txt", "C:\\work\\a.txt", FALSE));
  }
  {
    File exclusive = Open("C:\\work\\old.txt", GENERIC_READ, 0);
    EXPECT_FALSE(CopyFileA("C:\\work\\old.txt", "C:\\work\\b.txt", FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  }
  {
    File target = Open("C:\\work\\dst.txt", GENERIC_READ, FILE_SHARE_READ);
    EXPECT_FALSE(CopyFileA("C:\\work\\old.txt", "C:\\work\\dst.txt", FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  }
  EXPECT_EQ("target", Content("C:\\work\\dst.txt"));
}

// ---- Moving ----------------------------------------------------------------------------------

TEST_F(SimFiles, MoveFileRenamesFilesAndFoldersKeepingWhatTheyHold) {
  Put("C:\\work\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
  Put("C:\\work\\tree\\sub\\f.txt", "deep");
  const uint64_t created = Node("C:\\work\\ro.txt")->creationTime;
  machine.AdvanceClock(60);
  // A read-only file can be renamed.
  ASSERT_TRUE(MoveFileA("C:\\work\\ro.txt", "C:\\work\\tree\\Moved.TXT"));
  auto moved = Node("C:\\work\\tree\\moved.txt");
  ASSERT_TRUE(moved);
  EXPECT_EQ("Moved.TXT", moved->name);
  EXPECT_EQ(static_cast<uint32_t>(FILE_ATTRIBUTE_READONLY), moved->attributes);
  EXPECT_EQ(created, moved->creationTime);
  EXPECT_EQ(machine.Now(), Node("C:\\work")->lastWriteTime);
  // A change of case alone renames.
  ASSERT_TRUE(MoveFileA("C:\\work\\tree\\moved.txt", "C:\\work\\tree\\MOVED.txt"));
  EXPECT_EQ("MOVED.txt", Node("C:\\work\\tree\\moved.txt")->name);
  ASSERT_TRUE(MoveFileA("C:\\work\\tree", "C:\\work\\renamed"));
  EXPECT_EQ("deep", Content("C:\\work\\renamed\\sub\\f.txt"));
  EXPECT_EQ("C:\\work\\renamed\\sub\\f.txt", Node("C:\\work\\renamed\\sub\\f.txt")->FullPath());
  EXPECT_FALSE(Node("C:\\work\\tree"));
  // Files may change drives; folders may not.
  machine.files.AddDrive('D');
  EXPECT_TRUE(MoveFileA("C:\\work\\old.txt", "D:\\old.txt"));
  EXPECT_EQ("old", Content("D:\\old.txt"));
  EXPECT_FALSE(MoveFileA("C:\\work\\renamed", "D:\\renamed"));
  EXPECT_EQ(17u, GetLastError());  // ERROR_NOT_SAME_DEVICE
}

TEST_F(SimFiles, MoveFileFailsAsWindowsDoes) {
  Put("C:\\work\\exists.txt", "exists");
  Put("C:\\work\\tree\\open.txt", "open");
  machine.files.MakeDirectories("C:\\work\\cwd");
  struct Case {
    const char* from;
    const char* to;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\work\\old.txt", "C:\\work\\exists.txt", ERROR_ALREADY_EXISTS},
      {"C:\\work\\missing.txt", "C:\\work\\x.txt", ERROR_FILE_NOT_FOUND},
      {"C:\\work\\no\\such.txt", "C:\\work\\x.txt", ERROR_PATH_NOT_FOUND},
      {"C:\\work\\old.txt", "C:\\work\\no\\x.txt", ERROR_PATH_NOT_FOUND},
      {"C:\\work", "C:\\work\\tree\\work", ERROR_INVALID_PARAMETER},
      {"C:\\work\\tree", "C:\\work\\tree2", ERROR_ACCESS_DENIED},  // a file inside is open
      {"C:\\work\\cwd", "C:\\work\\cwd2", ERROR_SHARING_VIOLATION},
      {"C:\\work\\old.txt", "C:\\", ERROR_ALREADY_EXISTS},
  };
  File open = Open("C:\\work\\tree\\open.txt", GENERIC_READ, kShareAll);
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\work\\cwd"));
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_FALSE(MoveFileA(c.from, c.to)) << c.from << " -> " << c.to;
    EXPECT_EQ(c.error, GetLastError()) << c.from << " -> " << c.to;
  }
  EXPECT_EQ("old", Content("C:\\work\\old.txt"));
  EXPECT_EQ("exists", Content("C:\\work\\exists.txt"));
}

// ---- Deleting --------------------------------------------------------------------------------

TEST_F(SimFiles, DeleteFileFailsAsWindowsDoes) {
  machine.files.MakeDirectories("C:\\work\\folder");
  Put("C:\\work\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
  struct Case {
    const char* path;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\work\\missing.txt", ERROR_FILE_NOT_FOUND},
      {"C:\\work\\no\\x.txt", ERROR_PATH_NOT_FOUND},
      {"C:\\work\\folder", ERROR_ACCESS_DENIED},
      {"C:\\work\\ro.txt", ERROR_ACCESS_DENIED},
      {"C:\\work\\*.txt", ERROR_INVALID_NAME},
      {"C:\\work\\old.txt\\", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_FALSE(DeleteFileA(c.path)) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  EXPECT_TRUE(Node("C:\\work\\ro.txt"));
  ASSERT_TRUE(SetFileAttributesA("C:\\work\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA("C:\\work\\ro.txt"));
  EXPECT_FALSE(Node("C:\\work\\ro.txt"));
}

// ---- Folders ---------------------------------------------------------------------------------

TEST_F(SimFiles, CreateDirectoryFailsAsWindowsDoes) {
  struct Case {
    const char* path;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\work", ERROR_ALREADY_EXISTS},          {"C:\\work\\old.txt", ERROR_ALREADY_EXISTS},
      {"C:\\work\\no\\new", ERROR_PATH_NOT_FOUND}, {"C:\\", ERROR_ALREADY_EXISTS},
      {"C:\\work\\a*", ERROR_INVALID_NAME},        {"Q:\\new", ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_FALSE(CreateDirectoryA(c.path, nullptr)) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  ASSERT_TRUE(CreateDirectoryA("new\\", nullptr));  // relative, with a trailing separator
  auto made = Node("C:\\work\\new");
  ASSERT_TRUE(made);
  EXPECT_TRUE(made->isDirectory);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA("C:\\work\\new"));
  EXPECT_EQ(machine.Now(), made->creationTime);
}

TEST_F(SimFiles, RemoveDirectoryFailsAsWindowsDoes) {
  machine.files.MakeDirectories("C:\\work\\ro");
  ASSERT_TRUE(SetFileAttributesA("C:\\work\\ro", FILE_ATTRIBUTE_READONLY));
  machine.files.MakeDirectories("C:\\work\\current");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\work\\current"));
  struct Case {
    const char* path;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\work", ERROR_DIR_NOT_EMPTY},
      {"C:\\work\\old.txt", ERROR_DIRECTORY},
      {"C:\\work\\missing", ERROR_FILE_NOT_FOUND},
      {"C:\\work\\no\\such", ERROR_PATH_NOT_FOUND},
      {"C:\\work\\ro", ERROR_ACCESS_DENIED},
      {"C:\\work\\current", ERROR_SHARING_VIOLATION},
      {"C:\\", ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_FALSE(RemoveDirectoryA(c.path)) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  ASSERT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_TRUE(RemoveDirectoryA("current\\"));
  EXPECT_FALSE(Node("C:\\work\\current"));
}

}  // namespace
