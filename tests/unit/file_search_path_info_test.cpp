// IncludeTrailingSeparator and PathInfo: the closing separator of a folder path, the
// split of a found path into its parts and the path composed from them again.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "file_search/path_info.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
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

TEST(PathInfo, ATextLongerThanTheWorkBufferIsCutAtMaxPathMinusOne) {
  auto machine = Xp();
  sim::ProcessScope scope(*machine);
  const std::string folder = "C:\\" + std::string(250, 'd') + "\\";
  const std::string text = folder + "file.inf";  // 262 characters
  ASSERT_EQ(folder.size() + 5, static_cast<size_t>(MAX_PATH - 1));
  PathInfo info(text);
  EXPECT_EQ(text, info.sourceText);
  // The cut leaves "file." behind the folder: a name with a dot and no extension.
  EXPECT_EQ(folder, "C:" + info.directory);
  EXPECT_EQ("file", info.name);
  EXPECT_EQ("", info.extension);
  EXPECT_EQ(folder + "file", std::string(info.GetPathText()));
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
