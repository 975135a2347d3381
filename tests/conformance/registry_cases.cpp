// Registry behaviours the installer and the uninstall engine rely on.
#include <cstring>
#include <string>
#include <vector>

#include "env/environment.h"

namespace conformance {
namespace {

class Registry : public ConformanceTest {
 protected:
  void SetUp() override {
    ConformanceTest::SetUp();
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, scratchKey.c_str(), 0,
                                           KEY_ALL_ACCESS, scratch.receive()));
  }
  void TearDown() override {
    scratch.Reset();
    ConformanceTest::TearDown();
  }

  LONG Create(const std::string& path, ScopedKey* out = nullptr) {
    ScopedKey local;
    ScopedKey* target = out ? out : &local;
    return RegCreateKeyExA(scratch.get(), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, target->receive(), nullptr);
  }
  LONG Set(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
  }
  std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[MAX_PATH];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
      names.push_back(name);
    return names;
  }

  ScopedKey scratch;
};

TEST_F(Registry, KeyNamesCompareWithoutCaseAndKeepTheirSpelling) {
  ASSERT_EQ(ERROR_SUCCESS, Create("MixedCase"));
  ScopedKey key;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(scratch.get(), "mIXEDcASE", 0, KEY_READ, key.receive()));
  EXPECT_EQ(std::vector<std::string>{"MixedCase"}, SubkeyNames(scratch.get()));
}

// Windows documents key names of up to 255 characters; past that RegCreateKeyEx fails
// with ERROR_INVALID_PARAMETER. (Windows' kernel and Wine take a 256th character, which
// Windows' own registry editor then cannot list; the simulator holds to the documented
// limit, and 256 is not asked here.)
TEST_F(Registry, KeyNamesHoldUpTo255Characters) {
  ASSERT_EQ(ERROR_SUCCESS, Create(std::string(255, 'k')));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, Create(std::string(257, 'k')));
  // Wine answers a path whose last name is that long with ERROR_MORE_DATA.
  EXPECT_EQ(IsWine() ? ERROR_MORE_DATA : ERROR_INVALID_PARAMETER,
            Create("sub\\" + std::string(300, 'k')));
  EXPECT_EQ(std::vector<std::string>{std::string(255, 'k')}, SubkeyNames(scratch.get()));
}

TEST_F(Registry, ValueNamesCompareWithoutCase) {
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "PortName", REG_SZ, std::string("COM3", 5)));
  char data[16] = {};
  DWORD size = sizeof data, type = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch.get(), "PORTNAME", nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &size));
  EXPECT_STREQ("COM3", data);
}

TEST_F(Registry, SubkeysEnumerateInCaseInsensitiveNameOrder) {
  for (const char* name : {"beta", "Alpha", "gamma", "DELTA", "0001", "0000"})
    ASSERT_EQ(ERROR_SUCCESS, Create(name));
  const std::vector<std::string> expected = {"0000", "0001", "Alpha", "beta", "DELTA", "gamma"};
  EXPECT_EQ(expected, SubkeyNames(scratch.get()));
}

