// Registry editor exports of real machines: the ANSI REGEDIT4 form beside the UTF-16 one,
// every value type either writes, what code page 1252 lacks (read as the ANSI functions
// return it, and counted, or refused when the file is the machine folder's own),
// HKEY_CURRENT_CONFIG, and keys the export holds replacing the machine's, in any order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/machine/registry.h"
#include "platform/sim/storage/reg_file.h"

namespace sim {
namespace {

constexpr char kV5[] = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr char kV4[] = "REGEDIT4\r\n\r\n";
constexpr char kKey[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n";

std::string Utf16File(const std::string& ansi) {
  return std::string("\xff\xfe", 2) + AnsiToUtf16Le(ansi);
}

// The one value a file sets, or a failure.
RegValue ValueOf(const std::string& file, RegFileLosses* losses = nullptr) {
  std::vector<RegFileOp> ops;
  std::string error;
  EXPECT_TRUE(ParseRegFile(file, "t.reg", &ops, &error, losses)) << error;
  for (const RegFileOp& op : ops) {
    if (op.kind == RegFileOp::kSetValue) return op.value;
  }
  ADD_FAILURE() << "no value in the file";
  return {};
}

struct TypeCase {
  const char* name;
  const char* v5;  // the line regedit /e writes
  const char* v4;  // the line regedit /a writes for the same value
  uint32_t type;
  std::string data;  // what the ANSI functions return
};

class ExportValueTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ExportValueTypes, BothFormsGiveTheBytesTheAnsiFunctionsReturn) {
  const TypeCase& c = GetParam();
  for (const std::string& file :
       {std::string(kV5) + kKey + c.v5 + "\r\n", Utf16File(std::string(kV5) + kKey + c.v5 + "\r\n"),
        std::string(kV4) + kKey + c.v4 + "\r\n"}) {
    const RegValue value = ValueOf(file);
    EXPECT_EQ(value.type, c.type) << file;
    EXPECT_EQ(value.data, c.data) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExportValueTypes,
    ::testing::Values(
        TypeCase{"None", "\"a\"=hex(0):", "\"a\"=hex(0):", 0, ""},
        TypeCase{"Sz", "\"a\"=\"x\\\"y\"", "\"a\"=\"x\\\"y\"", 1, std::string("x\"y\0", 4)},
        // Strings written as hex: UTF-16 in version 5, ANSI bytes in REGEDIT4.
        TypeCase{"SzAsHex", "\"a\"=hex(1):41,00,00,00,00,00", "\"a\"=hex(1):41,00,00", 1,
                 std::string("A\0\0", 3)},
        TypeCase{"ExpandSz", "\"a\"=hex(2):25,00,e9,00,00,00", "\"a\"=hex(2):25,e9,00", 2,
                 std::string("%\xe9\0", 3)},
        TypeCase{"Binary", "\"a\"=hex:01,ff", "\"a\"=hex:01,ff", 3, "\x01\xff"},
        TypeCase{"Dword", "\"a\"=dword:0000012c", "\"a\"=dword:0000012c", 4,
                 std::string("\x2c\x01\0\0", 4)},
        TypeCase{"DwordAsHex", "\"a\"=hex(4):2c,01,00,00", "\"a\"=hex(4):2c,01,00,00", 4,
                 std::string("\x2c\x01\0\0", 4)},
        TypeCase{"DwordBigEndian", "\"a\"=hex(5):00,00,01,2c", "\"a\"=hex(5):00,00,01,2c", 5,
                 std::string("\0\0\x01\x2c", 4)},
        // A link's target stays UTF-16: the ANSI functions convert strings only.
        TypeCase{"Link", "\"a\"=hex(6):5c,00,3f,00", "\"a\"=hex(6):5c,00,3f,00", 6,
                 std::string("\\\0?\0", 4)},
        TypeCase{"MultiSz", "\"a\"=hex(7):61,00,00,00,62,00,00,00,00,00",
                 "\"a\"=hex(7):61,00,62,00,00", 7, std::string("a\0b\0\0", 5)},
        TypeCase{"ResourceList", "\"a\"=hex(8):01,00,00,00,\\\r\n  05,00",
                 "\"a\"=hex(8):01,00,00,00,\\\r\n  05,00", 8, std::string("\x01\0\0\0\x05\0", 6)},
        TypeCase{"FullResourceDescriptor", "\"a\"=hex(9):05,00", "\"a\"=hex(9):05,00", 9,
                 std::string("\x05\0", 2)},
        TypeCase{"ResourceRequirementsList", "\"a\"=hex(a):48,00", "\"a\"=hex(a):48,00", 10,
                 std::string("\x48\0", 2)},
        TypeCase{"Qword", "\"a\"=hex(b):00,10,00,00,00,00,00,00",
                 "\"a\"=hex(b):00,10,00,00,00,00,00,00", 11, std::string("\0\x10\0\0\0\0\0\0", 8)}),
    [](const ::testing::TestParamInfo<TypeCase>& info) { return info.param.name; });

// What code page 1252 lacks: in a key name, a quoted string, a string written as hex, and a
// string of odd length. An export is read as the ANSI functions return it, each loss
// counted and the first one's line named; a machine folder's own file is refused there.
TEST(RegFileExports, WhatCodePage1252LacksIsReadAsQuestionMarks) {
  const std::string text = std::string(kV5) +                          // lines 1, 2
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\xd0]\r\n"  // 3: U+0416 (below)
                           "\"a\"=\"ok\"\r\n"                          // 4
                           "\"b\"=\"\xd0\xd0\"\r\n"                    // 5: two more
                           "\"c\"=hex(2):16,04,00,00\r\n"              // 6: one more
                           "\"d\"=hex(7):61,00,62\r\n";                // 7: odd length
  // The UTF-16 file: each \xd0 stands for U+0416, which code page 1252 lacks.
  std::string utf16 = Utf16File(text);
  for (size_t i = 2; i + 1 < utf16.size(); i += 2) {
    if (utf16[i] == '\xd0' && utf16[i + 1] == 0) utf16[i] = '\x16', utf16[i + 1] = '\x04';
  }
  std::vector<RegFileOp> ops;
  std::string error;
  EXPECT_FALSE(ParseRegFile(utf16, "t.reg", &ops, &error));
  EXPECT_EQ(error, "t.reg:3: character U+0416 has no code page 1252 form");

