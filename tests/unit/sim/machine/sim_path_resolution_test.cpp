// The name rules every simulated file call shares: full path names, the ANSI length
// limits, WOW64 redirection of system32, and FindFirstFileA's wildcards.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace {

struct FullPathCase {
  const char* input;
  const char* expected;  // nullptr: refused
};

// Measured with GetFullPathNameA under Wine 8 (whose rules follow Windows'), current
// folder C:\probe\wild; "/x" is Windows' (Wine maps a leading '/' to its Z: drive).
const FullPathCase kFullPaths[] = {
    {"x.txt", "C:\\probe\\wild\\x.txt"},
    {".\\x.txt", "C:\\probe\\wild\\x.txt"},
    {"..\\x.txt", "C:\\probe\\x.txt"},
    {"..\\..\\..\\..\\x", "C:\\x"},
    {"C:x", "C:\\probe\\wild\\x"},
    {"c:x", "C:\\probe\\wild\\x"},
    {"\\x", "C:\\x"},
    {"/x", "C:\\x"},
    {"C:\\a\\b.", "C:\\a\\b"},
    {"C:\\a.\\b", "C:\\a\\b"},
    {"C:\\a\\b ", "C:\\a\\b"},
    {"C:\\a\\b. .", "C:\\a\\b"},
    {"C:\\a\\", "C:\\a\\"},
    {"C:\\a\\.", "C:\\a"},
    {"C:\\a\\..", "C:\\"},
    {"C:", "C:\\probe\\wild\\"},
    {"C:\\", "C:\\"},
    {"c:/a//b", "c:\\a\\b"},
    {"C:\\a\\*.*", "C:\\a\\*.*"},
    {".", "C:\\probe\\wild"},
    {"..", "C:\\probe"},
    {"D:x", "D:\\x"},
    {"a\\...\\b", "C:\\probe\\wild\\a\\..\\b"},
    {"C:\\a\\b\\..\\..\\..\\c", "C:\\c"},
    {"C:\\Program Files\\Kestrolin\\", "C:\\Program Files\\Kestrolin\\"},
    {"", nullptr},
    {"\\\\server\\share\\x", nullptr},
};

TEST(SimPathNames, FullPathNamesFollowWindowsRules) {
  for (const auto& c : kFullPaths) {
    std::string full;
    const bool ok = sim::FullPathName(c.input, "C:\\probe\\wild", &full);
    if (!c.expected) {
      EXPECT_FALSE(ok) << c.input;
      continue;
    }
    ASSERT_TRUE(ok) << c.input;
    EXPECT_EQ(c.expected, full) << c.input;
  }
}

TEST(SimPathNames, ARelativeNameFromADriveRootHasOneSeparator) {
  std::string full;
  ASSERT_TRUE(sim::FullPathName("x\\y", "C:\\", &full));
  EXPECT_EQ("C:\\x\\y", full);
  ASSERT_TRUE(sim::FullPathName("..", "C:\\", &full));
  EXPECT_EQ("C:\\", full);
}

struct RedirectCase {
  const char* full;
  const char* expected;
};

const RedirectCase kRedirects[] = {
    {"C:\\WINDOWS\\system32", "C:\\WINDOWS\\SysWOW64"},
    {"C:\\WINDOWS\\system32\\", "C:\\WINDOWS\\SysWOW64\\"},
    {"c:\\windows\\SYSTEM32\\kernel32.dll", "C:\\WINDOWS\\SysWOW64\\kernel32.dll"},
    {"C:\\WINDOWS\\system32\\drivers", "C:\\WINDOWS\\SysWOW64\\drivers"},
    {"C:\\WINDOWS\\system32\\drivers\\serial.sys", "C:\\WINDOWS\\SysWOW64\\drivers\\serial.sys"},
    {"C:\\WINDOWS\\system32\\drivers\\etc", nullptr},
    {"C:\\WINDOWS\\system32\\DRIVERS\\ETC\\hosts", nullptr},
    {"C:\\WINDOWS\\system32\\drivers\\etcetera", "C:\\WINDOWS\\SysWOW64\\drivers\\etcetera"},
    {"C:\\WINDOWS\\system32\\catroot", nullptr},
    {"C:\\WINDOWS\\system32\\catroot\\x.cat", nullptr},
    {"C:\\WINDOWS\\system32\\catroot2", nullptr},
    {"C:\\WINDOWS\\system32\\catroot3", "C:\\WINDOWS\\SysWOW64\\catroot3"},
    {"C:\\WINDOWS\\system32\\LogFiles\\a.log", nullptr},
    {"C:\\WINDOWS\\system32\\spool\\drivers", nullptr},
    {"C:\\WINDOWS\\system32\\DriverStore", "C:\\WINDOWS\\SysWOW64\\DriverStore"},
    {"C:\\WINDOWS\\lastgood\\system32\\x.dll", "C:\\WINDOWS\\lastgood\\SysWOW64\\x.dll"},
    {"C:\\WINDOWS\\lastgood\\system32\\drivers\\etc",
     "C:\\WINDOWS\\lastgood\\SysWOW64\\drivers\\etc"},
    {"C:\\WINDOWS\\system32x", nullptr},
    {"C:\\WINDOWS\\system", nullptr},
    {"C:\\WINDOWS\\SysWOW64\\x", nullptr},
    {"D:\\WINDOWS\\system32", nullptr},
    {"C:\\WINDOWS\\regedit.exe", nullptr},
};

