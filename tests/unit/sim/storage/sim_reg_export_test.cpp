// One key exported as the registry editor does it: the key's own line always, under its
// full path, its subtree below it, and a file that imports into another registry as the
// same key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/storage/reg_file.h"
#include "platform/sim/machine/registry.h"

namespace sim {
namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00\r\n";

std::string Export(const Registry& registry, const std::string& path,
                   RegFileEncoding encoding = RegFileEncoding::kCp1252) {
  const std::shared_ptr<RegKey> key = registry.FindFull(path);
  EXPECT_TRUE(key) << path;
  if (!key) return "";
  std::string out, error;
  EXPECT_TRUE(FormatRegExport(*key, encoding, &out, &error)) << error;
  return out;
}

// A registry with a product-like tree: values at several depths and keys without values.
void Fill(Registry* registry) {
  registry->SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product", "Name", 1,
                     Registry::StringData("Card"));
  registry->SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Customer", "VID_PID_NAME1", 1,
                     std::string("ID") + std::string(4, '\0'));
  registry->CreateFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Empty");
  registry->SetValue("HKEY_CURRENT_USER\\Software\\Vendor", "Count", 4, Registry::DwordData(3));
}

TEST(RegExport, TheKeysOwnLineUnderItsFullPathThenItsSubtree) {
  struct Case {
    const char* key;
    std::string expected;  // after the header line
  };
  const Case cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product",
       "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product]\r\n\"Name\"=\"Card\"\r\n"
       "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Customer]\r\n"
       // A string with the installer's extra terminators is kept as hex(1).
       "\"VID_PID_NAME1\"=hex(1):49,00,44,00,00,00,00,00,00,00,00,00\r\n"
       "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Empty]\r\n\r\n"},
      // A key without values of its own still has its line, so an import makes it.
      {"HKLM\\SOFTWARE\\Vendor",
       "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
       "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product]\r\n\"Name\"=\"Card\"\r\n"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Empty",
       "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Empty]\r\n\r\n"},
      {"HKCU\\Software\\Vendor",
       "\r\n[HKEY_CURRENT_USER\\Software\\Vendor]\r\n"
       "\"Count\"=dword:00000003\r\n\r\n"},
  };
  Registry registry;
  Fill(&registry);
  for (const Case& c : cases) {
    const std::string text = Export(registry, c.key);
    ASSERT_EQ(0u, text.rfind(kHeader, 0)) << c.key;
    EXPECT_EQ(c.expected, text.substr(sizeof kHeader - 1, c.expected.size())) << c.key;
  }
}

TEST(RegExport, ImportsIntoAnotherRegistryAsTheSameKeys) {
  Registry source;
  Fill(&source);
  for (const char* path : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor",
                           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Empty",
                           "HKEY_CURRENT_USER\\Software\\Vendor"}) {
    for (RegFileEncoding encoding : {RegFileEncoding::kCp1252, RegFileEncoding::kUtf16Le}) {
      Registry target;
      std::vector<RegFileOp> ops;
      std::string error;
      ASSERT_TRUE(ParseRegFile(Export(source, path, encoding), "export.reg", &ops, &error))
          << error;
      ApplyRegFile(ops, &target);
      // The exported key itself exists, also when it holds nothing.
      const std::shared_ptr<RegKey> copy = target.FindFull(path);
      ASSERT_TRUE(copy) << path;
      // The same export from both compares names, values and order at once.
      EXPECT_EQ(Export(source, path), Export(target, path)) << path;
    }
  }
}

TEST(RegExport, Utf16IsTheSameTextBehindAByteOrderMark) {
  Registry registry;
  Fill(&registry);
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor";
  EXPECT_EQ(std::string("\xFF\xFE", 2) + AnsiToUtf16Le(Export(registry, key)),
            Export(registry, key, RegFileEncoding::kUtf16Le));
}

TEST(RegExport, RefusesASubkeyNameTheFormatCannotHold) {
  Registry registry;
  registry.CreateFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Bad\nName");
  std::string out, error;
  EXPECT_FALSE(FormatRegExport(*registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"),
                               RegFileEncoding::kCp1252, &out, &error));
  EXPECT_NE(std::string::npos, error.find("control characters")) << error;
}

}  // namespace
}  // namespace sim