TEST_F(Registry, EnumerationPastTheEndReportsNoMoreItems) {
  ASSERT_EQ(ERROR_SUCCESS, Create("only"));
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "v", REG_DWORD, std::string(4, '\1')));
  char name[MAX_PATH];
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyA(scratch.get(), 0, name, sizeof name));
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(scratch.get(), 1, name, sizeof name));
  DWORD nameSize = sizeof name;
  EXPECT_EQ(ERROR_SUCCESS,
            RegEnumValueA(scratch.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
  nameSize = sizeof name;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumValueA(scratch.get(), 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(Registry, EnumerationMovesTheNextKeyIntoADeletedKeysIndex) {
  for (const char* name : {"A", "B", "C"}) ASSERT_EQ(ERROR_SUCCESS, Create(name));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(scratch.get(), "B"));
  char name[MAX_PATH];
  ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(scratch.get(), 1, name, sizeof name));
  EXPECT_STREQ("C", name);
}

TEST_F(Registry, EnumerationMovesTheNextValueIntoADeletedValuesIndex) {
  for (const char* v : {"COM3:", "COM10:", "LPT1:"})
    ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), v, REG_SZ, std::string("", 1)));
  char first[MAX_PATH];
  DWORD size = sizeof first;
  ASSERT_EQ(ERROR_SUCCESS,
            RegEnumValueA(scratch.get(), 0, first, &size, nullptr, nullptr, nullptr, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(scratch.get(), first));
  char next[MAX_PATH];
  size = sizeof next;
  ASSERT_EQ(ERROR_SUCCESS,
            RegEnumValueA(scratch.get(), 0, next, &size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STRNE(first, next);
  size = sizeof next;
  EXPECT_EQ(ERROR_SUCCESS,
            RegEnumValueA(scratch.get(), 1, next, &size, nullptr, nullptr, nullptr, nullptr));
  size = sizeof next;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumValueA(scratch.get(), 2, next, &size, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(Registry, EnumKeyWithTooSmallABufferReportsMoreData) {
  ASSERT_EQ(ERROR_SUCCESS, Create("0123456789"));
  char name[10];  // one short of the name and its terminator
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyA(scratch.get(), 0, name, sizeof name));
  char fits[11];
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyA(scratch.get(), 0, fits, sizeof fits));
  EXPECT_STREQ("0123456789", fits);
}

TEST_F(Registry, EnumKeyExReportsTheNameLengthWithoutTerminator) {
  ASSERT_EQ(ERROR_SUCCESS, Create("Child0000"));
  char name[MAX_PATH];
  DWORD length = sizeof name;
  ASSERT_EQ(ERROR_SUCCESS,
            RegEnumKeyExA(scratch.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(9u, length);
}

TEST_F(Registry, DeletingAKeyThatHasSubkeysIsRefused) {
  ASSERT_EQ(ERROR_SUCCESS, Create("parent\\child"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(scratch.get(), "parent"));
  EXPECT_TRUE(KeyExists(scratch.get(), "parent\\child"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(scratch.get(), "parent\\child"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(scratch.get(), "parent"));
  EXPECT_FALSE(KeyExists(scratch.get(), "parent"));
}

TEST_F(Registry, DeletingAKeyTakesItsValuesWithIt) {
  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS, Create("withValues", &key));
  ASSERT_EQ(ERROR_SUCCESS, Set(key.get(), "Driver", REG_SZ, std::string("x", 2)));
  key.Reset();
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(scratch.get(), "withValues"));
  ASSERT_EQ(ERROR_SUCCESS, Create("withValues", &key));
  DWORD size = 0;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegQueryValueExA(key.get(), "Driver", nullptr, nullptr, nullptr, &size));
}

struct MissingCase {
  const char* what;
  LONG (*call)(HKEY scratch);
};

TEST_F(Registry, MissingKeysAndValuesReportFileNotFound) {
  const MissingCase cases[] = {
      {"open",
       [](HKEY s) {
         HKEY k = nullptr;
         LONG r = RegOpenKeyExA(s, "absent", 0, KEY_READ, &k);
         if (k) RegCloseKey(k);
         return r;
       }},
      {"open below a missing key",
       [](HKEY s) {
         HKEY k = nullptr;
         LONG r = RegOpenKeyExA(s, "absent\\deeper", 0, KEY_READ, &k);
         if (k) RegCloseKey(k);
         return r;
       }},
      {"delete key", [](HKEY s) { return RegDeleteKeyA(s, "absent"); }},
      {"delete value", [](HKEY s) { return RegDeleteValueA(s, "absent"); }},
      {"query value",
       [](HKEY s) {
         DWORD size = 0;
         return RegQueryValueExA(s, "absent", nullptr, nullptr, nullptr, &size);
       }},
  };
  for (const auto& c : cases) EXPECT_EQ(ERROR_FILE_NOT_FOUND, c.call(scratch.get())) << c.what;
}

// A string written with its length plus four bytes keeps exactly those bytes.
TEST_F(Registry, StringValuesKeepTheirExactSize) {
  const std::string id = "VEN_6A3C&DEV_5E17";
  const std::string stored = id + std::string(4, '\0');  // 21 bytes
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "VID_PID_NAME1", REG_SZ, stored));
  BYTE data[MAX_PATH];
  std::memset(data, 0x55, sizeof data);
  DWORD size = sizeof data, type = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(scratch.get(), "VID_PID_NAME1", nullptr, &type, data, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(21u, size);
  EXPECT_EQ(stored, std::string(reinterpret_cast<char*>(data), size));
}

struct TypedValue {
  const char* name;
  DWORD type;
  std::string bytes;
};

TEST_F(Registry, ValuesOfEveryTypeReadBackByteExact) {
  const TypedValue values[] = {
      {"dword", REG_DWORD, std::string("\x0a\x00\x00\x00", 4)},
      {"binary32", REG_BINARY, std::string("\x03\x02\x00\x00", 4) + std::string(28, '\0')},
      {"binary16", REG_BINARY, std::string(16, '\x11')},
      {"multi", REG_MULTI_SZ, std::string("PCI\\VEN_6A3C&DEV_5E17\0PCI\\CC_0700\0\0", 35)},
      {"expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\inf\0", 17)},
      {"string", REG_SZ, std::string("COM10\0", 6)},
      {"oneNul", REG_SZ, std::string("\0", 1)},
  };
  for (const auto& v : values) {
    ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), v.name, v.type, v.bytes)) << v.name;
    BYTE data[128];
    DWORD size = sizeof data, type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch.get(), v.name, nullptr, &type, data, &size))
        << v.name;
    EXPECT_EQ(v.type, type) << v.name;
    EXPECT_EQ(v.bytes, std::string(reinterpret_cast<char*>(data), size)) << v.name;
  }
}

