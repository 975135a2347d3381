// Registry files in the registry editor's text format: every value form, deletions,
// strict errors with their line, code page 1252 at the ANSI boundary, and the files
// Wine's regedit wrote for the same fixture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/storage/reg_file.h"
#include "platform/sim/machine/registry.h"

namespace sim {
namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00\r\n";
constexpr char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\T";

std::string ReadFixture(const std::string& relative) {
  std::ifstream in(std::string(KESTROLIN_SOURCE_DIR) + "/tests/fixtures/" + relative,
                   std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Parses and applies; fails the test on a parse error.
void Load(const std::string& text, Registry* registry) {
  std::vector<RegFileOp> ops;
  std::string error;
  ASSERT_TRUE(ParseRegFile(text, "t.reg", &ops, &error)) << error;
  ApplyRegFile(ops, registry);
}

std::string Write(const Registry& registry) {
  std::string out, error;
  EXPECT_TRUE(FormatRegFile(*registry.LocalMachine(), RegFileEncoding::kCp1252, &out, &error))
      << error;
  return out;
}

// The value lines of a written file, for the key kKey (continuations joined as written).
std::string ValueLinesOf(const std::string& file) {
  const std::string start = std::string("[") + kKey + "]\r\n";
  const size_t pos = file.find(start);
  if (pos == std::string::npos) return "";
  const size_t begin = pos + start.size();
  const size_t end = file.find("\r\n\r\n", begin);
  return file.substr(begin, end == std::string::npos ? std::string::npos : end + 2 - begin);
}

struct ValueCase {
  const char* line;  // as read
  uint32_t type;
  std::string data;     // the ANSI bytes the simulator keeps
  const char* written;  // as the writer puts it back; null: same as read
};

// Test names and failure reports show the line, not the case's bytes.
void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.line; }

class RegValueForms : public ::testing::TestWithParam<ValueCase> {};

TEST_P(RegValueForms, ParseToAnsiBytesAndWriteBack) {
  const ValueCase& c = GetParam();
  Registry registry;
  Load(std::string(kHeader) + "\r\n[" + kKey + "]\r\n" + c.line + "\r\n", &registry);
  auto key = registry.FindFull(kKey);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->values.Size(), 1u);
  const RegValue* value = key->values.At(0).second;
  EXPECT_EQ(value->type, c.type);
  EXPECT_EQ(value->data, c.data);
  EXPECT_EQ(ValueLinesOf(Write(registry)), std::string(c.written ? c.written : c.line) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    AllForms, RegValueForms,
    ::testing::Values(
        ValueCase{"\"s\"=\"text\"", 1, std::string("text\0", 5), nullptr},
        ValueCase{"\"s\"=\"\"", 1, std::string("\0", 1), nullptr},
        ValueCase{"@=\"default\"", 1, std::string("default\0", 8), nullptr},
        ValueCase{"\"@\"=\"named at\"", 1, std::string("named at\0", 9), nullptr},
        ValueCase{"\"q\\\"\\\\\"=\"say \\\"hi\\\" C:\\\\dir\\\\\"", 1,
                  std::string("say \"hi\" C:\\dir\\\0", 17), nullptr},
        ValueCase{"\"s\"=\"caf\xe9 \x80\"", 1, std::string("caf\xe9 \x80\0", 7), nullptr},
        ValueCase{"\"d\"=dword:0000000a", 4, std::string("\x0a\0\0\0", 4), nullptr},
        ValueCase{"\"d\"=dword:FFFFFFFF", 4, std::string("\xff\xff\xff\xff", 4),
                  "\"d\"=dword:ffffffff"},
        ValueCase{"\"d\"=dword:a", 4, std::string("\x0a\0\0\0", 4), "\"d\"=dword:0000000a"},
        ValueCase{"\"b\"=hex:00,01,ff", 3, std::string("\0\x01\xff", 3), nullptr},
        ValueCase{"\"b\"=hex:", 3, "", nullptr},
        ValueCase{"\"b\"=hex(3):0A", 3, "\x0a", "\"b\"=hex:0a"},
        // A REG_SZ written with length + 4 keeps its extra NULs.
        ValueCase{"\"s\"=hex(1):61,00,62,00,63,00,00,00,00,00,00,00,00,00", 1,
                  std::string("abc\0\0\0\0", 7), nullptr},
        ValueCase{"\"s\"=hex(1):61,00,62,00", 1, "ab", nullptr},  // no terminating NUL
        ValueCase{"\"s\"=hex(1):61,00,09,00,00,00", 1, std::string("a\t\0", 3), nullptr},
        ValueCase{"\"s\"=hex(1):", 1, "", nullptr},
        ValueCase{"\"s\"=hex(1):41,00,00,00", 1, std::string("A\0", 2), "\"s\"=\"A\""},
        // U+20AC and U+0178 are 0x80 and 0x9F in code page 1252; U+0081 stays 0x81.
        ValueCase{"\"s\"=hex(1):ac,20,78,01,81,00,00,00", 1, std::string("\x80\x9f\x81\0", 4),
                  nullptr},
        ValueCase{"\"e\"=hex(2):25,00,41,00,25,00,00,00", 2, std::string("%A%\0", 4), nullptr},
        ValueCase{"\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00", 7, std::string("a\0b\0\0", 5),
                  nullptr},
        ValueCase{"\"q\"=hex(b):01,02,03,04,05,06,07,08", 11, "\x01\x02\x03\x04\x05\x06\x07\x08",
                  nullptr},
        ValueCase{"\"n\"=hex(0):", 0, "", nullptr},
        ValueCase{"\"d\"=hex(4):01,02,03", 4, "\x01\x02\x03", nullptr},  // not 4 bytes
        ValueCase{"\"d\"=hex(4):01,00,00,00", 4, std::string("\x01\0\0\0", 4),
                  "\"d\"=dword:00000001"},
        ValueCase{"\"x\"=hex(100000):ab", 0x100000, "\xab", nullptr},
        ValueCase{"\"b\"=hex:01,\\\r\n  02,\\\r\n\t03", 3, "\x01\x02\x03", "\"b\"=hex:01,02,03"}));

TEST(RegFileWriter, WrapsLongHexLikeRegeditAndReadsItBack) {
  Registry registry;
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<char>(i));
  registry.SetValue(kKey, "LongBinary", 3, bytes);
  registry.SetValue(kKey, "LongMulti", 7, std::string(90, 'x') + std::string("\0\0", 2));
  const std::string file = Write(registry);
  // regedit ends a line after the comma that reaches column 77 and indents by two.
  std::istringstream lines(file);
  std::string line;
  int continuations = 0;
  bool previousContinued = false;
  while (std::getline(lines, line)) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r');
    line.pop_back();
    EXPECT_LE(line.size(), 80u) << line;
    if (previousContinued) {
      EXPECT_EQ(line.compare(0, 2, "  "), 0) << line;
      ++continuations;
    }
    previousContinued = !line.empty() && line.back() == '\\';
    if (previousContinued) {
      EXPECT_EQ(line[line.size() - 2], ',') << line;
    }
  }
  EXPECT_GT(continuations, 10);
  // The first line breaks once it reaches column 77 (20 bytes after the 17-column
  // prefix), a full continuation line holds 25 bytes.
  EXPECT_NE(file.find("\"LongBinary\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,"
                      "10,11,12,13,\\\r\n  14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,"
                      "25,26,27,28,29,2a,2b,2c,\\\r\n  2d,"),
            std::string::npos);
  Registry again;
  Load(file, &again);
  std::string difference;
  EXPECT_TRUE(registry.SameAs(again, &difference)) << difference;
  EXPECT_EQ(Write(again), file);
}