  RegFileLosses losses;
  ASSERT_TRUE(ParseRegFile(utf16, "t.reg", &ops, &error, &losses)) << error;
  EXPECT_EQ(losses.characters, 4u);
  EXPECT_EQ(losses.firstCharacterLine, 3);
  EXPECT_EQ(losses.oddStrings, 1u);
  EXPECT_EQ(losses.firstOddLine, 7);
  ASSERT_EQ(ops.size(), 5u);
  EXPECT_EQ(ops[0].keyPath, "HKEY_LOCAL_MACHINE\\SOFTWARE\\?");
  EXPECT_EQ(ops[2].value.data, std::string("??\0", 3));
  EXPECT_EQ(ops[3].value.data, std::string("?\0", 2));
  EXPECT_EQ(ops[4].value.data, std::string("a", 1));  // the odd byte left out

  // The same in a code page 1252 file: there only the strings written as hex can lack.
  RegFileLosses ansi;
  ASSERT_TRUE(ParseRegFile(text, "t.reg", &ops, &error, &ansi)) << error;
  EXPECT_EQ(ansi.characters, 1u);
  EXPECT_EQ(ansi.firstCharacterLine, 6);
  EXPECT_EQ(ops[0].keyPath, "HKEY_LOCAL_MACHINE\\SOFTWARE\\\xd0");
  // A file that lacks nothing loses nothing.
  RegFileLosses none;
  ASSERT_TRUE(ParseRegFile(std::string(kV4) + kKey + "\"a\"=hex(2):d0,00\r\n", "t.reg", &ops,
                           &error, &none));
  EXPECT_EQ(none.characters + none.oddStrings, 0u);
}

TEST(RegFileExports, CurrentConfigIsTheCurrentHardwareProfile) {
  const std::string text =
      std::string(kV5) + "[HKEY_CURRENT_CONFIG]\r\n" +
      "[HKEY_CURRENT_CONFIG\\Software\\Fonts]\r\n\"LogPixels\"=dword:00000060\r\n";
  std::vector<RegFileOp> ops;
  std::string error;
  ASSERT_TRUE(ParseRegFile(text, "t.reg", &ops, &error)) << error;
  const std::string profile =
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
  EXPECT_EQ(ops[0].keyPath, profile);
  EXPECT_EQ(ops[1].keyPath, profile + "\\Software\\Fonts");
  // Its four levels count towards Windows' 512.
  std::string deep = std::string(kV5) + "[HKEY_CURRENT_CONFIG";
  for (int i = 0; i < 509; ++i) deep += "\\k";
  EXPECT_FALSE(ParseRegFile(deep + "]\r\n", "t.reg", &ops, &error));
  EXPECT_EQ(error, "t.reg:3: key nested deeper than 512 levels");
  EXPECT_TRUE(ParseRegFile(deep.substr(0, deep.size() - 2) + "]\r\n", "t.reg", &ops, &error));
}

// The machine had a key with values and subkeys; the export holds that key with other
// values and two subkeys, written in any order. Applied as an export, the key is the
// export's; a key it holds nothing of, and one it reaches only through a deeper line,
// keep what they had.
TEST(RegFileExports, AKeyTheExportHoldsIsTheExportsWhole) {
  const std::vector<std::string> lines = {
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Held]\r\n\"new\"=dword:00000001\r\n",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Held\\Kept]\r\n",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Through\\Deeper]\r\n\"d\"=\"x\"\r\n",
      // A key between two the file holds, without a line of its own: the file's too.
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Held\\Implied\\Deep]\r\n",
  };
  std::vector<size_t> order = {0, 1, 2, 3};
  do {
    Registry registry;
    registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Held", "old", 1, "o");
    registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Held\\Gone", "g", 1, "g");
    registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Held\\Kept", "stale", 1, "s");
    registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Through", "t", 1, "t");
    registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Through\\Other", "o", 1, "o");
    registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Apart", "a", 1, "a");
    std::string text = kV5;
    for (size_t i : order) text += lines[i];
    std::vector<RegFileOp> ops;
    std::string error;
    ASSERT_TRUE(ParseRegFile(text, "t.reg", &ops, &error)) << error;
    RegFileApplier applier(&registry);
    applier.ReplaceHeldKeys();
    for (const RegFileOp& op : ops) applier.Apply(op);
    applier.Finish();
    const auto held = registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Held");
    ASSERT_TRUE(held);
    EXPECT_EQ(held->values.Size(), 1u);
    EXPECT_TRUE(held->values.Find("new"));
    EXPECT_EQ(held->subkeys.Size(), 2u);
    EXPECT_TRUE(held->subkeys.Find("Kept"));
    EXPECT_TRUE(registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Held\\Implied\\Deep"));
    EXPECT_EQ(registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Held\\Kept")->values.Size(), 0u);
    const auto through = registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Through");
    EXPECT_TRUE(through->values.Find("t"));
    EXPECT_TRUE(through->subkeys.Find("Other"));
    EXPECT_TRUE(through->subkeys.Find("Deeper"));
    EXPECT_TRUE(registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Apart"));
  } while (std::next_permutation(order.begin(), order.end()));

  // Applied as a plain file, the same statements add to what is there.
  Registry registry;
  registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Held\\Gone", "g", 1, "g");
  std::vector<RegFileOp> ops;
  std::string error;
  ASSERT_TRUE(ParseRegFile(std::string(kV5) + lines[0], "t.reg", &ops, &error));
  ApplyRegFile(ops, &registry);
  EXPECT_TRUE(registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Held\\Gone"));
}

}  // namespace
}  // namespace sim