TEST_F(Registry, QueryWithoutBufferReportsTheSize) {
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "ComDB", REG_BINARY, std::string(32, '\x01')));
  DWORD size = 0, type = 0;
  EXPECT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(scratch.get(), "ComDB", nullptr, &type, nullptr, &size));
  EXPECT_EQ(32u, size);
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
}

TEST_F(Registry, QueryIntoTooSmallABufferReportsMoreDataAndTheSize) {
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "ComDB", REG_BINARY, std::string(33, '\x01')));
  BYTE data[32];
  DWORD size = sizeof data, type = 0;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(scratch.get(), "ComDB", nullptr, &type, data, &size));
  EXPECT_EQ(33u, size);
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
}

TEST_F(Registry, QueryIntoAnExactlySizedBufferSucceeds) {
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "ComDB", REG_BINARY, std::string(32, '\x07')));
  BYTE data[32];
  DWORD size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch.get(), "ComDB", nullptr, nullptr, data, &size));
  EXPECT_EQ(32u, size);
}

TEST_F(Registry, EnumValueIntoTooSmallADataBufferReportsMoreData) {
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "big", REG_BINARY, std::string(40, '\x02')));
  char name[MAX_PATH];
  DWORD nameSize = sizeof name, type = 0;
  BYTE data[8];
  DWORD dataSize = sizeof data;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegEnumValueA(scratch.get(), 0, name, &nameSize, nullptr, &type, data, &dataSize));
  EXPECT_EQ(40u, dataSize);
}

TEST_F(Registry, TheDefaultValueIsNamedByNullOrEmptyName) {
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), nullptr, REG_SZ, std::string("default", 8)));
  char data[16] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch.get(), "", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(data), &size));
  EXPECT_STREQ("default", data);
}

TEST_F(Registry, AHandleToADeletedKeyFailsFurtherUse) {
  ScopedKey victim;
  ASSERT_EQ(ERROR_SUCCESS, Create("victim", &victim));
  ASSERT_EQ(ERROR_SUCCESS, Set(victim.get(), "v", REG_DWORD, std::string(4, '\0')));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(scratch.get(), "victim"));
  DWORD size = 0;
  EXPECT_EQ(ERROR_KEY_DELETED,
            RegQueryValueExA(victim.get(), "v", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_KEY_DELETED, Set(victim.get(), "w", REG_DWORD, std::string(4, '\0')));
  char name[MAX_PATH];
  EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyA(victim.get(), 0, name, sizeof name));
  EXPECT_FALSE(KeyExists(scratch.get(), "victim"));
}