TEST(RegFileWriter, KeysDepthFirstInNameOrderWithEmptyKeys) {
  Registry registry;
  // Made in an order unlike the file's; the file follows enumeration order.
  registry.CreateFull("HKEY_LOCAL_MACHINE\\b");
  registry.CreateFull("HKEY_LOCAL_MACHINE\\a\\Z");
  registry.SetValue("HKEY_LOCAL_MACHINE\\B\\c", "v", 4, Registry::DwordData(1));
  registry.CreateFull("HKEY_LOCAL_MACHINE\\A\\y");
  EXPECT_EQ(Write(registry),
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\a]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\a\\y]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\a\\Z]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\b]\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\b\\c]\r\n\"v\"=dword:00000001\r\n"
            "\r\n");
}

TEST(RegFileWriter, RootLineOnlyWhenTheRootHasValues) {
  Registry registry;
  EXPECT_EQ(Write(registry), "Windows Registry Editor Version 5.00\r\n\r\n");
  registry.LocalMachine()->values.Put("r", RegValue{1, std::string("x\0", 2)});
  EXPECT_EQ(Write(registry),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n\"r\"=\"x\"\r\n"
            "\r\n");
}

TEST(RegFileWriter, RefusesNamesTheFormatCannotHold) {
  for (const char* name : {"line\nbreak", "tab\there", "\x7f"}) {
    Registry registry;
    registry.SetValue(kKey, name, 1, Registry::StringData("x"));
    std::string out, error;
    EXPECT_FALSE(FormatRegFile(*registry.LocalMachine(), RegFileEncoding::kCp1252, &out, &error))
        << name;
    EXPECT_NE(error.find(kKey), std::string::npos) << error;
  }
  Registry registry;
  registry.CreateFull(std::string(kKey) + "\\bad\x01key");
  std::string out, error;
  EXPECT_FALSE(FormatRegFile(*registry.LocalMachine(), RegFileEncoding::kUtf16Le, &out, &error));
  EXPECT_NE(error.find("bad\x01key"), std::string::npos) << error;
}

