// The demo's words in a terminal: lines broken at spaces to its width, and the summary
// kept within one screen by cutting its longest lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/winsim/demo_summary.h"

namespace winsim {
namespace {

TEST(DemoSummary, LinesBreakAtSpacesKeepingTheirIndentation) {
  struct Case {
    std::string text;
    int columns;
    std::vector<std::string> lines;
    int hanging = 2;
  } cases[] = {
      {"one two three\n", 13, {"one two three"}},  // exactly the width: one line
      {"one two three\n", 12, {"one two", "  three"}},
      {"one two three\n", 12, {"one two", "three"}, 0},  // prose
      // A word is cut where it has no space, a path after a backslash.
      {"Korvane Semiconductor", 12, {"Korvane", "  Semiconduc", "  tor"}},
      {"HKLM\\SOFTWARE\\Uninstall\\Korvane Ltd",
       20,
       {"HKLM\\SOFTWARE\\", "  Uninstall\\Korvane", "  Ltd"}},
      // After a backslash where that is later than the last space.
      {"see HKLM\\SOFTWARE\\Uninstall", 16, {"see HKLM\\", "SOFTWARE\\", "Uninstall"}, 0},
      {"    DisplayName    REG_SZ    Korvane", 26, {"    DisplayName    REG_SZ", "      Korvane"}},
      {"\nx\n\ny", 5, {"", "x", "", "y"}},
      {"a  b", 0, {"a  b"}},  // no width: as it is
      {"", 10, {}},
      // Characters, not bytes: "é" is two bytes and one column.
      {"\xc3\xa9t\xc3\xa9 \xc3\xa9t\xc3\xa9", 7, {"\xc3\xa9t\xc3\xa9 \xc3\xa9t\xc3\xa9"}},
      {"\xc3\xa9t\xc3\xa9 \xc3\xa9t\xc3\xa9", 6, {"\xc3\xa9t\xc3\xa9", "  \xc3\xa9t\xc3\xa9"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WrapForTerminal(c.text, c.columns, c.hanging), c.lines)
        << c.text << " at " << c.columns;
}

std::vector<std::string> Items(const char* prefix, int n) {
  std::vector<std::string> items;
  for (int i = 1; i <= n; ++i) items.push_back(prefix + std::to_string(i));
  return items;
}

TEST(DemoSummary, TheLongestListIsCutUntilTheSummaryFits) {
  const std::vector<SummaryPart> parts = {
      {"== Summary\n", {}},
      {"Left:\n", Items("file ", 6)},
      {"Removed:\n", Items("key ", 3)},
  };
  // 1 + 7 + 4 = 12 lines whole.
  struct Case {
    int rows;
    std::vector<std::string> lines;
    bool cut;
  } cases[] = {
      {12,
       {"== Summary", "Left:", "  file 1", "  file 2", "  file 3", "  file 4", "  file 5",
        "  file 6", "Removed:", "  key 1", "  key 2", "  key 3"},
       false},
      // One row less: "file 5" and "file 6" give way to the line that counts them.
      {11,
       {"== Summary", "Left:", "  file 1", "  file 2", "  file 3", "  file 4",
        "  ... and 2 more (all in F)", "Removed:", "  key 1", "  key 2", "  key 3"},
       true},
      // Both lists down to one item each, and no further.
      {3,
       {"== Summary", "Left:", "  file 1", "  ... and 5 more (all in F)", "Removed:", "  key 1",
        "  ... and 2 more (all in F)"},
       true},
  };
  for (const Case& c : cases) {
    bool cut = !c.cut;
    EXPECT_EQ(FitSummary(parts, 40, c.rows, "F", &cut), c.lines) << c.rows;
    EXPECT_EQ(cut, c.cut) << c.rows;
  }
  // Without cutting, the text a file holds is the summary whole.
  EXPECT_EQ(SummaryText(parts),
            "== Summary\nLeft:\n  file 1\n  file 2\n  file 3\n  file 4\n  file 5\n  file 6\n"
            "Removed:\n  key 1\n  key 2\n  key 3\n");
}

// Lines are counted as the terminal shows them: a long item wraps, and is cut as a whole.
TEST(DemoSummary, WrappedLinesCountAsTheRowsTheyTake) {
  const std::vector<SummaryPart> parts = {
      {"Left:\n", {"file C:\\Program Files\\Korvane Semiconductor\\X", "key HKLM\\A"}},
  };
  bool cut = false;
  EXPECT_EQ(FitSummary(parts, 31, 5, "F", &cut),
            (std::vector<std::string>{"Left:", "  file C:\\Program Files\\Korvane",
                                      "    Semiconductor\\X", "  key HKLM\\A"}));
  EXPECT_FALSE(cut);
  // Cut to one item, which still takes two rows, and a line that counts the rest, which
  // wraps too: five rows where three were asked for, and no fewer.
  EXPECT_EQ(FitSummary(parts, 31, 3, "the file with all of them", &cut),
            (std::vector<std::string>{"Left:", "  file C:\\Program Files\\Korvane",
                                      "    Semiconductor\\X", "  ... and 1 more (all in the",
                                      "    file with all of them)"}));
  EXPECT_TRUE(cut);
}

}  // namespace
}  // namespace winsim
