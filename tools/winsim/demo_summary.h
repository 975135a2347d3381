// The demo's words in a terminal: lines broken at spaces to the terminal's width, and the
// summary kept within one screen, its long lists cut short with a count of the rest and
// the file that holds them all. Without a terminal the summary is printed whole, unwrapped.
#pragma once

#include <string>
#include <vector>

namespace winsim {

// One part of the summary: its lines (each ended by '\n'), then its items, listed one a
// line below them, indented by two.
struct SummaryPart {
  std::string text;
  std::vector<std::string> items;
  int hanging = 0;  // the indentation of the text's continuation lines (items': two)
};

// The summary whole: every part's lines, then its items.
std::string SummaryText(const std::vector<SummaryPart>& parts);

// `text` as lines of at most `columns` characters (UTF-8 counted by characters), broken
// at spaces or after backslashes (a path): a line keeps its indentation and spacing, and
// its continuation lines are indented by `hanging` more (prose 0; a record whose name
// holds spaces, 2). A word longer than the room with no backslash is cut. Without a
// width (0) each line of the text is one line.
std::vector<std::string> WrapForTerminal(const std::string& text, int columns, int hanging);

// The summary wrapped to `columns` in at most `rows` lines, where it can be: the list
// showing most lines is cut by an item at a time, down to one item, its last line then
// "  ... and N more (all in WHERE)". `cut` tells whether a list was cut.
std::vector<std::string> FitSummary(const std::vector<SummaryPart>& parts, int columns, int rows,
                                    const std::string& where, bool* cut);

// The terminal's size on standard output; 80 by 24 when it does not say.
void TerminalSize(int* columns, int* rows);

}  // namespace winsim
