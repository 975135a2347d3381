// Files and folders as the programs rely on them: wildcards, attributes, read-only
// files, copying, moving, sharing, folders, MAX_PATH, current folder and module names,
// and time conversions.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "env/environment.h"

namespace conformance {
namespace {

// A file handle closed on every path.
class ScopedFile {
 public:
  explicit ScopedFile(HANDLE h) : h_(h) {}
  ~ScopedFile() { Close(); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

// Puts the current folder back however a case ends.
class CurrentFolderKeeper {
 public:
  CurrentFolderKeeper() { GetCurrentDirectoryA(sizeof saved_, saved_); }
  ~CurrentFolderKeeper() { SetCurrentDirectoryA(saved_); }

 private:
  char saved_[MAX_PATH] = {};
};

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const DWORD kUnset = 4711;  // a last error no call sets

class Files : public ConformanceTest {
 protected:
  std::string In(const std::string& name) const { return scratchFolder + "\\" + name; }

  HANDLE Open(const std::string& path, DWORD access, DWORD share = 0,
              DWORD disposition = OPEN_EXISTING, DWORD attributes = 0) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
  }

  // The names FindFirstFileA / FindNextFileA report, and the error that ended the search.
  std::vector<std::string> Find(const std::string& pattern, DWORD* error) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    SetLastError(kUnset);
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
      *error = GetLastError();
      return names;
    }
    do names.push_back(data.cFileName);
    while (FindNextFileA(h, &data));
    *error = GetLastError();
    FindClose(h);
    return names;
  }

