// SHLWAPI's path text as the file search uses it: PathUnquoteSpacesA drops the double
// quotes that enclose a whole path, in place, and leaves every other text alone.
#include <cstring>
#include <string>

#include "env/environment.h"

namespace conformance {
namespace {

class PathText : public ConformanceTest {};

TEST_F(PathText, UnquoteSpacesRemovesOnlyQuotesThatEncloseTheWholeText) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"\"C:\\Program Files\\a b.txt\"", "C:\\Program Files\\a b.txt"},
      {"\"C:\\x\"", "C:\\x"},
      {"\"C:\\x", "\"C:\\x"},
      {"C:\\x\"", "C:\\x\""},
      {"C:\\\"x\"\\y", "C:\\\"x\"\\y"},
      {"\"\"", ""},
      {"\"\"x\"\"", "\"x\""},
      {"C:\\x", "C:\\x"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char buffer[MAX_PATH] = {};
    std::strncpy(buffer, c.text, sizeof buffer - 1);
    PathUnquoteSpacesA(buffer);
    EXPECT_STREQ(c.expected, buffer);
  }
}

}  // namespace
}  // namespace conformance