TEST(RegFileReader, DeletesKeysAndValues) {
  Registry registry;
  registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Deep\\Deeper", "v", 1, "x");
  registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept", "drop", 1, "x");
  registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept", "keep", 1, "y");
  auto deep = registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Deep");
  Load(std::string(kHeader) +
           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\gone]\r\n"
           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\NeverWas]\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n"
           "\"DROP\"=-\r\n"
           "\"neverwas\"=-\r\n",
       &registry);
  EXPECT_FALSE(registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone"));
  EXPECT_TRUE(deep->deleted);  // open handles to the tree fail afterwards
  auto kept = registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept");
  ASSERT_TRUE(kept);
  EXPECT_FALSE(kept->values.Find("drop"));
  EXPECT_TRUE(kept->values.Find("keep"));
}

TEST(RegFileReader, StatementsApplyInFileOrder) {
  Registry registry;
  Load(std::string(kHeader) +
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\r\n\"v\"=\"first\"\r\n"
           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\r\n\"w\"=\"second\"\r\n\"w\"=\"third\"\r\n",
       &registry);
  auto key = registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\K");
  ASSERT_TRUE(key);
  EXPECT_FALSE(key->values.Find("v"));
  ASSERT_TRUE(key->values.Find("w"));
  EXPECT_EQ(key->values.Find("w")->data, std::string("third\0", 6));
}

TEST(RegFileReader, LineEndsCommentsBlankLinesAndIndentation) {
  const std::string body =
      "; a comment\n"
      "\n"
      "   \t\n"
      "  [HKEY_LOCAL_MACHINE\\SOFTWARE\\T]  \n"
      "\t\"a\" = \"1\"\n"
      "  ; another\n"
      "@=dword:00000002\n";
  Registry lf, crlf;
  Load(std::string("Windows Registry Editor Version 5.00\n") + body, &lf);
  std::string withCr;
  for (char c : body) {
    if (c == '\n') withCr += '\r';
    withCr += c;
  }
  Load(kHeader + withCr, &crlf);
  std::string difference;
  EXPECT_TRUE(lf.SameAs(crlf, &difference)) << difference;
  auto key = lf.FindFull(kKey);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->values.Size(), 2u);
}

