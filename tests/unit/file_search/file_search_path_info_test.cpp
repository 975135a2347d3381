// IncludeTrailingSeparator and PathInfo: the closing separator of a folder path, the
// split of a found path into its parts and the path composed from them again.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "file_search/path_info.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace {

std::unique_ptr<sim::Machine> Xp() {
  std::string error;
  auto machine = sim::MachineFromEdition("xp", &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

TEST(IncludeTrailingSeparator, AppendsTheChosenSeparatorOnlyWhereTheLastByteIsNoSeparator) {
  struct Case {
    const char* path;
    int useForwardSlash;
    const char* expected;
  };
  const Case cases[] = {
      {"", 0, ""},
      {"", 1, ""},
      {"C:\\a", 0, "C:\\a\\"},
      {"C:\\a", 1, "C:\\a/"},
      {"C:\\a/", 0, "C:\\a/"},
      {"C:\\a\\", 1, "C:\\a\\"},
      {"C:", 0, "C:\\"},
      {"a", 0, "a\\"},
      {"\\", 0, "\\"},
      // Only the last byte counts: an earlier separator changes nothing.
      {"C:\\a\\b", 0, "C:\\a\\b\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.path + "\" forward=" + std::to_string(c.useForwardSlash));
    EXPECT_EQ(c.expected, IncludeTrailingSeparator(c.path, c.useForwardSlash));
  }
}

TEST(PathInfo, SplitsThePathAndComposesItAgainInNormalisedForm) {
  struct Case {
    const char* text;
    const char* drive;
    const char* directory;
    const char* name;
    const char* extension;
    const char* composed;
  };
  const Case cases[] = {
      {"C:\\WINDOWS\\inf\\x.inf", "C:", "\\WINDOWS\\inf\\", "x", "inf", "C:\\WINDOWS\\inf\\x.inf"},
      // A found folder keeps its trailing backslash.
      {"C:\\x\\y\\", "C:", "\\x\\y\\", "", "", "C:\\x\\y\\"},
      {"C:/x/y.inf", "C:", "\\x\\", "y", "inf", "C:\\x\\y.inf"},
      {"C:\\x/z/y.inf", "C:", "\\x\\z\\", "y", "inf", "C:\\x\\z\\y.inf"},
      {"\"C:\\Program Files\\a.txt\"", "C:", "\\Program Files\\", "a", "txt",
       "C:\\Program Files\\a.txt"},
      {"C:\\x\\a.b.inf", "C:", "\\x\\", "a.b", "inf", "C:\\x\\a.b.inf"},
      {"a.inf", "", "", "a", "inf", "a.inf"},
      {"C:", "C:", "", "", "", "C:"},
      {"C:\\x\\noext", "C:", "\\x\\", "noext", "", "C:\\x\\noext"},
      // The dot ends the name but no extension follows it.
      {"C:\\x\\name.", "C:", "\\x\\", "name", "", "C:\\x\\name"},
      // The extension is taken only with a name: ".inf" alone has none.
      {"C:\\x\\.inf", "C:", "\\x\\", "", "", "C:\\x\\"},
      // Quotes are dropped only when they enclose the whole text.
      {"\"C:\\a.txt", "", "\"C:\\", "a", "txt", "\"C:\\a.txt"},
      {"\"\"", "", "", "", "", ""},
      {"", "", "", "", "", ""},
  };
  auto machine = Xp();
  sim::ProcessScope scope(*machine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    PathInfo info(c.text);
    EXPECT_EQ(c.text, info.sourceText);
    EXPECT_EQ(c.drive, info.drive);
    EXPECT_EQ(c.directory, info.directory);
    EXPECT_EQ(c.name, info.name);
    EXPECT_EQ(c.extension, info.extension);
    EXPECT_STREQ(c.composed, info.GetPathText());
    EXPECT_EQ(c.composed, info.composed);
  }
}

TEST(PathInfo, GetPathTextComposesFromTheFieldsAsTheyAreNow) {
  auto machine = Xp();
  sim::ProcessScope scope(*machine);
  PathInfo info("C:\\WINDOWS\\inf\\oem3.inf");
  info.extension = "pnf";
  EXPECT_STREQ("C:\\WINDOWS\\inf\\oem3.pnf", info.GetPathText());
  info.extension.clear();
  EXPECT_STREQ("C:\\WINDOWS\\inf\\oem3", info.GetPathText());
  EXPECT_EQ("C:\\WINDOWS\\inf\\oem3.inf", info.sourceText);
}

// A text that would come back as another path (cut at MAX_PATH - 1 characters, at a
// zero byte, or by a part buffer of the run-time's 255 characters) gives no parts, so
// the path composed from it names no file; the longest texts that fit come back whole.
TEST(PathInfo, ATextThatDoesNotFitGivesNoPartsRatherThanAnotherPath) {
  struct Case {
    const char* what;
    std::string text;
    std::string composed;  // empty: no parts
  };
  const std::string folder250 = "C:\\" + std::string(250, 'd') + "\\";  // 254 characters
  const std::string dir255 = "\\" + std::string(253, 'd') + "\\";
  const std::string dir256 = "\\" + std::string(254, 'd') + "\\";
  const std::vector<Case> cases = {
      {"259 characters", folder250 + "file.", folder250 + "file"},
      {"260 characters", folder250 + "file.i", ""},
      {"262 characters, cut it would lose its extension", folder250 + "file.inf", ""},
      {"a zero byte inside", std::string("C:\\x\\a.inf\0.old", 15), ""},
      {"a directory of 255 characters", dir255 + "x", dir255 + "x"},
      {"a directory of 256 characters", dir256 + "x", ""},
      {"a name of 255 characters", std::string(255, 'n') + ".inf", std::string(255, 'n') + ".inf"},
      {"a name of 256 characters", std::string(256, 'n') + ".i", ""},
      {"an extension of 255 characters", "a." + std::string(254, 'e'),
       "a." + std::string(254, 'e')},
      {"an extension of 256 characters", "a." + std::string(255, 'e'), ""},
      {"quoted, 259 characters with the quotes", "\"" + folder250 + "f.\"", folder250 + "f"},
  };
  auto machine = Xp();
  sim::ProcessScope scope(*machine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PathInfo info(c.text);
    EXPECT_EQ(c.text, info.sourceText);
    EXPECT_EQ(c.composed, std::string(info.GetPathText()));
    if (c.composed.empty()) {
      EXPECT_EQ("", info.drive + info.directory + info.name + info.extension);
    }
  }
}

TEST(PathUnquoteSpaces, RemovesQuotesOnlyWhenTheyEncloseTheWholeText) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"\"C:\\a b\\c.txt\"", "C:\\a b\\c.txt"},
      {"\"abc", "\"abc"},
      {"abc\"", "abc\""},
      {"a\"b\"c", "a\"b\"c"},
      {"\"\"", ""},
      {"\"", ""},
      {"", ""},
      {"\"\"x\"\"", "\"x\""},
  };
  auto machine = Xp();
  sim::ProcessScope scope(*machine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char buffer[MAX_PATH] = {};
    std::strncpy(buffer, c.text, sizeof buffer - 1);
    PathUnquoteSpacesA(buffer);
    EXPECT_STREQ(c.expected, buffer);
  }
}

}  // namespace