TEST(SimPathNames, System32RedirectsToSysWow64ExceptTheSharedFolders) {
  sim::OsIdentity os;
  os.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  for (const auto& c : kRedirects) {
    EXPECT_EQ(c.expected ? c.expected : c.full, sim::RedirectSystem32(c.full, os)) << c.full;
  }
}

struct PatternCase {
  const char* pattern;
  const char* name;
  bool matches;
};

// Windows' DOS wildcards: '?' takes one character but nothing at a dot or at the end;
// "*." before the last dot stops at the name's last dot; ".*" and ".?" may meet the end.
const PatternCase kPatterns[] = {
    {"*", "README", true},
    {"*", ".", true},
    {"*.*", "README", true},
    {"*.*", "a.txt", true},
    {"*.*", "..", true},
    {"*.txt", "a.txt", true},
    {"*.txt", "B.TXT", true},
    {"*.txt", "a.txt.bak", false},
    {"*.txt", "atxt", false},
    {"*.TXT", "x.y.txt", true},
    {"*.y", "x.y.z", false},
    {"a?.txt", "ab.txt", true},
    {"a?.txt", "a.txt", true},
    {"a?.txt", "abc.txt", false},
    {"a??.txt", "abc.txt", true},
    {"a??.txt", "a.txt", true},
    {"?.txt", "b.TXT", true},
    {"?.txt", "ab.txt", false},
    {"a?", "ab", true},
    {"a?", "a", true},
    {"a?", "abc", false},
    {"?", ".", false},
    {"??", "..", false},
    {"??", "_u", true},
    {"a?b.txt", "ab.txt", false},
    {"a?b.txt", "axb.txt", true},
    {"*a*", "Makefile.in", true},
    {"*a*", "xyz", false},
    {"a*", "A", true},
    {"a*.*", "abc", true},
    {"a*.*", "b.a", false},
    {"a.*", "a", true},
    {"a.*", "a.txt", true},
    {"a.*", "ab.txt", false},
    {"x.*", "x.y.z", true},
    {"*.t?t", "a.txt", true},
    {"*.t?t", "a.tt", false},
    {"*.??", "Makefile.in", true},
    {"*.??", "README", true},
    {"*.??", "a.txt", false},
    {"*.???", "x.y.z", true},
    {"*.", "README", true},
    {"*.", "a.txt", false},
    {"oem*.inf", "OEM12.INF", true},
    {"oem*.inf", "oem12.pnf", false},
    {"oem?.inf", "oem1.inf", true},
    {"oem?.inf", "oem12.inf", false},
    {"abc.txt", "ABC.TXT", true},
};

TEST(SimPathNames, WildcardsMatchAsOnWindows) {
  // Each case also behind 70 letters on both sides, which the name matches one by one:
  // patterns of 64 places and more are matched another way.
  const std::string letters(70, 'q');
  for (const auto& c : kPatterns) {
    EXPECT_EQ(c.matches, sim::MatchesFilePattern(c.pattern, c.name))
        << c.pattern << " against " << c.name;
    EXPECT_EQ(c.matches, sim::MatchesFilePattern(letters + c.pattern, letters + c.name))
        << c.pattern << " against " << c.name << ", behind " << letters.size() << " letters";
  }
}

TEST(SimPathNames, MatchingALongNameStaysCheap) {
  const std::string name(255, 'a');
  EXPECT_FALSE(sim::MatchesFilePattern("*a*a*a*a*a*a*a*a*a*a*a*a*a*b", name));
  EXPECT_TRUE(sim::MatchesFilePattern("*a*a*a*a*a*a*a*a*a*a*a*a*a*a", name));
}