TEST_F(Registry, CreateReportsWhetherItCreatedOrOpened) {
  DWORD disposition = 0;
  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(scratch.get(), "made", 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, key.receive(), &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(scratch.get(), "MADE", 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, key.receive(), &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
}

TEST_F(Registry, CreateMakesEveryMissingKeyOnThePath) {
  ASSERT_EQ(ERROR_SUCCESS, Create("one\\two\\three"));
  EXPECT_TRUE(KeyExists(scratch.get(), "one"));
  EXPECT_TRUE(KeyExists(scratch.get(), "one\\two"));
  EXPECT_TRUE(KeyExists(scratch.get(), "one\\two\\three"));
}

TEST_F(Registry, OpeningTheEmptyPathGivesTheSameKey) {
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "marker", REG_DWORD, std::string(4, '\x09')));
  ScopedKey same;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(scratch.get(), "", 0, KEY_READ, same.receive()));
  DWORD size = 0;
  EXPECT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(same.get(), "marker", nullptr, nullptr, nullptr, &size));
}

TEST_F(Registry, AHandleAllowsOnlyTheRightsItWasOpenedWith) {
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "v", REG_DWORD, std::string(4, '\0')));
  ScopedKey readOnly;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, scratchKey.c_str(), 0, KEY_READ, readOnly.receive()));
  EXPECT_EQ(ERROR_ACCESS_DENIED, Set(readOnly.get(), "w", REG_DWORD, std::string(4, '\0')));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(readOnly.get(), "v"));
  ScopedKey writeOnly;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, scratchKey.c_str(), 0, KEY_SET_VALUE,
                                         writeOnly.receive()));
  DWORD size = 0;
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegQueryValueExA(writeOnly.get(), "v", nullptr, nullptr, nullptr, &size));
}

TEST_F(Registry, ClosingAHandleTwiceReportsAnInvalidHandle) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, scratchKey.c_str(), 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
}

TEST_F(Registry, DeleteTreeBottomUpLeavesNothing) {
  for (const char* path : {"tree\\a\\a1", "tree\\a\\a2", "tree\\b", "tree\\c\\c1\\c11"})
    ASSERT_EQ(ERROR_SUCCESS, Create(path));
  EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(scratch.get(), "tree"));
  EXPECT_FALSE(KeyExists(scratch.get(), "tree"));
  EXPECT_TRUE(SubkeyNames(scratch.get()).empty());
}

TEST_F(Registry, QueryInfoCountsSubkeysAndValues) {
  ASSERT_EQ(ERROR_SUCCESS, Create("k1"));
  ASSERT_EQ(ERROR_SUCCESS, Create("k2"));
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "v", REG_DWORD, std::string(4, '\0')));
  DWORD subkeys = 0, values = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryInfoKeyA(scratch.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(2u, subkeys);
  EXPECT_EQ(1u, values);
}

// Windows keeps string data in UTF-16 and converts it for the ANSI calls; the wide calls
// hand it over as it is kept: two bytes a character, sizes in bytes, the empty strings
// inside a multi-string (the pending file operations' empty targets) kept.
TEST_F(Registry, AMultiStringCrossesTheWideCallsAsUtf16) {
  const std::string ansi("\\??\\C:\\a\0\0\\??\\C:\\b\0\0\0", 21);
  ASSERT_EQ(ERROR_SUCCESS, Set(scratch.get(), "List", REG_MULTI_SZ, ansi));
  const WCHAR name[] = {'L', 'i', 's', 't', 0};
  std::string wide;
  for (char c : ansi) wide += std::string{c, '\0'};

  DWORD type = 0, size = 4;
  BYTE small[4] = {};
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(scratch.get(), name, nullptr, &type, small, &size));
  EXPECT_EQ(wide.size(), size);
  std::string data(size, '\x7f');
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(scratch.get(), name, nullptr, &type,
                                            reinterpret_cast<BYTE*>(&data[0]), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  EXPECT_EQ(wide, data);

  // Written back through the wide call without its first entry, read through the ANSI one.
  const std::string rest = wide.substr(2 * 10);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(scratch.get(), name, 0, REG_MULTI_SZ,
                                          reinterpret_cast<const BYTE*>(rest.data()),
                                          static_cast<DWORD>(rest.size())));
  char back[32] = {};
  size = sizeof back;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch.get(), "LIST", nullptr, &type,
                                            reinterpret_cast<BYTE*>(back), &size));
  EXPECT_EQ(ansi.substr(10), std::string(back, size));
}

}  // namespace
}  // namespace conformance