TEST(RegFileReader, HiveNamesAndClassesRoot) {
  Registry registry;
  Load(std::string(kHeader) +
           "[hkey_current_user\\Software\\X]\r\n\"a\"=\"1\"\r\n"
           "[HKEY_CLASSES_ROOT\\.inf]\r\n@=\"inffile\"\r\n"
           "[HKEY_USERS\\.DEFAULT\\Software]\r\n",
       &registry);
  EXPECT_TRUE(Registry::Find(registry.CurrentUser(), "Software\\X"));
  auto inf = registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.inf");
  ASSERT_TRUE(inf);
  EXPECT_TRUE(inf->values.Find(""));
  EXPECT_TRUE(registry.FindFull("HKEY_USERS\\.DEFAULT\\Software"));
}

struct BadInput {
  const char* name;
  std::string text;
  const char* message;  // the whole message
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

class RegFileErrors : public ::testing::TestWithParam<BadInput> {};

TEST_P(RegFileErrors, NameFileAndLine) {
  const BadInput& c = GetParam();
  std::vector<RegFileOp> ops;
  std::string error;
  EXPECT_FALSE(ParseRegFile(c.text, "HKLM.reg", &ops, &error));
  EXPECT_EQ(error, c.message);
  EXPECT_TRUE(ops.empty());
}

const std::string kTop = std::string(kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n";

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegFileErrors,
    ::testing::Values(
        BadInput{"MissingHeader", "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n",
                 "HKLM.reg:1: missing header: the first line must be 'Windows Registry Editor "
                 "Version 5.00' or 'REGEDIT4'"},
        BadInput{"Regedit5Header", "REGEDIT5\r\n",
                 "HKLM.reg:1: missing header: the first line must be 'Windows Registry Editor "
                 "Version 5.00' or 'REGEDIT4'"},
        BadInput{"EmptyFile", "",
                 "HKLM.reg:1: missing header: the first line must be 'Windows Registry Editor "
                 "Version 5.00' or 'REGEDIT4'"},
        BadInput{"BadHex", kTop + "\"a\"=hex:01,zz,02\r\n", "HKLM.reg:4: bad hex byte 'zz'"},
        BadInput{"HexByteTooLong", kTop + "\"a\"=hex:012\r\n", "HKLM.reg:4: bad hex byte '012'"},
        BadInput{"BadHexOnContinuation", kTop + "\"a\"=hex:01,\\\r\n  02,\\\r\n  0g\r\n",
                 "HKLM.reg:6: bad hex byte '0g'"},
        BadInput{"HexEndsWithComma", kTop + "\"a\"=hex:01,\r\n",
                 "HKLM.reg:4: hex data ends with a comma"},
        BadInput{"HexMissingByte", kTop + "\"a\"=hex:01,,02\r\n",
                 "HKLM.reg:4: missing hex byte before ,"},
        BadInput{"ContinuationWithoutComma", kTop + "\"a\"=hex:01\\\r\n  02\r\n",
                 "HKLM.reg:4: expected , before the line continuation"},
        BadInput{"ContinuationAtEnd", kTop + "\"a\"=hex:01,\\",
                 "HKLM.reg:4: line continuation at end of file"},
        BadInput{"UnterminatedString", kTop + "\"a\"=\"abc\r\n", "HKLM.reg:4: unterminated string"},
        BadInput{"UnterminatedName", kTop + "\"abc=\"x\r\n",
                 "HKLM.reg:4: expected = after the value name"},
        BadInput{"UnknownEscape", kTop + "\"a\"=\"C:\\dir\"\r\n",
                 "HKLM.reg:4: unknown escape sequence '\\d'"},
        BadInput{"TextAfterString", kTop + "\"a\"=\"b\" c\r\n",
                 "HKLM.reg:4: text after the closing quote"},
        BadInput{"DwordNineDigits", kTop + "\"a\"=dword:000000001\r\n",
                 "HKLM.reg:4: dword takes at most 8 hex digits"},
        BadInput{"DwordNotHex", kTop + "\"a\"=dword:0000000g\r\n",
                 "HKLM.reg:4: bad dword '0000000g'"},
        BadInput{"DwordEmpty", kTop + "\"a\"=dword:\r\n", "HKLM.reg:4: dword without digits"},
        BadInput{"KeyWithoutBracket", kTop + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\U\r\n",
                 "HKLM.reg:4: key line without closing ]"},
        BadInput{"UnknownHive", kTop + "[HKEY_ELSEWHERE\\SOFTWARE]\r\n",
                 "HKLM.reg:4: unknown hive 'HKEY_ELSEWHERE'"},
        BadInput{"AbbreviatedHive", kTop + "[HKLM\\SOFTWARE]\r\n",
                 "HKLM.reg:4: unknown hive 'HKLM'"},
        BadInput{"EmptyKeyName", kTop + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\T]\r\n",
                 "HKLM.reg:4: empty key name in path"},
        // Windows' limits: names of 255 characters, 512 levels below a hive's root
        // (HKEY_CLASSES_ROOT is two of them down).
        BadInput{"KeyNameTooLong",
                 kTop + "[HKEY_LOCAL_MACHINE\\" + std::string(255, 'k') +
                     "]\r\n[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\r\n",
                 "HKLM.reg:5: key name longer than 255 characters: 'kkkkkkkkkkkkkkkkkkkkkkkk...'"},
        BadInput{"KeyNestedTooDeep",
                 kTop + "[HKEY_LOCAL_MACHINE" + Repeated("\\k", 512) + "]\r\n[HKEY_CLASSES_ROOT" +
                     Repeated("\\k", 511) + "]\r\n",
                 "HKLM.reg:5: key nested deeper than 512 levels"},
        BadInput{"DeleteHiveRoot", kTop + "[-HKEY_LOCAL_MACHINE]\r\n",
                 "HKLM.reg:4: a hive root cannot be deleted"},
        BadInput{"ValueOutsideKey", std::string(kHeader) + "\r\n\"a\"=\"b\"\r\n",
                 "HKLM.reg:3: value line outside any key"},
        BadInput{"ValueAfterDeletedKey",
                 std::string(kHeader) + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"a\"=\"b\"\r\n",
                 "HKLM.reg:3: value line outside any key"},
        BadInput{"UnknownType", kTop + "\"a\"=qword:1\r\n",
                 "HKLM.reg:4: unknown value type 'qword:1'"},
        BadInput{"UppercaseTypeWord", kTop + "\"a\"=DWORD:00000001\r\n",
                 "HKLM.reg:4: unknown value type 'DWORD:00000001'"},
        BadInput{"BadHexType", kTop + "\"a\"=hex(zz):00\r\n",
                 "HKLM.reg:4: bad hex(type): 'hex(zz):00'"},
        BadInput{"HexTypeWithoutColon", kTop + "\"a\"=hex(2)00\r\n",
                 "HKLM.reg:4: bad hex(type): 'hex(2)00'"},
        BadInput{"OddStringBytes", kTop + "\"a\"=hex(2):41,00,00\r\n",
                 "HKLM.reg:4: string data of odd length (UTF-16 takes two bytes a character)"},
        BadInput{"CharacterOutside1252", kTop + "\"a\"=hex(7):00,30,00,00\r\n",
                 "HKLM.reg:4: character U+3000 has no code page 1252 form"},
        BadInput{"UnrecognisedLine", kTop + "a=b\r\n", "HKLM.reg:4: unrecognised line 'a=b'"},
        BadInput{"ControlCharInValueName", kTop + "\"a\x01\"=\"b\"\r\n",
                 "HKLM.reg:4: control character in value name"},
        BadInput{"BigEndianFile", std::string("\xfe\xff\0W", 4),
                 "HKLM.reg:1: UTF-16 big-endian files are not supported"}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return info.param.name; });