  static std::set<std::string> AsSet(const std::vector<std::string>& names) {
    return std::set<std::string>(names.begin(), names.end());
  }
};

// Under Wine, read-only is the Unix write permission, which does not bind root (as the
// test machines run Wine). Reading /etc/shadow through Wine's Z: drive tells root.
bool WineRunsAsRoot() {
  if (!IsWine()) return false;
  HANDLE h = CreateFileA("Z:\\etc\\shadow", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// ---- Wildcards ----------------------------------------------------------------------------

struct WildcardCase {
  const char* pattern;
  std::set<std::string> names;  // empty: ERROR_FILE_NOT_FOUND
};

TEST_F(Files, WildcardsMatchNamesWithoutRegardToCase) {
  for (const char* name : {"a.txt", "ab.txt", "abc.txt", "README", "Makefile.in", "b.TXT", "x.y.z"})
    ASSERT_TRUE(WriteTextFile(In(name), name));
  ASSERT_TRUE(CreateDirectoryA(In("sub").c_str(), nullptr));
  const std::set<std::string> all = {".",      "..",          "a.txt", "ab.txt", "abc.txt",
                                     "README", "Makefile.in", "b.TXT", "x.y.z",  "sub"};
  const WildcardCase cases[] = {
      {"*", all},
      {"*.*", all},  // also the names without a dot
      {"*.txt", {"a.txt", "ab.txt", "abc.txt", "b.TXT"}},
      {"A*.TXT", {"a.txt", "ab.txt", "abc.txt"}},
      {"*.t?t", {"a.txt", "ab.txt", "abc.txt", "b.TXT"}},
      {"?.txt", {"a.txt", "b.TXT"}},
      {"a?c.txt", {"abc.txt"}},
      {"*a*", {"a.txt", "ab.txt", "abc.txt", "README", "Makefile.in"}},
      {"x.*", {"x.y.z"}},
      {"SUB", {"sub"}},
      {"*.y", {}},
      {"nothing*", {}},
  };
  for (const auto& c : cases) {
    DWORD error = 0;
    const auto found = Find(In(c.pattern), &error);
    EXPECT_EQ(c.names, AsSet(found)) << c.pattern;
    EXPECT_EQ(c.names.size(), found.size()) << c.pattern << ": an entry came twice";
    EXPECT_EQ(static_cast<DWORD>(c.names.empty() ? ERROR_FILE_NOT_FOUND : ERROR_NO_MORE_FILES),
              error)
        << c.pattern;
  }
}

TEST_F(Files, QuestionMarkAtADotOrTheEndMayMatchNothingOnWindows) {
  for (const char* name : {"a.txt", "ab.txt", "abc.txt", "a", "ab"})
    ASSERT_TRUE(WriteTextFile(In(name), name));
  DWORD error = 0;
  // Windows' '?' also matches nothing before a dot or at the end of a name; Wine's '?'
  // always takes one character.
  if (IsWine()) {
    EXPECT_EQ((std::set<std::string>{"ab.txt"}), AsSet(Find(In("a?.txt"), &error)));
    EXPECT_EQ((std::set<std::string>{"ab"}), AsSet(Find(In("a?"), &error)));
  } else {
    EXPECT_EQ((std::set<std::string>{"a.txt", "ab.txt"}), AsSet(Find(In("a?.txt"), &error)));
    EXPECT_EQ((std::set<std::string>{"a", "ab"}), AsSet(Find(In("a?"), &error)));
  }
}

TEST_F(Files, AFolderSearchListsDotsFirstAndEndsWithNoMoreFiles) {
  ASSERT_TRUE(WriteTextFile(In("only.txt"), "x"));
  DWORD error = 0;
  const auto found = Find(In("*"), &error);
  ASSERT_EQ(3u, found.size());
  EXPECT_EQ(".", found[0]);
  EXPECT_EQ("..", found[1]);
  EXPECT_EQ("only.txt", found[2]);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), error);
}

TEST_F(Files, ASearchTellsAMissingFolderFromAMissingName) {
  DWORD error = 0;
  EXPECT_TRUE(Find(In("missing\\*"), &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
  EXPECT_TRUE(Find(In("missing.txt"), &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
  EXPECT_TRUE(Find(scratchFolder + "\\", &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}

TEST_F(Files, AnExactNameFindsTheEntryUnderItsStoredName) {
  ASSERT_TRUE(WriteTextFile(In("MixedCase.Inf"), "x"));
  DWORD error = 0;
  EXPECT_EQ((std::vector<std::string>{"MixedCase.Inf"}), Find(In("MIXEDCASE.INF"), &error));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(In("mixedcase.inf").c_str()));
}

// ---- Attributes ---------------------------------------------------------------------------

TEST_F(Files, NormalAloneClearsTheAttributesAndIsIgnoredWithOthers) {
  const std::string path = In("attr.txt");
  ASSERT_TRUE(WriteTextFile(path, "x"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(path.c_str()));
  struct Case {
    DWORD set;
    DWORD expected;
  };
  const Case cases[] = {
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN,
       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
      {FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY},
      {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
      {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE,
       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.set)) << c.set;
    // Wine reports FILE_ATTRIBUTE_ARCHIVE on every file; it cannot store its absence.
    const DWORD expected =
        IsWine() ? (c.expected & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_ARCHIVE : c.expected;
    EXPECT_EQ(expected, GetFileAttributesA(path.c_str())) << c.set;
  }
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
            GetFileAttributesA(scratchFolder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Files, AttributesOfAMissingNameSayWhatIsMissing) {
  ASSERT_TRUE(WriteTextFile(In("file.txt"), "x"));
  struct Case {
    const char* name;
    DWORD error;
  };
  const Case cases[] = {
      {"missing.txt", ERROR_FILE_NOT_FOUND},
      {"missing\\x.txt", ERROR_PATH_NOT_FOUND},
      {"file.txt\\x", ERROR_PATH_NOT_FOUND},
      {"fi*.txt", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(In(c.name).c_str())) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
  }
}

// ---- Read-only files ------------------------------------------------------------------------

TEST_F(Files, AReadOnlyFileCannotBeDeleted) {
  const std::string path = In("ro.txt");
  ASSERT_TRUE(WriteTextFile(path, "keep"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  SetLastError(kUnset);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(Files, AReadOnlyFileCannotBeOverwritten) {
  const std::string path = In("ro.txt");
  ASSERT_TRUE(WriteTextFile(path, "keep"));
  ASSERT_TRUE(WriteTextFile(In("new.txt"), "new"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  // Wine running as root writes read-only files (the Unix permission does not bind root).
  const bool refused = !WineRunsAsRoot();
  SetLastError(kUnset);
  EXPECT_EQ(!refused, !!CopyFileA(In("new.txt").c_str(), path.c_str(), FALSE));
  if (refused) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    ScopedFile f(Open(path, GENERIC_WRITE));
    EXPECT_FALSE(f.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    std::string text;
    ASSERT_TRUE(ReadTextFile(path, &text));
    EXPECT_EQ("keep", text);
  }
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
}

// ---- Copying and moving ----------------------------------------------------------------------

TEST_F(Files, CopyFileOverwritesUnlessToldToFailIfTheTargetExists) {
  ASSERT_TRUE(WriteTextFile(In("src.txt"), "source"));
  ASSERT_TRUE(WriteTextFile(In("dst.txt"), "target"));
  SetLastError(kUnset);
  EXPECT_FALSE(CopyFileA(In("src.txt").c_str(), In("dst.txt").c_str(), TRUE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
  std::string text;
  ASSERT_TRUE(ReadTextFile(In("dst.txt"), &text));
  EXPECT_EQ("target", text);
  EXPECT_TRUE(CopyFileA(In("src.txt").c_str(), In("dst.txt").c_str(), FALSE));
  ASSERT_TRUE(ReadTextFile(In("dst.txt"), &text));
  EXPECT_EQ("source", text);
  EXPECT_FALSE(CopyFileA(In("missing.txt").c_str(), In("x.txt").c_str(), FALSE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_FALSE(CopyFileA(In("src.txt").c_str(), In("no\\x.txt").c_str(), FALSE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(Files, CopyFileCarriesAttributesAndTheWriteTime) {
  const std::string src = In("src.txt");
  ASSERT_TRUE(WriteTextFile(src, "source"));
  FILETIME written;
  written.dwHighDateTime = 29000000;  // 2005
  written.dwLowDateTime = 12345670;
  {
    ScopedFile f(Open(src, GENERIC_WRITE));
    ASSERT_TRUE(f.valid());
    ASSERT_TRUE(SetFileTime(f.get(), nullptr, nullptr, &written));
  }
  ASSERT_TRUE(SetFileAttributesA(src.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(CopyFileA(src.c_str(), In("copy.txt").c_str(), FALSE));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            GetFileAttributesA(In("copy.txt").c_str()));
  ScopedFile copy(Open(In("copy.txt"), GENERIC_READ, FILE_SHARE_READ));
  ASSERT_TRUE(copy.valid());
  FILETIME w;
  ASSERT_TRUE(GetFileTime(copy.get(), nullptr, nullptr, &w));
  EXPECT_EQ(0, CompareFileTime(&written, &w));
}

TEST_F(Files, MoveFileRenamesButNeverOverwrites) {
  ASSERT_TRUE(WriteTextFile(In("a.txt"), "a"));
  ASSERT_TRUE(WriteTextFile(In("b.txt"), "b"));
  SetLastError(kUnset);
  EXPECT_FALSE(MoveFileA(In("a.txt").c_str(), In("b.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_FALSE(MoveFileA(In("missing.txt").c_str(), In("c.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  ASSERT_TRUE(CreateDirectoryA(In("sub").c_str(), nullptr));
  ASSERT_TRUE(MoveFileA(In("a.txt").c_str(), In("sub\\moved.txt").c_str()));
  std::string text;
  ASSERT_TRUE(ReadTextFile(In("sub\\moved.txt"), &text));
  EXPECT_EQ("a", text);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(In("a.txt").c_str()));
  ASSERT_TRUE(MoveFileA(In("sub").c_str(), In("renamed").c_str()));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(In("renamed\\moved.txt").c_str()));
}

// ---- Sharing and deleting -----------------------------------------------------------------

TEST_F(Files, AFileOpenedWithoutSharingCannotBeOpenedAgainOrDeleted) {
  const std::string path = In("locked.txt");
  ASSERT_TRUE(WriteTextFile(path, "x"));
  ScopedFile first(Open(path, GENERIC_READ, 0));
  ASSERT_TRUE(first.valid());
  SetLastError(kUnset);
  ScopedFile second(Open(path, GENERIC_READ, kShareAll));
  EXPECT_FALSE(second.valid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  // An open that asks for no data access meets no sharing rule.
  ScopedFile attributesOnly(Open(path, 0, kShareAll));
  EXPECT_TRUE(attributesOnly.valid());
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_FALSE(CopyFileA(path.c_str(), In("copy.txt").c_str(), FALSE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  first.Close();
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(Files, ReadersThatShareReadingOpenTogetherButKeepWritersOut) {
  const std::string path = In("shared.txt");
  ASSERT_TRUE(WriteTextFile(path, "x"));
  ScopedFile a(Open(path, GENERIC_READ, FILE_SHARE_READ));
  ScopedFile b(Open(path, GENERIC_READ, FILE_SHARE_READ));
  EXPECT_TRUE(a.valid() && b.valid());
  ScopedFile writer(Open(path, GENERIC_WRITE, FILE_SHARE_READ));
  EXPECT_FALSE(writer.valid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
}

TEST_F(Files, ADeletedFileThatIsStillOpenGoesWithItsLastHandle) {
  const std::string path = In("pending.txt");
  ASSERT_TRUE(WriteTextFile(path, "x"));
  ScopedFile open(Open(path, GENERIC_READ, kShareAll));
  ASSERT_TRUE(open.valid());
  ASSERT_TRUE(DeleteFileA(path.c_str()));
  DWORD error = 0;
  EXPECT_EQ((std::vector<std::string>{"pending.txt"}), Find(path, &error));
  // Windows refuses to open a file waiting to be deleted, even for its attributes;
  // Wine opens it.
  SetLastError(kUnset);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  ScopedFile again(Open(path, GENERIC_READ, kShareAll));
  if (IsWine()) {
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(again.valid());
  } else {
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_FALSE(again.valid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  }
  again.Close();
  open.Close();
  SetLastError(kUnset);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(Files, DeleteFileRefusesFoldersAndSaysWhatIsMissing) {
  ASSERT_TRUE(CreateDirectoryA(In("folder").c_str(), nullptr));
  struct Case {
    const char* name;
    DWORD error;
  };
  const Case cases[] = {
      {"folder", ERROR_ACCESS_DENIED},
      {"missing.txt", ERROR_FILE_NOT_FOUND},
      {"missing\\x.txt", ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_FALSE(DeleteFileA(In(c.name).c_str())) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
  }
}

// ---- CreateFileA -------------------------------------------------------------------------------

TEST_F(Files, CreateDispositionsReportWhetherTheFileExisted) {
  ASSERT_TRUE(WriteTextFile(In("old.txt"), "old"));
  ASSERT_TRUE(CreateDirectoryA(In("folder").c_str(), nullptr));
  struct Case {
    const char* name;
    DWORD disposition;
    bool opens;
    DWORD error;
  };
  const Case cases[] = {
      {"old.txt", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS},
      {"new1.txt", OPEN_ALWAYS, true, ERROR_SUCCESS},
      {"old.txt", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS},
      {"new2.txt", CREATE_ALWAYS, true, ERROR_SUCCESS},
      {"old.txt", CREATE_NEW, false, ERROR_FILE_EXISTS},
      {"missing.txt", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND},
      {"missing.txt", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND},
      {"no\\such.txt", CREATE_ALWAYS, false, ERROR_PATH_NOT_FOUND},
      {"folder", OPEN_EXISTING, false, ERROR_ACCESS_DENIED},
      {"folder", CREATE_NEW, false, ERROR_FILE_EXISTS},
      {"bad*name.txt", CREATE_NEW, false, ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    ScopedFile f(Open(In(c.name), GENERIC_READ | GENERIC_WRITE, 0, c.disposition));
    const DWORD error = GetLastError();
    EXPECT_EQ(c.opens, f.valid()) << c.name << " " << c.disposition;
    EXPECT_EQ(c.error, error) << c.name << " " << c.disposition;
  }
}

TEST_F(Files, WritesPastTheEndFillWithZerosAndSetEndOfFileCuts) {
  ScopedFile f(Open(In("rw.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS));
  ASSERT_TRUE(f.valid());
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(f.get(), "abcdef", 6, &n, nullptr));
  SetLastError(kUnset);
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(f.get(), -10, nullptr, FILE_CURRENT));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
  EXPECT_EQ(10u, SetFilePointer(f.get(), 10, nullptr, FILE_BEGIN));
  char buffer[16];
  ASSERT_TRUE(ReadFile(f.get(), buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(0u, n);
  ASSERT_TRUE(WriteFile(f.get(), "Z", 1, &n, nullptr));
  EXPECT_EQ(11u, GetFileSize(f.get(), nullptr));
  EXPECT_EQ(0u, SetFilePointer(f.get(), 0, nullptr, FILE_BEGIN));
  ASSERT_TRUE(ReadFile(f.get(), buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(std::string("abcdef\0\0\0\0Z", 11), std::string(buffer, n));
  EXPECT_EQ(3u, SetFilePointer(f.get(), 3, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(f.get()));
  EXPECT_EQ(3u, GetFileSize(f.get(), nullptr));
  const HANDLE closed = f.get();
  f.Close();
  SetLastError(kUnset);
  EXPECT_FALSE(CloseHandle(closed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

// ---- MAX_PATH -----------------------------------------------------------------------------

// A name of exactly `length` characters in the scratch folder.
std::string NameOfLength(const std::string& folder, size_t length) {
  return folder + "\\" + std::string(length - folder.size() - 1, 'm');
}

TEST_F(Files, CreateFileStopsAtMaxPath) {
  ASSERT_LT(scratchFolder.size(), 200u);
  // Windows: a full path must fit MAX_PATH with its NUL (259 characters); an ANSI name
  // over 260 characters is not even converted. Wine takes 260 characters.
  struct Case {
    size_t length;
    DWORD windowsError, wineError;  // 0: created
  };
  const Case cases[] = {{259, 0, 0},
                        {260, ERROR_PATH_NOT_FOUND, 0},
                        {261, ERROR_FILENAME_EXCED_RANGE, ERROR_FILENAME_EXCED_RANGE}};
  for (const auto& c : cases) {
    const std::string name = NameOfLength(scratchFolder, c.length);
    SetLastError(kUnset);
    HANDLE h = Open(name, GENERIC_WRITE, 0, CREATE_NEW);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      EXPECT_TRUE(DeleteFileA(name.c_str()));
    }
    EXPECT_EQ(IsWine() ? c.wineError : c.windowsError, error) << c.length;
  }
}

TEST_F(Files, CreateDirectoryKeepsRoomForAnEightDotThreeName) {
  ASSERT_LT(scratchFolder.size(), 200u);
  // Windows: a new folder's full path leaves 12 characters of MAX_PATH, so 247 at most.
  // Wine has no such reserve and stops where CreateFileA does.
  struct Case {
    size_t length;
    DWORD windowsError, wineError;  // 0: created
  };
  const Case cases[] = {{247, 0, 0},
                        {248, ERROR_FILENAME_EXCED_RANGE, 0},
                        {261, ERROR_FILENAME_EXCED_RANGE, ERROR_FILENAME_EXCED_RANGE}};
  for (const auto& c : cases) {
    const std::string name = NameOfLength(scratchFolder, c.length);
    SetLastError(kUnset);
    const BOOL made = CreateDirectoryA(name.c_str(), nullptr);
    const DWORD error = made ? 0 : GetLastError();
    if (made) {
      EXPECT_TRUE(RemoveDirectoryA(name.c_str()));
    }
    EXPECT_EQ(IsWine() ? c.wineError : c.windowsError, error) << c.length;
  }
}

// ---- Folders -------------------------------------------------------------------------------

TEST_F(Files, CreateDirectoryReportsWhatStandsInTheWay) {
  ASSERT_TRUE(WriteTextFile(In("file.txt"), "x"));
  struct Case {
    std::string path;
    DWORD error;
  };
  const Case cases[] = {
      {scratchFolder, ERROR_ALREADY_EXISTS},
      {In("file.txt"), ERROR_ALREADY_EXISTS},
      {In("missing\\new"), ERROR_PATH_NOT_FOUND},
      {In("bad*"), ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_FALSE(CreateDirectoryA(c.path.c_str(), nullptr)) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  EXPECT_TRUE(CreateDirectoryA(In("new\\").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA(In("new").c_str()));
}

TEST_F(Files, RemoveDirectoryTakesOnlyEmptyFolders) {
  ASSERT_TRUE(CreateDirectoryA(In("full").c_str(), nullptr));
  ASSERT_TRUE(WriteTextFile(In("full\\f.txt"), "x"));
  ASSERT_TRUE(WriteTextFile(In("file.txt"), "x"));
  struct Case {
    const char* name;
    DWORD error;
  };
  const Case cases[] = {
      {"full", ERROR_DIR_NOT_EMPTY},
      {"file.txt", ERROR_DIRECTORY},
      {"missing", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SetLastError(kUnset);
    EXPECT_FALSE(RemoveDirectoryA(In(c.name).c_str())) << c.name;
    EXPECT_EQ(c.error, GetLastError()) << c.name;
  }
  ASSERT_TRUE(DeleteFileA(In("full\\f.txt").c_str()));
  EXPECT_TRUE(RemoveDirectoryA(In("full").c_str()));
}

// ---- Current folder, full names, module name ------------------------------------------------

TEST_F(Files, TheCurrentFolderFollowsTheBufferProtocolAndResolvesRelativeNames) {
  CurrentFolderKeeper keeper;
  ASSERT_TRUE(CreateDirectoryA(In("Sub").c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA((scratchFolder + "\\").c_str()));
  char buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(scratchFolder, std::string(buffer));
  EXPECT_EQ(scratchFolder.size(), length);
  std::memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(length + 1, GetCurrentDirectoryA(length, buffer));  // no room for the NUL
  EXPECT_EQ('Z', buffer[0]);
  EXPECT_EQ(length + 1, GetCurrentDirectoryA(0, nullptr));
  ASSERT_TRUE(WriteTextFile("relative.txt", "r"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(In("relative.txt").c_str()));
  char* part = nullptr;
  EXPECT_EQ(scratchFolder.size() + 6,
            GetFullPathNameA("sub\\..\\.\\x.txt.", sizeof buffer, buffer, &part));
  EXPECT_EQ(In("x.txt"), std::string(buffer));
  EXPECT_STREQ("x.txt", part);
  EXPECT_FALSE(SetCurrentDirectoryA("relative.txt"));
  EXPECT_FALSE(SetCurrentDirectoryA("missing"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(Files, AShortModuleNameBufferIsFilledToItsEnd) {
  char full[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, full, sizeof full);
  ASSERT_GT(length, 5u);
  EXPECT_EQ(length, std::strlen(full));
  char buffer[MAX_PATH];
  std::memset(buffer, 'Z', sizeof buffer);
  SetLastError(kUnset);
  EXPECT_EQ(5u, GetModuleFileNameA(nullptr, buffer, 5));
  const DWORD error = GetLastError();
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  if (IsWine()) {
    // Wine copies five characters without a NUL and reports the shortage, whatever
    // version it reports.
    EXPECT_EQ(std::string(full, 5), std::string(buffer, 5));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), error);
  } else if (version.dwMajorVersion < 6) {
    // Windows XP: five characters, no NUL, and success.
    EXPECT_EQ(std::string(full, 5), std::string(buffer, 5));
    EXPECT_EQ('Z', buffer[5]);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error);
  } else {
    // Windows Vista and later: four characters and the NUL.
    EXPECT_EQ(std::string(full, 4), std::string(buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), error);
  }
}

// ---- Time conversions ------------------------------------------------------------------------

TEST(FileTimes, SystemTimeAndFileTimeConvertBothWays) {
  const SYSTEMTIME time = {2009, 6, 1, 1, 12, 30, 15, 250};  // a Monday
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&time, &ft));
  EXPECT_EQ(30007988u, ft.dwHighDateTime);
  EXPECT_EQ(3073739552u, ft.dwLowDateTime);
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(0, std::memcmp(&time, &back, sizeof time));
  const FILETIME zero = {0, 0};
  ASSERT_TRUE(FileTimeToSystemTime(&zero, &back));
  EXPECT_EQ(1601, back.wYear);
  EXPECT_EQ(1, back.wDayOfWeek);
  const SYSTEMTIME february30 = {2009, 2, 0, 30, 0, 0, 0, 0};
  SetLastError(kUnset);
  EXPECT_FALSE(SystemTimeToFileTime(&february30, &ft));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  const FILETIME tooLarge = {0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &back));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  EXPECT_EQ(1, CompareFileTime(&now, &zero));
  EXPECT_EQ(-1, CompareFileTime(&zero, &ft));
  EXPECT_EQ(0, CompareFileTime(&now, &now));
}

}  // namespace
}  // namespace conformance
