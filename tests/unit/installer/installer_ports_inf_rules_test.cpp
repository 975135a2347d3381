// The text rules the installer and the package checker share: the bytes read, where a
// value is cut, the VID_PID_NAMEn window, the names a value may make, and the composed
// paths at their MAX_PATH boundaries per platform folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "file_search/file_name_rules.h"
#include "installer/customisation_rules.h"
#include "installer/ports_inf.h"

namespace {

TEST(PortsInfText, KeepsTheFirst20000BytesUpToTheFirstZeroByte) {
  const std::string full(20000, 'a');
  const struct {
    const char* what;
    std::string bytes;
    size_t expectedLength;
  } cases[] = {
      {"empty", "", 0},
      {"short", "abc", 3},
      {"exactly the limit", full, 20000},
      {"one byte over", full + "b", 20000},
      {"zero byte early", std::string("ab\0cd", 5), 2},
      {"zero byte at the first byte", std::string("\0ab", 3), 0},
      {"zero byte just past the limit", full + std::string("\0", 1), 20000},
      {"zero byte as the last byte read", std::string(19999, 'a') + std::string("\0b", 2), 19999},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = PortsInfText(c.bytes);
    EXPECT_EQ(text.size(), c.expectedLength);
    EXPECT_EQ(text, c.bytes.substr(0, c.expectedLength));
  }
}

TEST(CutValueAt, ReportsThePositionsTheValueWasCutFrom) {
  const std::string wellFormed = "CustomerName=\"AB\"\r\nProviderName=\"P\"";
  const struct {
    const char* what;
    std::string text;
    long keyAt, endAt, first, count;
    std::string value;
  } cases[] = {
      {"well-formed", wellFormed, 0, 19, 14, 5, "AB"},
      {"after other text", ";x\nCustomerName=\"C\"\nProviderName=", 3, 20, 17, 3, "C"},
      // The key missing: the value starts at offset length(K) of the text.
      {"key missing", "0123456789abcdefKEEP\nProviderName=", -1, 21, 13, 8, "defKEEP"},
      {"end key before the key", "ProviderName=\"P\"\nCustomerName=\"C\"", 17, 0, 31, 0, ""},
      {"end key missing", "CustomerName=\"C\"\n", 0, -1, 14, 0, ""},
      {"both missing", "nothing here", -1, -1, 12, 0, ""},
      {"key ends the text", "CustomerName=", 0, -1, 13, 0, ""},
      {"end key right after the key", "CustomerName=ProviderName=", 0, 13, 14, 0, ""},
      {"only quotes and blanks", "CustomerName=\" \"\t\"\nProviderName=", 0, 19, 14, 5, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ValueCut cut = CutValueAt(c.text, "CustomerName=", "ProviderName=");
    EXPECT_EQ(cut.keyAt, c.keyAt);
    EXPECT_EQ(cut.endAt, c.endAt);
    EXPECT_EQ(cut.first, c.first);
    EXPECT_EQ(cut.count, c.count);
    EXPECT_EQ(cut.value, c.value);
    EXPECT_EQ(CutValue(c.text, "CustomerName=", "ProviderName="), c.value);
  }
}

TEST(FindSupportedIdWindow, TakesSeventeenCharactersThreeAfterTheName) {
  const struct {
    const char* what;
    std::string text;
    size_t nameAt, windowAt;
    std::string window, id;
    bool defaulted;
  } cases[] = {
      {"sample line", "VID_PID_NAME1 = VEN_6A3C&DEV_5E17\r\n", 0, 16, "VEN_6A3C&DEV_5E17",
       "VEN_6A3C&DEV_5E17", false},
      {"more text after the ID is cut", "x\nVID_PID_NAME1 = VEN_1111&DEV_2222XYZ", 2, 18,
       "VEN_1111&DEV_2222", "VEN_1111&DEV_2222", false},
      {"no blanks around '='", "VID_PID_NAME1=VEN_6A3C&DEV_5E17\r\n", 0, 16, "N_6A3C&DEV_5E17\r\n",
       "N_6A3C&DEV_5E17", false},
      {"commas go, blanks are stripped", "VID_PID_NAME1 = ,VEN_1,\r\n", 0, 16, ",VEN_1,\r\n",
       "VEN_1", false},
      {"only commas and blanks", "VID_PID_NAME1 = , ,\t,\r\n", 0, 16, ", ,\t,\r\n",
       kDefaultSupportedId, true},
      {"window clamped at the text's end", "VID_PID_NAME1 = VEN", 0, 16, "VEN", "VEN", false},
      {"name ends the text", "VID_PID_NAME1", 0, 13, "", kDefaultSupportedId, true},
      {"first occurrence counts", "VID_PID_NAME12 = A\nVID_PID_NAME1 = B", 0, 16,
       " A\nVID_PID_NAME1 ", "A\nVID_PID_NAME1", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SupportedIdWindow w;
    ASSERT_TRUE(FindSupportedIdWindow(c.text, "VID_PID_NAME1", &w));
    EXPECT_EQ(w.nameAt, c.nameAt);
    EXPECT_EQ(w.windowAt, c.windowAt);
    EXPECT_EQ(w.window, c.window);
    EXPECT_EQ(w.id, c.id);
    EXPECT_EQ(w.defaulted, c.defaulted);
    std::string id;
    ASSERT_TRUE(FindSupportedId(c.text, "VID_PID_NAME1", &id));
    EXPECT_EQ(id, c.id);
  }
  SupportedIdWindow w;
  EXPECT_FALSE(FindSupportedIdWindow("vid_pid_name1 = VEN_6A3C&DEV_5E17", "VID_PID_NAME1", &w));
}

TEST(NameFaults, FileAndKeyNames) {
  const struct {
    std::string name;
    bool file, key;  // usable as a file name, as a key name
  } cases[] = {
      {"KORVANE", true, true},
      {"", false, false},
      {std::string(255, 'k'), true, true},
      {std::string(256, 'k'), false, false},
      {".", false, true},
      {"..", false, true},
      {"a..b", true, true},
      {"ACME.", false, true},
      {"ACME ", false, true},
      {" ACME", true, true},
      {"AC\\ME", false, false},
      {"AC/ME", false, true},
      {"AC:ME", false, true},
      {"AC*ME", false, true},
      {"AC?ME", false, true},
      {"AC\"ME", false, true},
      {"AC<ME", false, true},
      {"AC>ME", false, true},
      {"AC|ME", false, true},
      {"AC\x1fME", false, true},
      {"AC\tME", false, true},
      {"M\xfcller", true, true},
      // DEL, and a byte code page 1252 leaves undefined (a C1 control): no registry
      // file can write them in the customer's key name.
      {"AC\x7fME", false, true},
      {"AC\x81ME", false, true},
      // The UTF-8 form, in which hosts keep file names, holds 255 bytes at most: the
      // euro sign takes three.
      {std::string(85, '\x80'), true, true},
      {std::string(86, '\x80'), false, true},
      {std::string(127, '\xe9') + "k", true, true},
      {std::string(128, '\xe9'), false, true},
      // Device names, in any letter case, with an extension or blanks before it; the
      // code page's superscript digits count as digits. Names that only begin so pass.
      {"CON", false, true},
      {"aux", false, true},
      {"Nul.txt", false, true},
      {"PRN .log", false, true},
      {"com1", false, true},
      {"LPT9.tar.gz", false, true},
      {"COM\xb9", false, true},
      {"COM0", true, true},
      {"LPT10", true, true},
      {"CONSOLE", true, true},
      {"CON_Wendmarrow.exe", true, true},
      {"ACON", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("\"" + c.name + "\"");
    EXPECT_EQ(FileNameFault(c.name) == nullptr, c.file);
    EXPECT_EQ(IsSafeFileName(c.name), c.file);
    EXPECT_EQ(KeyNameFault(c.name) == nullptr, c.key);
    EXPECT_EQ(IsSafeKeyName(c.name), c.key);
  }
}

TEST(ResolveCustomisation, DefaultsAndHeldNames) {
  const std::string keys =
      "CustomerName=\"%C\"\nProviderName=\"%P\"\nUninstallName=\"%U\"\nDiskName=";
  auto inf = [&](const std::string& c, const std::string& p, const std::string& u) {
    std::string text = keys;
    text.replace(text.find("%C"), 2, c);
    text.replace(text.find("%P"), 2, p);
    text.replace(text.find("%U"), 2, u);
    return text;
  };
  const CustomisationValues none;
  const CustomisationValues held = {"OLD", "OLD_Wendmarrow", "Old Ltd", "Old IO"};
  const struct {
    const char* what;
    std::string text;
    CustomisationValues before, after;
  } cases[] = {
      {"all read",
       inf("ACME", "Acme Ltd", "Acme IO"),
       none,
       {"ACME", "ACME_Wendmarrow", "Acme Ltd", "Acme IO"}},
      {"all empty",
       inf("", "", ""),
       none,
       {kDefaultCustomerName, kDefaultUninstallerName, kDefaultProviderName, kDefaultDisplayName}},
      // An empty customer keeps what was held; the other values never do.
      {"empty over held",
       inf("", "", ""),
       held,
       {"OLD", "OLD_Wendmarrow", kDefaultProviderName, kDefaultDisplayName}},
      {"read over held", inf("ACME", "P", "U"), held, {"ACME", "ACME_Wendmarrow", "P", "U"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CustomisationValues v = ResolveCustomisation(c.text, c.before);
    EXPECT_EQ(v.customerName, c.after.customerName);
    EXPECT_EQ(v.uninstallerName, c.after.uninstallerName);
    EXPECT_EQ(v.providerName, c.after.providerName);
    EXPECT_EQ(v.displayName, c.after.displayName);
  }
}

CustomisationValues Named(size_t customerLength, size_t providerLength = 5) {
  const std::string customer(customerLength, 'K');
  return {customer, customer + kUninstallerSuffix, std::string(providerLength, 'P'), "IO"};
}

// The role of the first unusable name built from `key`, or "" when all are usable.
std::string FirstFault(const CustomisationValues& values, const std::string* windows,
                       const std::string& platform, const char* key) {
  const std::vector<ComposedName> names = ComposedNames(values, windows, platform);
  const ComposedName* fault = FirstUnusable(names, key);
  return fault ? fault->role : "";
}

TEST(ComposedNames, LongestPathDecidesPerPlatformFolder) {
  // "C:\Program Files\" + customer + platform + "\" + customer + "_Wendmarrow.exe" is the
  // longest composition: 39 + 2n characters with "\AMD64", 37 + 2n with "\X86", and a
  // path fits while it is shorter than 260.
  const std::string windows = "C:\\WINDOWS";
  const std::string kInFolder = "uninstaller in the program folder";
  const struct {
    size_t customerLength;
    const char* platform;
    const std::string* windows;
    std::string fault;
  } cases[] = {
      {110, "\\AMD64", &windows, ""},
      {111, "\\AMD64", &windows, kInFolder},
      {111, "\\X86", &windows, ""},
      {112, "\\X86", &windows, kInFolder},
      // 38 + 2n with "\\IA64": 260 characters at n = 111, one too many.
      {110, "\\IA64", &windows, ""},
      {111, "\\IA64", &windows, kInFolder},
      {112, "\\X86", nullptr, ""},
      {192, "", nullptr, ""},
      {193, "", nullptr, "customer key"},
      {240, "", nullptr, "customer key"},
      {241, "", nullptr, "uninstaller file name"},
      {0, "", nullptr, "program folder name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.customerLength) + " " + c.platform);
    EXPECT_EQ(FirstFault(Named(c.customerLength), c.windows, c.platform, "CustomerName="), c.fault);
  }
  // The uninstaller's file name passes 255 characters before its customer name does.
  const CustomisationValues longName = Named(245);
  const std::vector<ComposedName> names = ComposedNames(longName, nullptr, "");
  EXPECT_EQ(names[0].fault, nullptr);
  EXPECT_NE(names[1].fault, nullptr);
  EXPECT_EQ(std::string(names[1].role), "uninstaller file name");
}

TEST(ComposedNames, ProviderNameMakesTheUninstallEntryKey) {
  // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\" is 52 characters.
  const struct {
    size_t providerLength;
    std::string fault;
  } cases[] = {{1, ""}, {207, ""}, {208, "uninstall entry key"}, {0, "uninstall entry name"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.providerLength);
    EXPECT_EQ(FirstFault(Named(7, c.providerLength), nullptr, "", "ProviderName="), c.fault);
    // A provider's fault is never the customer's.
    EXPECT_EQ(FirstFault(Named(7, c.providerLength), nullptr, "", "CustomerName="), "");
  }
}

}  // namespace