std::string Utf16File(const std::string& ansi) {
  return std::string("\xff\xfe", 2) + AnsiToUtf16Le(ansi);
}

TEST(RegFileReader, Utf16FileErrorsNameTheLine) {
  std::string text = Utf16File(kTop + "\"a\"=\"b\"\r\n\"c\"=\"");
  text += std::string("\x00\x30", 2);  // U+3000 on line 5
  text += AnsiToUtf16Le("\"\r\n");
  std::vector<RegFileOp> ops;
  std::string error;
  EXPECT_FALSE(ParseRegFile(text, "x.reg", &ops, &error));
  EXPECT_EQ(error, "x.reg:5: character U+3000 has no code page 1252 form");
  EXPECT_FALSE(ParseRegFile(Utf16File(kTop) + "x", "x.reg", &ops, &error));
  EXPECT_EQ(error, "x.reg:1: UTF-16 file of odd length");
  EXPECT_FALSE(ParseRegFile(Utf16File(kTop + "\"a\"=dword:1234567890\r\n"), "x.reg", &ops, &error));
  EXPECT_EQ(error, "x.reg:4: dword takes at most 8 hex digits");
}

// A large registry is written and read a piece at a time (a megabyte of text at
// most in hand), and reads back into the same registry; a file handed over in pieces of any size,
// split anywhere (inside a character, between CR and LF, across the reader's own pieces), gives the
// same statements and the same fault as the whole file, the file's faults (odd length first, then
// an undecodable character) before a fault of its text.
TEST(RegFileReader, FilesReadAndWrittenInPiecesAgreeWithWholeFiles) {
  Registry large;
  for (int i = 0; i < 9000; ++i) {
    large.SetValue(std::string(kKey) + "\\Device" + std::to_string(i) + "\\Instance", "Hex", 3,
                   std::string(40 + i % 50, static_cast<char>(i)));
  }
  std::string whole, error;
  ASSERT_TRUE(FormatRegFile(*large.LocalMachine(), RegFileEncoding::kUtf16Le, &whole, &error));
  ASSERT_GT(whole.size(), 4u << 20);
  std::string joined;
  size_t largest = 0;
  ASSERT_TRUE(WriteRegFile(
      *large.LocalMachine(), RegFileEncoding::kUtf16Le,
      [&](std::string_view piece, std::string*) {
        joined.append(piece);
        largest = std::max(largest, piece.size());
        return true;
      },
      &error));
  EXPECT_EQ(whole, joined);
  EXPECT_LT(largest, 3u << 20);

  const std::string top = kTop + "\"v\"=hex:01,02,\\\r\n  03\r\n";
  const std::string undecodable = std::string("\x00\x30", 2);  // U+3000
  const struct {
    std::string content;
    const char* error;  // null: parses
  } files[] = {
      {whole, nullptr},
      {Utf16File(top), nullptr},
      {Utf16File(top + "a=b\r\n") + undecodable,
       "x.reg:7: character U+3000 has no code page 1252 form"},
      {Utf16File(top) + undecodable + "x", "x.reg:1: UTF-16 file of odd length"},
      {Utf16File(top + "\"w\"=dword:1234567890\r\n"), "x.reg:6: dword takes at most 8 hex digits"},
      {Utf16File(top + "\"w\"=hex:01,\\\r\n"), "x.reg:6: line continuation at end of file"},
  };
  auto statements = [](const std::vector<RegFileOp>& ops) {
    std::string out;
    for (const RegFileOp& op : ops) {
      out += std::to_string(op.kind) + op.keyPath + '|' + op.valueName + '|' +
             std::to_string(op.value.type) + op.value.data + '|' + std::to_string(op.line) + '\n';
    }
    return out;
  };
  for (const auto& file : files) {
    std::vector<RegFileOp> expected;
    std::string expectedError;
    EXPECT_EQ(!file.error, ParseRegFile(file.content, "x.reg", &expected, &expectedError));
    EXPECT_EQ(file.error ? file.error : "", expectedError);
    if (&file == &files[0]) {  // and it reads back into the registry it came from
      Registry back;
      ApplyRegFile(expected, &back);
      std::string difference;
      EXPECT_TRUE(back.SameAs(large, &difference)) << difference;
    }
    const bool small = file.content.size() < 4096;
    for (size_t piece : {small ? 1 : size_t{4093}, small ? 3 : (size_t{1} << 20) + 1,
                         small ? 7 : file.content.size(), file.content.size()}) {
      SCOPED_TRACE(std::to_string(file.content.size()) + " bytes in pieces of " +
                   std::to_string(piece));
      std::string_view rest = file.content;
      const RegFileReader read = [&](char* buffer, size_t size, size_t* got, std::string*) {
        *got = std::min({size, piece, rest.size()});
        std::memcpy(buffer, rest.data(), *got);
        rest.remove_prefix(*got);
        return true;
      };
      std::vector<RegFileOp> ops;
      error.clear();
      const bool ok = ParseRegFileStatements(
          read, "x.reg", [&](const RegFileOp& op) { ops.push_back(op); }, &error);
      EXPECT_EQ(!file.error, ok);
      EXPECT_EQ(expectedError, error);
      if (ok) {
        EXPECT_EQ(statements(expected), statements(ops));
      }
    }
  }
}