TEST(SimPathNames, NamesWithReservedCharactersAreInvalid) {
  for (const char* bad : {"a<b", "a>b", "a:b", "a\"b", "a|b", "a?b", "a*b", "a\tb", ""}) {
    EXPECT_FALSE(sim::IsValidName(bad)) << bad;
  }
  EXPECT_FALSE(sim::IsValidName(std::string(256, 'n')));
  EXPECT_TRUE(sim::IsValidName(std::string(255, 'n')));
  EXPECT_TRUE(sim::IsValidName("Kestrolin Setup (1).log"));
}

class SimPathLimits : public ::testing::Test {
 protected:
  SimPathLimits() { machine.files.MakeDirectories("C:\\limits"); }
  static sim::ProcessOptions Options() {
    sim::ProcessOptions o;
    o.modulePath = "C:\\limits\\prog.exe";
    return o;
  }
  // A name of exactly `length` characters below C:\limits.
  static std::string NameOfLength(size_t length) {
    const std::string folder = "C:\\limits\\";
    return folder + std::string(length - folder.size(), 'n');
  }
  sim::Machine machine;
  sim::ProcessScope scope{machine, Options()};
};

struct LimitCase {
  size_t length;
  uint32_t error;  // 0: accepted
};

TEST_F(SimPathLimits, AnsiNamesStopAtMaxPath) {
  // 259 characters fit MAX_PATH with the NUL; a 260-character full path does not;
  // beyond 260 characters the ANSI name cannot even be converted.
  const LimitCase cases[] = {{258, 0},
                             {259, 0},
                             {260, ERROR_PATH_NOT_FOUND},
                             {261, ERROR_FILENAME_EXCED_RANGE},
                             {300, ERROR_FILENAME_EXCED_RANGE}};
  for (const auto& c : cases) {
    sim::ResolvedPath path;
    uint32_t error = 0;
    const bool ok =
        sim::ResolvePath(scope.process(), NameOfLength(c.length).c_str(), &path, &error);
    EXPECT_EQ(c.error == 0, ok) << c.length;
    if (!ok) {
      EXPECT_EQ(c.error, error) << c.length;
    }
  }
}

TEST_F(SimPathLimits, TheFullPathCountsForARelativeName) {
  // 250 characters as written, 260 once the current folder is in front.
  const std::string relative(260 - std::string("C:\\limits\\").size(), 'r');
  sim::ResolvedPath path;
  uint32_t error = 0;
  EXPECT_FALSE(sim::ResolvePath(scope.process(), relative.c_str(), &path, &error));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), error);
  EXPECT_TRUE(sim::ResolvePath(scope.process(), relative.substr(1).c_str(), &path, &error));
}

TEST_F(SimPathLimits, WildcardsAreAcceptedInTheLastNameOnly) {
  sim::ResolvedPath path;
  uint32_t error = 0;
  ASSERT_TRUE(sim::ResolvePath(scope.process(), "C:\\limits\\*.inf", &path, &error));
  EXPECT_TRUE(path.wildcardInLastName);
  EXPECT_FALSE(sim::ResolvePath(scope.process(), "C:\\lim*\\a.inf", &path, &error));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_NAME), error);
  EXPECT_FALSE(sim::ResolvePath(scope.process(), "C:\\limits\\a|*", &path, &error));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_NAME), error);
}

TEST_F(SimPathLimits, CreateFileAndCreateDirectoryStopWhereWindowsStops) {
  struct Case {
    size_t length;
    uint32_t fileError, folderError;  // 0: created
  };
  // CreateDirectoryA keeps room for "\" and an 8.3 name: 247 characters at most.
  const Case cases[] = {{247, 0, 0},
                        {248, 0, ERROR_FILENAME_EXCED_RANGE},
                        {259, 0, ERROR_FILENAME_EXCED_RANGE},
                        {260, ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND},
                        {261, ERROR_FILENAME_EXCED_RANGE, ERROR_FILENAME_EXCED_RANGE}};
  for (const auto& c : cases) {
    const std::string name = NameOfLength(c.length);
    SetLastError(0);
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_EQ(c.fileError, file == INVALID_HANDLE_VALUE ? GetLastError() : 0u) << c.length;
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      EXPECT_TRUE(DeleteFileA(name.c_str()));
    }
    SetLastError(0);
    const BOOL made = CreateDirectoryA(name.c_str(), nullptr);
    EXPECT_EQ(c.folderError, made ? 0u : GetLastError()) << c.length;
    if (made) {
      EXPECT_TRUE(RemoveDirectoryA(name.c_str()));
    }
  }
}

}  // namespace