TEST(RegFileReader, Utf16FileReadsLikeTheAnsiFile) {
  const std::string ansi = kTop + "\"caf\xe9\"=\"\x80 euro\"\r\n\"m\"=hex(7):61,00,00,00,00,00\r\n";
  Registry a, b;
  Load(ansi, &a);
  Load(Utf16File(ansi), &b);
  std::string difference;
  EXPECT_TRUE(a.SameAs(b, &difference)) << difference;
  EXPECT_EQ(a.FindFull(kKey)->values.Find("CAF\xe9")->data, std::string("\x80 euro\0", 7));
}

TEST(Cp1252, EveryByteRoundTripsThroughUtf16) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const std::string wide = AnsiToUtf16Le(all);
  ASSERT_EQ(wide.size(), 512u);
  std::string back, error;
  ASSERT_TRUE(Utf16LeToAnsi(wide, &back, &error)) << error;
  EXPECT_EQ(back, all);
  struct {
    unsigned char byte;
    uint32_t code;
  } const table[] = {{0x41, 0x41},  {0x80, 0x20AC}, {0x81, 0x81}, {0x8A, 0x160}, {0x99, 0x2122},
                     {0x9F, 0x178}, {0xA0, 0xA0},   {0xE9, 0xE9}, {0xFF, 0xFF}};
  for (const auto& row : table) {
    EXPECT_EQ(Cp1252ToUnicode(row.byte), row.code) << int{row.byte};
    char c = 0;
    EXPECT_TRUE(UnicodeToCp1252(row.code, &c));
    EXPECT_EQ(static_cast<unsigned char>(c), row.byte);
  }
  char c;
  EXPECT_FALSE(UnicodeToCp1252(0x100, &c));
  EXPECT_FALSE(UnicodeToCp1252(0x20AD, &c));
}

TEST(RegFileWriter, Utf16IsTheCp1252TextBehindAByteOrderMark) {
  Registry registry;
  registry.SetValue(kKey, "caf\xe9", 7, std::string("\x80\0\0", 3));
  std::string ansi, wide, error;
  ASSERT_TRUE(FormatRegFile(*registry.LocalMachine(), RegFileEncoding::kCp1252, &ansi, &error));
  ASSERT_TRUE(FormatRegFile(*registry.LocalMachine(), RegFileEncoding::kUtf16Le, &wide, &error));
  EXPECT_EQ(wide, std::string("\xff\xfe", 2) + AnsiToUtf16Le(ansi));
  EXPECT_NE(ansi.find("\"caf\xe9\"=hex(7):ac,20,00,00,00,00\r\n"), std::string::npos) << ansi;
  Registry back;
  Load(wide, &back);
  std::string difference;
  EXPECT_TRUE(registry.SameAs(back, &difference)) << difference;
}

// values.reg was written by FormatRegFile (UTF-16LE) and imported into Wine 8.0 with
// regedit /S; a MinGW program read every value back through RegQueryValueExA, and all
// but "NoNul" came back byte-identical (Wine's regedit appends the missing NUL).
TEST(RegFileFixtures, FixtureReadsAndWritesBackByteIdentical) {
  const std::string file = ReadFixture("reg/values.reg");
  ASSERT_GE(file.size(), 2u);
  EXPECT_EQ(file.substr(0, 2), "\xff\xfe");
  Registry registry;
  Load(file, &registry);
  auto key = registry.FindFull("HKEY_LOCAL_MACHINE\\Software\\KestrolinRegTest");
  ASSERT_TRUE(key);
  const struct {
    const char* name;
    uint32_t type;
    std::string data;
  } expected[] = {
      {"", 1, std::string("default text\0", 13)},
      {"LengthPlus4", 1, std::string("abc\0\0\0\0", 7)},
      {"NoNul", 1, "xyz"},
      {"Empty", 1, std::string("\0", 1)},
      {"Quoted", 1, std::string("say \"hi\" to C:\\dir\\\0", 20)},
      {"Tab", 1, std::string("a\tb\0", 4)},
      {"Accent", 1, std::string("caf\xe9 \x80 \x9f\0", 9)},
      {"Nam\xe9", 1, std::string("value of a name with \xe9\0", 23)},
      {"Expand", 2, std::string("%SystemRoot%\\inf\0", 17)},
      {"Multi", 7, std::string("COM1\0COM2\0\0", 11)},
      {"Dword", 4, std::string("\x0a\0\0\0", 4)},
      {"Binary", 3, std::string("\0\x01\x7f\x80\xff", 5)},
      {"EmptyBinary", 3, ""},
      {"Qword", 11, "\x01\x02\x03\x04\x05\x06\x07\x08"},
      {"None", 0, ""},
  };
  for (const auto& e : expected) {
    const RegValue* v = key->values.Find(e.name);
    ASSERT_TRUE(v) << e.name;
    EXPECT_EQ(v->type, e.type) << e.name;
    EXPECT_EQ(v->data, e.data) << e.name;
  }
  EXPECT_TRUE(Registry::Find(key, "Sub\\EmptyKey"));
  EXPECT_TRUE(Registry::Find(key, "Cl\xe9"));
  std::string again, error;
  ASSERT_TRUE(FormatRegFile(*registry.LocalMachine(), RegFileEncoding::kUtf16Le, &again, &error));
  EXPECT_EQ(again, file);
}

// Wine's regedit /E of the key after that import: its own wrapping and spelling. Its
// export is lossy in two places, which is what Wine does, not what the reader does:
// it appended a NUL to "NoNul" on import, and writes "LengthPlus4" as "abc", dropping
// the NULs after the first.
TEST(RegFileFixtures, WineExportReadsLikeTheFixtureItCameFrom) {
  const std::string exported = ReadFixture("reg/wine_export.reg");
  ASSERT_GE(exported.size(), 2u);
  ASSERT_EQ(exported.substr(0, 2), "\xff\xfe");
  Registry fromWine, fromFixture;
  Load(exported, &fromWine);
  Load(ReadFixture("reg/values.reg"), &fromFixture);
  auto wine = fromWine.FindFull("HKEY_LOCAL_MACHINE\\Software\\KestrolinRegTest");
  auto ours = fromFixture.FindFull("HKEY_LOCAL_MACHINE\\Software\\KestrolinRegTest");
  ASSERT_TRUE(wine && ours);
  EXPECT_EQ(wine->values.Find("NoNul")->data, std::string("xyz\0", 4));
  EXPECT_EQ(wine->values.Find("LengthPlus4")->data, std::string("abc\0", 4));
  for (const char* lossy : {"NoNul", "LengthPlus4"}) {
    wine->values.Erase(lossy);
    ours->values.Erase(lossy);
  }
  std::string difference;
  EXPECT_TRUE(fromWine.SameAs(fromFixture, &difference)) << difference;
}

}  // namespace
}  // namespace sim
